// A file that lines are appended to, each with a single write of its own: the system puts each write at the
// file's end as one piece (O_APPEND, FILE_APPEND_DATA), so two programs logging to one file never mix their
// lines. Each line is on the disk when Append returns, so it may wait on a slow disk: it is never called on a
// window's thread.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace scaleboot::platform {

class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Appends `line` with one write and waits until the system has it on the disk (fdatasync,
  // FlushFileBuffers); false when the system took less than all of it or could not put it on the disk.
  virtual bool Append(std::string_view line) = 0;
};

// Why a file was not opened for appending. Only a regular file on a disk is taken: a FIFO, a device or a
// pipe would hang the program or swallow the lines. Run as root (elevated on Windows), a symbolic link (or
// junction) at the end of the path is refused too: another user may have put it there to have root append to
// a file of the system.
struct AppendRefusal {
  enum class Reason {
    System,          // the system's own words are in `systemText`
    NotRegularFile,  // a FIFO, a device, a socket, a folder
    NoReader,        // a FIFO nobody reads (or a socket)
    SymbolicLink,    // refused as root
  };
  Reason reason = Reason::System;
  std::string systemText{};
};

// Opens `path` for appending, creating it when it does not exist; nothing, and why in `refusal`, when it
// cannot be opened or is refused.
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, AppendRefusal& refusal);

}  // namespace scaleboot::platform
