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
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

}  // namespace scaleboot::platform
