// The operating-system services the core needs. Each build supplies implementations in platform/<os>/;
// tests supply fakes. Text is UTF-8 throughout.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace scaleboot::platform {

// Drive types, numbered as Windows numbers them.
inline constexpr unsigned kDriveUnknown = 0;
inline constexpr unsigned kDriveNoRootDir = 1;  // no such drive root
inline constexpr unsigned kDriveRemovable = 2;  // the only type that is ever listed
inline constexpr unsigned kDriveFixed = 3;
inline constexpr unsigned kDriveRemote = 4;
inline constexpr unsigned kDriveCdRom = 5;
inline constexpr unsigned kDriveRamDisk = 6;
// Not a Windows number: a drive the system would call removable that holds the running system itself (its
// root, its Windows folder, its swap, the medium it started from). Never listed, written, mounted or ejected.
inline constexpr unsigned kDriveSystemDisk = 0x100;

// The list of drive roots ("E:\" on Windows, a mount point ending in "/" on Linux), each followed by one NUL.
class DriveSource {
 public:
  virtual ~DriveSource() = default;
  // Copies the list and its final terminating NUL into `buffer` when it fits and returns its length without
  // that final NUL. When it does not fit, leaves `buffer` alone and returns the size needed, final NUL
  // included (so a result above buffer.size() means "too small"). Returns 0 on failure.
  virtual std::uint32_t LogicalDriveStrings(std::span<char> buffer) = 0;
  // The drive type of a root; kDriveRemovable (2) marks a removable drive.
  virtual unsigned DriveType(const std::string& root) = 0;
};

// Card files, one operating-system call per transfer: a byte, or a block. Every status is 0 on success or the
// Windows error code naming the failure (Linux maps errno to it); kShortTransfer when a one-byte call
// transferred no byte.
class ByteFileSystem {
 public:
  using Handle = std::intptr_t;
  static constexpr int kShortTransfer = -1;
  // ReadPastCache on a file system that does not let a read bypass the system's cache.
  static constexpr int kPastCacheRefused = -2;

  virtual ~ByteFileSystem() = default;
  // Create the file, or truncate an existing one, for reading and writing.
  virtual int Create(const std::string& path, Handle& handle) = 0;
  // Open an existing file, asking for reading and writing.
  virtual int Open(const std::string& path, Handle& handle) = 0;
  // Open an existing file for reading only, so that a write-protected card or a read-only copy can be
  // checked; unlike Create, Open and Delete it may name any folder.
  virtual int OpenForReading(const std::string& path, Handle& handle) = 0;
  virtual int WriteByte(Handle handle, std::uint8_t byte) = 0;
  virtual int ReadByte(Handle handle, std::uint8_t& byte) = 0;
  // Writes up to bytes.size() bytes in one call and sets `count` to the number written, which may be fewer
  // (0 when the call moved no byte without saying why).
  virtual int WriteBlock(Handle handle, std::span<const std::uint8_t> bytes, std::size_t& count) = 0;
  // Reads up to buffer.size() bytes in one call and sets `count` to the number read: 0 at the end of the
  // file.
  virtual int ReadBlock(Handle handle, std::span<std::uint8_t> buffer, std::size_t& count) = 0;
  // Closes the handle; a file that was written is first put on the medium. Any non-zero status is a failure.
  virtual int Close(Handle handle) = 0;
  // Deletes the file; the outcome is not reported.
  virtual void Delete(const std::string& path) = 0;
  // Reads the file at `path` (any folder, reading only) once more, in large reads that bypass the system's
  // cache, so that the bytes come from the device even while another program holds the file open: its first
  // `limit` bytes at most, or fewer when it is shorter, into `contents`. Returns 0; the code of a failing
  // open or read; or kPastCacheRefused where the file system allows no such read.
  virtual int ReadPastCache(const std::string& path, std::size_t limit,
                            std::vector<std::uint8_t>& contents) = 0;
  // The same read, handing each piece to `take` as it arrives instead of keeping the bytes, so that a
  // read-back moves its progress as it goes; the same statuses. Unless a file layer reads in pieces of its
  // own, the whole of ReadPastCache's bytes are one piece.
  using PieceTaker = std::function<void(std::span<const std::uint8_t> piece)>;
  virtual int StreamPastCache(const std::string& path, std::size_t limit, const PieceTaker& take) {
    std::vector<std::uint8_t> contents;
    const int status = ReadPastCache(path, limit, contents);
    if (status == 0 && !contents.empty()) take(contents);
    return status;
  }
};

