#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/LinuxPlatform.h"

namespace scaleboot::platform {
namespace {

int DescriptorOf(Console::Stream stream) {
  return stream == Console::Stream::Out ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

void StdioConsole::Write(Stream stream, std::string_view text) {
  const int fd = DescriptorOf(stream);
  bool& failed = failed_[stream == Stream::Out ? 0 : 1];
  // Once a stream has failed, nothing more is tried on it: the program goes on with its work.
  if (failed) return;
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    // A descriptor another program made non-blocking: wait a moment for room.
    pollfd room{fd, POLLOUT, 0};
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ::poll(&room, 1, 1000) > 0) continue;
    if (n <= 0) {
      // A full disk, or a pipe whose reader has gone (where SIGPIPE is ignored, as the station does; other
      // commands end with SIGPIPE before this, as any tool of a pipeline does): the rest is lost, and the
      // program says so when it ends.
      failed = true;
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool StdioConsole::IsTerminal(Stream stream) {
  return ::isatty(DescriptorOf(stream)) == 1;
}

bool StdioConsole::Failed(Stream stream) {
  return failed_[stream == Stream::Out ? 0 : 1];
}

// The locale that decides the language of messages, as the C library picks it: LC_ALL, then LC_MESSAGES,
// then LANG, the first that is set and not empty.
std::string UserLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

}  // namespace scaleboot::platform
