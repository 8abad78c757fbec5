// Card files through plain POSIX calls, one system call per byte.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/linux/LinuxPlatform.h"

namespace scaleboot::platform {

int WindowsCodeForErrno(int error) {
  switch (error) {
    case ENOENT:
      return 2;  // file not found
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
      return 3;  // path not found / invalid name
    case EMFILE:
    case ENFILE:
      return 4;  // too many open files
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:
      return 5;  // access denied
    case EROFS:
      return 19;  // write-protected
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
      return 21;  // not ready
    case ENOSPC:
    case EDQUOT:
      return 112;  // disk full
    case EIO:
      return 1117;  // device I/O error
    default:
      return error;
  }
}

namespace {

constexpr int kInvalidName = 3;
constexpr int kAccessDenied = 5;

int LastErrorCode() {
  return WindowsCodeForErrno(errno);
}

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  Descriptor() = default;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int& fd() { return fd_; }

 private:
  int fd_ = -1;
};

// Opens the card file `name` in the open folder `folder` (AT_FDCWD: `name` is a whole path), never a symbolic
// link's target, and without blocking on a FIFO or a device; anything but a regular file is refused as access
// denied before a byte of it is touched.
int OpenRegularFile(int folder, const std::string& name, int flags, int& fd) {
  fd = ::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return LastErrorCode();
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int code = LastErrorCode();
    ::close(fd);
    return code;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return kAccessDenied;
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
    const int code = LastErrorCode();
    ::close(fd);
    return code;
  }
  return 0;
}

// A card path is its drive root, up to and including the last "/", followed by a file name.
struct CardPath {
  std::string root;
  std::string name;
};

std::optional<CardPath> SplitCardPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return std::nullopt;
  return CardPath{path.substr(0, slash + 1), path.substr(slash + 1)};
}

}  // namespace

int OpenAnyFolder(const std::string& root, int& folder) {
  folder = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return folder < 0 ? LastErrorCode() : 0;
}

CardRootOpener RemovableDriveRoots() {
  return [drives = MountDriveSource()](const std::string& root, int& folder) mutable {
    return drives.OpenRemovableRoot(root, folder);
  };
}

PosixByteFileSystem::PosixByteFileSystem(CardRootOpener openRoot) : openRoot_(std::move(openRoot)) {}

int PosixByteFileSystem::OpenCardFile(const std::string& path, int flags, int& fd) {
  const auto card = SplitCardPath(path);
  if (!card) return kInvalidName;
  Descriptor folder;
  if (const int code = openRoot_(card->root, folder.fd())) return code;
  return OpenRegularFile(folder.fd(), card->name, flags, fd);
}

int PosixByteFileSystem::Create(const std::string& path, Handle& handle) {
  int fd = -1;
  if (const int code = OpenCardFile(path, O_RDWR | O_CREAT, fd)) return code;
  // Truncated only now that the file is known to be a regular file of the card.
  if (::ftruncate(fd, 0) != 0) {
    const int code = LastErrorCode();
    ::close(fd);
    return code;
  }
  handle = fd;
  created_.insert(handle);
  return 0;
}

int PosixByteFileSystem::Open(const std::string& path, Handle& handle) {
  int fd = -1;
  if (const int code = OpenCardFile(path, O_RDWR, fd)) return code;
  handle = fd;
  return 0;
}

// Reading only, and in any folder: checking a module changes nothing, wherever it lies.
int PosixByteFileSystem::OpenForReading(const std::string& path, Handle& handle) {
  int fd = -1;
  if (const int code = OpenRegularFile(AT_FDCWD, path, O_RDONLY, fd)) return code;
  handle = fd;
  return 0;
}

int PosixByteFileSystem::WriteByte(Handle handle, std::uint8_t byte) {
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(handle), &byte, 1);
    if (n == 1) return 0;
    if (n == 0) return kShortTransfer;
    if (errno != EINTR) return LastErrorCode();
  }
}