// Which folder a path names, whatever name it is reached by: two paths with equal identities are one folder
// of one mounted volume. Linux: the device and inode numbers, which no two mounts share. Windows: the
// folder's path on its volume's device (a card's root "\Device\HarddiskVolume7\", a subst letter
// to its folder fw "\Device\HarddiskVolume7\fw\"), since two cards cloned from one image have
// equal volume serial numbers and root-folder indexes.
struct FolderIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::string devicePath{};
  bool operator==(const FolderIdentity&) const = default;
};
// The identity of a folder, or the system's error code (Windows numbering) of why it could not be told.
struct FolderLookup {
  std::optional<FolderIdentity> identity{};
  int code = 0;
};
// The identity of the folder `path`; a path that is not a folder gives code 267 (not a folder).
FolderLookup IdentifyFolder(const std::string& path);

// Saving a help document next to the program and handing it to the desktop.
class DocumentHost {
 public:
  enum class SaveStatus { Saved, CannotCreate, ShortWrite };
  struct SaveResult {
    SaveStatus status = SaveStatus::Saved;
    std::string systemMessage;     // the system's description of a failure to create, as the system words it
    std::uint32_t systemCode = 0;  // the system's error code of a failure to create, where it has one
  };

  virtual ~DocumentHost() = default;
  // A raw data resource of the program by name, or nothing when there is none.
  virtual std::optional<std::span<const std::uint8_t>> FindDocumentData(std::string_view name) = 0;
  // The folder the documents are saved into, ending in its path separator: the folder of the program's
  // executable (on Linux, the user's cache folder when the user may not write there).
  virtual std::string ProgramFolder() = 0;
  // Creates or replaces `path`, held exclusively while it is written, and writes `bytes` to it.
  virtual SaveResult SaveFile(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
  // Asks the desktop to open the file with its default viewer; failures are silent.
  virtual void ShellOpen(const std::string& path) = 0;
  // Where to save a document that the folder of ProgramFolder() refused with `refused`: another folder,
  // ending in its path separator, ready to be written into; nothing when there is none for that failure.
  virtual std::optional<std::string> FallbackFolder(const SaveResult& refused) {
    (void)refused;
    return std::nullopt;
  }
};

// Standard output and standard error of a console program. Text is UTF-8; each platform shows it in the
// terminal's own way and passes it on unchanged to a pipe or file.
class Console {
 public:
  enum class Stream { Out, Err };
  virtual ~Console() = default;
  virtual void Write(Stream stream, std::string_view text) = 0;
  virtual bool IsTerminal(Stream stream) = 0;
  // True once a write to `stream` has failed (a full disk, a closed pipe): some text never arrived.
  virtual bool Failed(Stream stream) = 0;
};

// What a path names. A symbolic link (or another reparse point) at the end of the path is reported as such,
// not followed, except that a path ending in a separator names the folder itself.
struct PathInfo {
  enum class Kind {
    Missing,  // nothing of that name, or a folder on the way is missing
    Folder,
    RegularFile,
    SymbolicLink,
    Other,    // a device, a FIFO, a socket; or a path through something that is no folder
    Unknown,  // the system would not say (access denied to a folder on the way, say)
  };
  Kind kind = Kind::Unknown;
  std::uint64_t size = 0;  // bytes of a regular file
};
PathInfo InspectPath(const std::string& path);

// The user's language setting as a locale name ("ru_RU.UTF-8" on Linux, "ru-RU" on Windows), empty when
// there is none.
std::string UserLocaleName();

// Whether the system clock is synchronised to a time source: a board without a clock battery starts from its
// last saved time, and a record's time means little until the network's time service has set it. Nothing
// when the system will not say.
std::optional<bool> ClockSynchronised();

// The more significant half of the program's own file version, or nothing when it cannot be read.
std::optional<std::uint32_t> ReadOwnFileVersion();
// Full path of the program's executable file.
std::string OwnExecutablePath();

}  // namespace scaleboot::platform
