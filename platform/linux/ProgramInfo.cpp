#include <sys/stat.h>
#include <sys/timex.h>
#include <unistd.h>

#include <string>

#include "BuildInfo.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxPlatform.h"

namespace scaleboot::platform {

std::optional<bool> ClockStateOf(int clock, long status, bool timesyncFlag) {
  if (clock != -1) return clock != TIME_ERROR && (status & STA_UNSYNC) == 0;
  // A sandbox that denies adjtimex (a hardened service: ProtectClock=): systemd-timesyncd leaves its flag
  // from its first synchronisation since boot. Without it nothing is known: another time service may have set
  // it.
  if (timesyncFlag) return true;
  return std::nullopt;
}

std::optional<bool> ClockSynchronised() {
  struct timex state {};  // modes 0: only reads the kernel's clock state
  const int clock = ::adjtimex(&state);
  struct stat flag {};
  return ClockStateOf(clock, state.status,
                      clock == -1 && ::stat("/run/systemd/timesync/synchronized", &flag) == 0);
}

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
