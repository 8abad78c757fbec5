#include <unistd.h>

#include <string>

#include "BuildInfo.h"
#include "platform/Platform.h"

namespace scaleboot::platform {

// The version is a build constant here: there is no version resource to read or to fail.
std::optional<std::uint32_t> ReadOwnFileVersion() {
  return build::kFileVersionHigh;
}

std::string OwnExecutablePath() {
  // readlink does not say when it cut the link short, so a result that fills the buffer is read again into a
  // larger one.
  for (std::size_t size = 4096; size <= (std::size_t{1} << 20); size *= 2) {
    std::string path(size, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) return {};
    if (static_cast<std::size_t>(n) < size) {
      path.resize(static_cast<std::size_t>(n));
      return path;
    }
  }
  return {};
}

}  // namespace scaleboot::platform
