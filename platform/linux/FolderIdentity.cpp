#include <sys/stat.h>

#include <cerrno>

#include "common/Errors.h"
#include "platform/linux/LinuxPlatform.h"

namespace scaleboot::platform {

// A bind mount, or one device mounted twice, shows the same folder under two paths with the same device and
// inode numbers; two mounted devices never share a device number.
FolderLookup IdentifyFolder(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {std::nullopt, WindowsCodeForErrno(errno)};
  if (!S_ISDIR(st.st_mode)) return {std::nullopt, io::kNotAFolder};
  return {FolderIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
}

}  // namespace scaleboot::platform
