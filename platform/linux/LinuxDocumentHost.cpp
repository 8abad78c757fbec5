// Help documents on Linux: embedded in the program, saved into the user's cache folder (or next to a program
// run from its own folder) and handed to the desktop.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Embedded.h"
#include "platform/linux/LinuxPlatform.h"

namespace scaleboot::platform {
namespace {

DocumentHost::SaveResult CannotCreate(int error) {
  return {DocumentHost::SaveStatus::CannotCreate, std::strerror(error)};
}

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool IsAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

// The base folder for the user's cached files, as the XDG base-directory rules give it (a relative
// XDG_CACHE_HOME is invalid and ignored), ending in "/"; empty when the user has no known home.
std::string UserCacheFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); IsAbsolute(cache)) return WithSeparator(cache);
  std::string home;
  if (const char* fromEnvironment = std::getenv("HOME"); IsAbsolute(fromEnvironment)) {
    home = fromEnvironment;
  } else {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        IsAbsolute(found->pw_dir)) {
      home = found->pw_dir;
    }
  }
  if (home.empty()) return {};
  return WithSeparator(home) + ".cache/";
}

// Makes `folder` and any missing parents, private to the user as the XDG rules ask; true when it is a
// folder in the end.
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), 0700);
  }
  ::mkdir(folder.c_str(), 0700);
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

LinuxDocumentHost::LinuxDocumentHost(std::string programFolder, Opener opener,
                                     std::vector<std::string> systemFolders)
    : programFolder_(std::move(programFolder)),
      opener_(std::move(opener)),
      systemFolders_(std::move(systemFolders)) {}

bool LinuxDocumentHost::InSystemFolder(std::string_view path) const {
  for (const std::string& folder : systemFolders_) {
    if (path.starts_with(folder)) return true;
  }
  return false;
}

std::optional<std::span<const std::uint8_t>> LinuxDocumentHost::FindDocumentData(std::string_view name) {
  for (const EmbeddedFile& file : EmbeddedDocuments()) {
    if (file.name == name) return file.bytes();
  }
  return std::nullopt;
}

std::string LinuxDocumentHost::ProgramFolder() {
  // An installed program's folder is the system's, whoever may write there (root may write anywhere).
  if (!InSystemFolder(programFolder_) &&
      ::faccessat(AT_FDCWD, programFolder_.c_str(), W_OK | X_OK, AT_EACCESS) == 0) {
    return programFolder_;
  }
  const std::string cache = UserCacheFolder();
  if (cache.empty()) return programFolder_;
  const std::string folder = cache + "scaleboot/";
  return MakeFolders(folder) ? folder : programFolder_;
}

DocumentHost::SaveResult LinuxDocumentHost::SaveFile(const std::string& path,
                                                     std::span<const std::uint8_t> bytes) {
  if (InSystemFolder(path)) return CannotCreate(EACCES);
  // Not truncated at open: the file is emptied only once this program holds it exclusively, so a copy that
  // another process holds locked is left whole and reported as impossible to create.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return CannotCreate(errno);
  const auto fail = [fd](int error) {
    ::close(fd);
    return CannotCreate(error);
  };
  struct stat st;
  if (::fstat(fd, &st) != 0) return fail(errno);
  // A FIFO or a device under the document's name would block the write or feed the document to hardware.
  if (!S_ISREG(st.st_mode)) return fail(EPERM);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return fail(errno);
  }
  if (::ftruncate(fd, 0) != 0) return fail(errno);

  std::size_t done = 0;
  bool complete = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      complete = false;
      break;
    }
  }
  // The partly written file is closed and left where it is.
  if (::close(fd) != 0 && errno != EINTR) complete = false;
  if (!complete) return {SaveStatus::ShortWrite, {}};
  return {};
}

void LinuxDocumentHost::ShellOpen(const std::string& path) {
  if (!opener_) return;
  try {
    opener_(path);
  } catch (...) {
    // The desktop's failure to open the document is silent.
  }
}

std::string OwnProgramFolder() {
  const std::string exe = OwnExecutablePath();
  const auto slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash + 1);
}

}  // namespace scaleboot::platform
