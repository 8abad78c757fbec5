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
    return WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
  }

 private:
  HANDLE file_;
};

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string& why) {
  // Append access alone: every write goes to the end of the file as one piece, whoever else writes to it.
  const HANDLE file = CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = SystemErrorText(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32AppendFile>(file);
}

}  // namespace scaleboot::platform
