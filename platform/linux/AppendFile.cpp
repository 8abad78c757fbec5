#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace scaleboot::platform {
namespace {

class PosixAppendFile : public AppendFile {
 public:
  explicit PosixAppendFile(int fd) : fd_(fd) {}
  ~PosixAppendFile() override { ::close(fd_); }
  bool Append(std::string_view line) override {
    ssize_t written;
    do {
      written = ::write(fd_, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(line.size())) return false;
    // The line reaches the disk before its card's line is said: a power cut after the bell keeps it.
    int synced;
    do {
      synced = ::fdatasync(fd_);
    } while (synced != 0 && errno == EINTR);
    return synced == 0;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, AppendRefusal& refusal) {
  using Reason = AppendRefusal::Reason;
  const bool root = ::geteuid() == 0;
  // O_NONBLOCK: a FIFO nobody reads fails at once (ENXIO) instead of hanging the program; it changes
  // nothing for a regular file.
  const int flags =
      O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (root ? O_NOFOLLOW : 0);
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    const int error = errno;
    refusal = {error == ENXIO           ? Reason::NoReader
               : error == ELOOP && root ? Reason::SymbolicLink
               : error == EISDIR        ? Reason::NotRegularFile
                                        : Reason::System,
               std::strerror(error)};
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    refusal = {Reason::NotRegularFile, {}};
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixAppendFile>(fd);
}

}  // namespace scaleboot::platform
