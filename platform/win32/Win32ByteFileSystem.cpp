#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Opens a symbolic link or junction itself instead of what it points to, so a card file name that is one
// never leads the writer to a file elsewhere.
constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE ToHandle(ByteFileSystem::Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// The code of the failure just reported by the system. A failing call that leaves no code must still fail.
int LastErrorCode() {
  const DWORD code = ::GetLastError();
  return code != ERROR_SUCCESS ? static_cast<int>(code) : static_cast<int>(ERROR_GEN_FAILURE);
}

bool IsReparsePoint(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  // A file whose attributes cannot be read is not trusted either.
  if (!::GetFileInformationByHandle(file, &info)) return true;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Opens `path` with `disposition` and `access`, refusing a reparse point with code 5 (access denied).
int OpenCardFile(const std::string& path, DWORD disposition, DWORD access, ByteFileSystem::Handle& handle) {
  const std::wstring widePath = Widen(path);
  if (disposition == CREATE_ALWAYS) {
    // CREATE_ALWAYS would replace the link itself: look first, so an existing link is left as it is.
    const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return ERROR_ACCESS_DENIED;
    }
  }
  const HANDLE file = ::CreateFileW(widePath.c_str(), access, kShare, nullptr, disposition, kFlags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorCode();
  // A link put in place after the look above: the flag kept its target untouched; refuse it now.
  if (IsReparsePoint(file)) {
    ::CloseHandle(file);
    return ERROR_ACCESS_DENIED;
  }
  handle = reinterpret_cast<ByteFileSystem::Handle>(file);
  return 0;
}

}  // namespace

int Win32ByteFileSystem::Create(const std::string& path, Handle& handle) {
  const int status = OpenCardFile(path, CREATE_ALWAYS, kReadWrite, handle);
  if (status == 0) written_.insert(handle);
  return status;
}

int Win32ByteFileSystem::Open(const std::string& path, Handle& handle) {
  return OpenCardFile(path, OPEN_EXISTING, kReadWrite, handle);
}

int Win32ByteFileSystem::OpenForReading(const std::string& path, Handle& handle) {
  return OpenCardFile(path, OPEN_EXISTING, GENERIC_READ, handle);
}

int Win32ByteFileSystem::WriteByte(Handle handle, std::uint8_t byte) {
  DWORD transferred = 0;
  if (!::WriteFile(ToHandle(handle), &byte, 1, &transferred, nullptr)) return LastErrorCode();
  return transferred == 1 ? 0 : kShortTransfer;
}

int Win32ByteFileSystem::ReadByte(Handle handle, std::uint8_t& byte) {
  DWORD transferred = 0;
  if (!::ReadFile(ToHandle(handle), &byte, 1, &transferred, nullptr)) return LastErrorCode();
  return transferred == 1 ? 0 : kShortTransfer;
}

int Win32ByteFileSystem::Close(Handle handle) {
  int status = 0;
  // A drive set for better performance keeps written data in memory: put it on the medium before the file is
  // closed, so that a completed run means the data is on the card.
  if (written_.erase(handle) != 0 && !::FlushFileBuffers(ToHandle(handle))) status = LastErrorCode();
  if (!::CloseHandle(ToHandle(handle)) && status == 0) status = LastErrorCode();
  return status;
}

void Win32ByteFileSystem::Delete(const std::string& path) {
  ::DeleteFileW(Widen(path).c_str());
}

}  // namespace scaleboot::platform
