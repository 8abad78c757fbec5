#include "platform/AppendFile.h"

#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

class Win32AppendFile : public AppendFile {
 public:
  explicit Win32AppendFile(HANDLE file) : file_(file) {}
  ~Win32AppendFile() override { CloseHandle(file_); }
  bool Append(std::string_view line) override {
    DWORD written = 0;
    // The line reaches the disk before its card's line is said: a power cut after the bell keeps it. The
    // append access the file was opened with is enough to flush it.
    return WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size() && FlushFileBuffers(file_);
  }

 private:
  HANDLE file_;
};

bool RunsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

// A symbolic link or a junction: a reparse point that stands for another name. Other reparse points (files
// of a cloud-synced folder, deduplicated files) are files of their own and open as usual.
bool IsNameSurrogate(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) return false;
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(tag.ReparseTag);
}

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, AppendRefusal& refusal) {
  using Reason = AppendRefusal::Reason;
  const bool elevated = RunsElevated();
  // Append access alone: every write goes to the end of the file as one piece, whoever else writes to it.
  // Elevated, the last part of the path is opened itself, not what it may point at, and looked at first.
  const HANDLE file =
      CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | (elevated ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    refusal = {Reason::System, SystemErrorText(GetLastError())};
    return nullptr;
  }
  const DWORD type = GetFileType(file);
  if (type != FILE_TYPE_DISK || (elevated && IsNameSurrogate(file))) {
    refusal = {type != FILE_TYPE_DISK ? Reason::NotRegularFile : Reason::SymbolicLink, {}};
    CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<Win32AppendFile>(file);
}

}  // namespace scaleboot::platform
