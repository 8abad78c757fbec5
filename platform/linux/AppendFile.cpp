#include "platform/AppendFile.h"

#include <fcntl.h>
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
    return written == static_cast<ssize_t>(line.size());
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string& why) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) {
    why = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PosixAppendFile>(fd);
}

}  // namespace scaleboot::platform
