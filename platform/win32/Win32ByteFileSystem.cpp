#include "platform/win32/Win32Platform.h"

#include <algorithm>

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

}  // namespace

Win32FileCalls& Win32FileCalls::System() {
  static Win32FileCalls calls;
  return calls;
}

HANDLE Win32FileCalls::CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                                   DWORD flags) {
  return ::CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}

BOOL Win32FileCalls::ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* transferred) {
  return ::ReadFile(file, buffer, size, transferred, nullptr);
}

BOOL Win32FileCalls::WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* transferred) {
  return ::WriteFile(file, buffer, size, transferred, nullptr);
}

BOOL Win32FileCalls::FlushFileBuffers(HANDLE file) {
  return ::FlushFileBuffers(file);
}

BOOL Win32FileCalls::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return ::GetFileInformationByHandle(file, info);
}

DWORD Win32FileCalls::GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD size, DWORD flags) {
  return ::GetFinalPathNameByHandleW(file, path, size, flags);
}

BOOL Win32FileCalls::CloseHandle(HANDLE handle) {
  return ::CloseHandle(handle);
}

// Opens `path` with `disposition` and `access`, refusing a reparse point with code 5 (access denied).
int Win32ByteFileSystem::OpenCardFile(const std::string& path, DWORD disposition, DWORD access,
                                      Handle& handle) {
  const std::wstring widePath = Widen(path);
  if ((access & GENERIC_WRITE) != 0) {
    if (const int refused = check_(widePath)) return refused;
  }
  if (disposition == CREATE_ALWAYS) {
    // CREATE_ALWAYS would replace the link itself: look first, so an existing link is left as it is.
    const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return ERROR_ACCESS_DENIED;
    }
  } else if (const int status = PurgeCachedData(widePath)) {
    return status;
  }
  const HANDLE file = calls_->CreateFileW(widePath.c_str(), access, kShare, disposition, kFlags);
  if (file == INVALID_HANDLE_VALUE) return LastErrorCode();
  // A link put in place after the look above: the flag kept its target untouched; refuse it now. A file whose
  // attributes cannot be read is not trusted either, and the system's reason is the one reported.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!calls_->GetFileInformationByHandle(file, &info)) {
    const int code = LastErrorCode();
    calls_->CloseHandle(file);
    return code;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    calls_->CloseHandle(file);
    return ERROR_ACCESS_DENIED;
  }
  handle = reinterpret_cast<Handle>(file);
  return 0;
}

// The system cache still holds the bytes just written, and reads through a cached handle would be served from
// there: a card that stored them wrongly would pass. When a file that has no cached handle open is opened
// without buffering, the FAT driver flushes the file's cached data to the device and purges it from the cache
// (FatCommonCreate, on opening an existing FCB), so the one-byte reads of the handle opened next come from
// the card. Other file systems may not do this; the open is harmless there. Wine does not emulate the system
// cache, so no test under Wine can show the effect: the tests check the sequence of calls instead. A failure
// of this open is reported like the failure of any other open.
int Win32ByteFileSystem::PurgeCachedData(const std::wstring& path) {
  const HANDLE file =
      calls_->CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          OPEN_EXISTING, kFlags | FILE_FLAG_NO_BUFFERING);
  if (file == INVALID_HANDLE_VALUE) return LastErrorCode();
  calls_->CloseHandle(file);
  return 0;
}

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
  if (!calls_->WriteFile(ToHandle(handle), &byte, 1, &transferred)) return LastErrorCode();
  return transferred == 1 ? 0 : kShortTransfer;
}

int Win32ByteFileSystem::ReadByte(Handle handle, std::uint8_t& byte) {
  DWORD transferred = 0;
  if (!calls_->ReadFile(ToHandle(handle), &byte, 1, &transferred)) return LastErrorCode();
  return transferred == 1 ? 0 : kShortTransfer;
}

int Win32ByteFileSystem::WriteBlock(Handle handle, std::span<const std::uint8_t> bytes, std::size_t& count) {
  DWORD transferred = 0;
  const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
  if (!calls_->WriteFile(ToHandle(handle), bytes.data(), size, &transferred)) return LastErrorCode();
  count = transferred;
  return 0;
}

int Win32ByteFileSystem::ReadBlock(Handle handle, std::span<std::uint8_t> buffer, std::size_t& count) {
  DWORD transferred = 0;
  const DWORD size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
  if (!calls_->ReadFile(ToHandle(handle), buffer.data(), size, &transferred)) return LastErrorCode();
  count = transferred;
  return 0;
}

int Win32ByteFileSystem::Close(Handle handle) {
  int status = 0;
  // A drive set for better performance keeps written data in memory: put it on the medium before the file is
  // closed, so that a completed run means the data is on the card.
  if (written_.erase(handle) != 0 && !calls_->FlushFileBuffers(ToHandle(handle))) status = LastErrorCode();
  if (!calls_->CloseHandle(ToHandle(handle)) && status == 0) status = LastErrorCode();
  return status;
}

// Without buffering, a read on FAT first writes out any of the file's dirty cached data and then reads the
// device, whoever else holds the file open; the open that purges the cache does nothing while another program
// has a cached handle open, and says nothing when it skips it. Such reads must be of whole sectors at offsets
// of whole sectors into sector-aligned memory: 64 KiB is a multiple of every sector size and VirtualAlloc
// gives page-aligned memory. At the end of the file a read returns fewer bytes than asked (the next would
// start at an unaligned offset), or none when the file ends on a chunk boundary.
int Win32ByteFileSystem::ReadPastCache(const std::string& path, std::size_t limit,
                                       std::vector<std::uint8_t>& contents) {
  contents.clear();
  return StreamPastCache(path, limit, [&contents](std::span<const std::uint8_t> piece) {
    contents.insert(contents.end(), piece.begin(), piece.end());
  });
}

int Win32ByteFileSystem::StreamPastCache(const std::string& path, std::size_t limit, const PieceTaker& take) {
  constexpr DWORD kChunk = 64 * 1024;
  const HANDLE file = calls_->CreateFileW(Widen(path).c_str(), GENERIC_READ, kShare | FILE_SHARE_DELETE,
                                          OPEN_EXISTING, kFlags | FILE_FLAG_NO_BUFFERING);
  if (file == INVALID_HANDLE_VALUE) return LastErrorCode();
  int status = 0;
  void* const buffer = ::VirtualAlloc(nullptr, kChunk, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (buffer == nullptr) status = LastErrorCode();
  for (std::size_t taken = 0; status == 0 && taken < limit;) {
    DWORD transferred = 0;
    if (!calls_->ReadFile(file, buffer, kChunk, &transferred)) {
      status = LastErrorCode();
      break;
    }
    const std::size_t piece = std::min<std::size_t>(transferred, limit - taken);
    if (piece != 0) take({static_cast<const std::uint8_t*>(buffer), piece});
    taken += piece;
    if (transferred < kChunk) break;
  }
  if (buffer != nullptr) ::VirtualFree(buffer, 0, MEM_RELEASE);
  calls_->CloseHandle(file);
  return status;
}

void Win32ByteFileSystem::Delete(const std::string& path) {
  ::DeleteFileW(Widen(path).c_str());
}

}  // namespace scaleboot::platform
