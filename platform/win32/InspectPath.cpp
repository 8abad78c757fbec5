// What a path names, from its attributes (which describe a reparse point itself, not its target).
#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

}  // namespace

PathInfo InspectPath(const std::string& path) {
  std::wstring wide = Widen(path);
  const bool folderForm = !wide.empty() && IsSeparator(wide.back());
  // The attributes of "C:\backup\" are those of "C:\backup"; a drive root keeps its separator ("E:" alone
  // names the current folder of drive E:).
  while (wide.size() > 1 && IsSeparator(wide.back()) && !(wide.size() == 3 && wide[1] == L':'))
    wide.pop_back();
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
    switch (::GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return {PathInfo::Kind::Missing, 0};
      case ERROR_DIRECTORY:
      case ERROR_INVALID_NAME:
        return {PathInfo::Kind::Other, 0};
      default:
        return {PathInfo::Kind::Unknown, 0};
    }
  }
  const DWORD attributes = data.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      (folderForm || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0))
    return {PathInfo::Kind::Folder, 0};
  if (folderForm) return {PathInfo::Kind::Other, 0};
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return {PathInfo::Kind::SymbolicLink, 0};
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return {PathInfo::Kind::Other, 0};
  return {PathInfo::Kind::RegularFile,
          (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

}  // namespace scaleboot::platform
