// What a path names, from lstat.
#include <sys/stat.h>

#include <cerrno>

#include "platform/Platform.h"

namespace scaleboot::platform {

PathInfo InspectPath(const std::string& path) {
  struct stat st {};
  // lstat does not follow a link at the end of the path; a trailing "/" makes it look at the folder itself.
  if (::lstat(path.c_str(), &st) != 0) {
    switch (errno) {
      case ENOENT:
        return {PathInfo::Kind::Missing, 0};
      case ENOTDIR:
        return {PathInfo::Kind::Other, 0};
      default:
        return {PathInfo::Kind::Unknown, 0};
    }
  }
  if (S_ISDIR(st.st_mode)) return {PathInfo::Kind::Folder, 0};
  if (S_ISLNK(st.st_mode)) return {PathInfo::Kind::SymbolicLink, 0};
  if (S_ISREG(st.st_mode)) return {PathInfo::Kind::RegularFile, static_cast<std::uint64_t>(st.st_size)};
  return {PathInfo::Kind::Other, 0};
}

}  // namespace scaleboot::platform