int PosixByteFileSystem::ReadByte(Handle handle, std::uint8_t& byte) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle), &byte, 1);
    if (n == 1) return 0;
    if (n == 0) return kShortTransfer;
    if (errno != EINTR) return LastErrorCode();
  }
}

int PosixByteFileSystem::WriteBlock(Handle handle, std::span<const std::uint8_t> bytes, std::size_t& count) {
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(handle), bytes.data(), bytes.size());
    if (n >= 0) {
      count = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return LastErrorCode();
  }
}

int PosixByteFileSystem::ReadBlock(Handle handle, std::span<std::uint8_t> buffer, std::size_t& count) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle), buffer.data(), buffer.size());
    if (n >= 0) {
      count = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return LastErrorCode();
  }
}

int PosixByteFileSystem::Close(Handle handle) {
  const int fd = static_cast<int>(handle);
  int code = 0;
  if (created_.erase(handle) != 0) {
    // Closing alone leaves the data in memory: put it on the medium, then drop the cached pages so that the
    // read-back has to fetch the bytes from the card.
    while (::fsync(fd) != 0) {
      if (errno != EINTR) {
        code = LastErrorCode();
        break;
      }
    }
    if (code == 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  }
  // The descriptor is released even when close reports EINTR, so close is never retried.
  if (::close(fd) != 0 && errno != EINTR && code == 0) code = LastErrorCode();
  return code;
}

namespace {

// Reads of a direct descriptor: a multiple of every logical block size, into memory aligned as strictly.
constexpr std::size_t kDirectChunk = 64 * 1024;
// FUSE_SUPER_MAGIC: such a file system may answer a direct read from its own daemon's memory.
constexpr long kFuseMagic = 0x65735546;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

int PosixByteFileSystem::ReadPastCache(const std::string& path, std::size_t limit,
                                       std::vector<std::uint8_t>& contents) {
  contents.clear();
  return StreamPastCache(path, limit, [&contents](std::span<const std::uint8_t> piece) {
    contents.insert(contents.end(), piece.begin(), piece.end());
  });
}

int PosixByteFileSystem::StreamPastCache(const std::string& path, std::size_t limit, const PieceTaker& take) {
  int fd = -1;
  const int status = OpenRegularFile(AT_FDCWD, path, O_RDONLY | O_DIRECT, fd);
  // A file system without direct I/O refuses the flag with EINVAL, at the open or at the first read; there
  // the read-back of the synced file whose pages were dropped stands alone.
  if (status != 0)
    return status == WindowsCodeForErrno(EINVAL) && errno == EINVAL ? kPastCacheRefused : status;
  Descriptor file;
  file.fd() = fd;
  struct statfs fs;
  if (::fstatfs(file.fd(), &fs) != 0) return LastErrorCode();
  if (fs.f_type == kFuseMagic) return kPastCacheRefused;
  const std::unique_ptr<void, FreeDeleter> buffer(std::aligned_alloc(kDirectChunk, kDirectChunk));
  if (!buffer) return 8;  // not enough memory
  for (std::size_t taken = 0; taken < limit;) {
    const ssize_t n = ::read(file.fd(), buffer.get(), kDirectChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EINVAL && taken == 0) return kPastCacheRefused;
    if (n < 0) return LastErrorCode();
    const std::size_t piece = std::min<std::size_t>(n, limit - taken);
    if (piece != 0) take({static_cast<const std::uint8_t*>(buffer.get()), piece});
    taken += piece;
    // The end of the file: a read returns fewer bytes than asked, and the next would start unaligned.
    if (static_cast<std::size_t>(n) < kDirectChunk) break;
  }
  return 0;
}

void PosixByteFileSystem::Delete(const std::string& path) {
  const auto card = SplitCardPath(path);
  if (!card) return;
  Descriptor folder;
  if (openRoot_(card->root, folder.fd()) != 0) return;
  ::unlinkat(folder.fd(), card->name.c_str(), 0);
}

}  // namespace scaleboot::platform
