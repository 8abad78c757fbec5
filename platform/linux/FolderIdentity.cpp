#include <sys/stat.h>

#include "platform/Platform.h"

namespace scaleboot::platform {

// A bind mount, or one device mounted twice, shows the same folder under two paths with the same device and
// inode numbers.
std::optional<FolderIdentity> IdentifyFolder(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace scaleboot::platform
