// The Linux implementations of the services the core needs.
#pragma once
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace scaleboot::platform {

// The drive-root list of Linux: the mount points of mounted block-device file systems, each ending in "/" and
// followed by one NUL, in mount-table order. Only whole file systems count (a bind mount of a folder is no
// card root), on devices listed under <sysRoot>/dev/block, and not covered by a later mount on the same
// folder. A mount is removable (type 2) when its whole-disk block device has removable = 1 in sysfs, or is an
// SD card on an MMC host, unless the running system uses that disk (SystemDisks.h, decided again on every
// reading of the mount table): then it is kDriveSystemDisk, never a card. Other listed roots are type 3, and
// anything else 1. The mount table, sysfs and the list of active swaps are parameters so that tests can
// point them at fixtures.
class MountDriveSource : public DriveSource {
 public:
  explicit MountDriveSource(std::string mountInfoPath = "/proc/self/mountinfo", std::string sysRoot = "/sys",
                            std::string swapsPath = "/proc/swaps");
  std::uint32_t LogicalDriveStrings(std::span<char> buffer) override;
  unsigned DriveType(const std::string& root) override;
  // Opens the folder `root` for card files when it is still the root of the removable drive listed under that
  // name, on no disk the running system uses: the folder opened must be the root of that very mount, so
  // neither the folder a card was mounted on nor one inside the card passes. Returns 0 and the folder's
  // descriptor (O_PATH) in `folder`, otherwise 21 (not ready), or the Windows code of a failure to look the
  // path up other than its absence.
  int OpenRemovableRoot(const std::string& root, int& folder);

  // A removable drive as the station sees it: its root as listed, the card's identity (the whole disk's
  // "diskseq:N", which the kernel numbers anew for every medium; "mount:N", the mount's ID, where the kernel
  // has no sequence number), the block devices of the mount and of its whole disk, and whether the running
  // system uses that disk (then it is no card, and only a reader named by the user is told of it).
  struct RemovableMount {
    std::string root;
    std::string identity;
    unsigned long long device = 0;
    unsigned long long disk = 0;
    bool systemDisk = false;
  };
  std::vector<RemovableMount> RemovableMounts();

 private:
  struct ListedRoot {
    int mountId = 0;
    bool removable = false;
    bool systemDisk = false;
  };
  // The mount listed under `root`, when there is one.
  std::optional<ListedRoot> FindRoot(const std::string& root);

  std::string mountInfoPath_;
  std::string sysRoot_;
  std::string swapsPath_;
};

// The Windows error code that names the same condition as errno `error`.
int WindowsCodeForErrno(int error);

// Opens the drive-root folder of a card file (ending in "/") for the calls that name files in it: 0 and the
// folder's descriptor in `folder`, or the Windows code of why no card file may be named in it.
using CardRootOpener = std::function<int(const std::string& root, int& folder)>;

// The rule of the program: only the root of a removable drive, as MountDriveSource lists it.
CardRootOpener RemovableDriveRoots();
// Any existing folder: for tests and benchmarks that treat an ordinary folder as a card.
int OpenAnyFolder(const std::string& root, int& folder);

// One POSIX call per byte; card files are never followed through symbolic links.
// Read-back from the card: each written file is synced to the medium before it is closed and its cached pages
// are then dropped (POSIX_FADV_DONTNEED), so the read-back has to fetch its bytes from the card.
// Create, Open and Delete first open the file's folder through the root opener and name the file relative to
// that descriptor, so the folder checked is the folder used even if the card goes away in between; the byte
// calls work on the open file only.
class PosixByteFileSystem : public ByteFileSystem {
 public:
  explicit PosixByteFileSystem(CardRootOpener openRoot = RemovableDriveRoots());
  int Create(const std::string& path, Handle& handle) override;
  int Open(const std::string& path, Handle& handle) override;
  int OpenForReading(const std::string& path, Handle& handle) override;
  int WriteByte(Handle handle, std::uint8_t byte) override;
  int ReadByte(Handle handle, std::uint8_t& byte) override;
  int WriteBlock(Handle handle, std::span<const std::uint8_t> bytes, std::size_t& count) override;
  int ReadBlock(Handle handle, std::span<std::uint8_t> buffer, std::size_t& count) override;
  int Close(Handle handle) override;
  void Delete(const std::string& path) override;
  // O_DIRECT reads of 64 KiB into block-aligned memory; refused on a file system that refuses O_DIRECT
  // (EINVAL at the open or the first read) and on FUSE, whose daemon may answer from its own memory.
  int ReadPastCache(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& contents) override;
  // The same reads, each handed over as it arrives.
  int StreamPastCache(const std::string& path, std::size_t limit, const PieceTaker& take) override;

 private:
  int OpenCardFile(const std::string& path, int flags, int& fd);

  CardRootOpener openRoot_;
  std::set<Handle> created_;  // handles of files opened by Create, synced to the medium when closed
};

// Documents embedded in the program, saved and handed to `opener` (the desktop's default handler, supplied by
// the front end). A program run from its own folder (an unpacked or freshly built copy) saves them into
// `programFolder` when this user may write there. Otherwise, and always for a program installed under one of
// `systemFolders` (each ending in "/"), they go into the user's cache folder, $XDG_CACHE_HOME/scaleboot/
// (~/.cache/scaleboot/ when that is unset or not absolute), made when missing; when that cannot be made
// either, into `programFolder` again, so the failure is reported as it always was. Nothing is ever saved
// under a system folder, even by root: such a save is refused as "permission denied".
class LinuxDocumentHost : public DocumentHost {
 public:
  using Opener = std::function<void(const std::string& path)>;
  LinuxDocumentHost(std::string programFolder, Opener opener,
                    std::vector<std::string> systemFolders = {"/usr/", "/opt/"});
  std::optional<std::span<const std::uint8_t>> FindDocumentData(std::string_view name) override;
  // The folder the documents are saved into, chosen afresh on every call.
  std::string ProgramFolder() override;
  SaveResult SaveFile(const std::string& path, std::span<const std::uint8_t> bytes) override;
  void ShellOpen(const std::string& path) override;

 private:
  bool InSystemFolder(std::string_view path) const;

  std::string programFolder_;
  Opener opener_;
  std::vector<std::string> systemFolders_;
};

// Standard output and standard error as file descriptors 1 and 2; UTF-8 goes out unchanged.
class StdioConsole : public Console {
 public:
  void Write(Stream stream, std::string_view text) override;
  bool IsTerminal(Stream stream) override;
  bool Failed(Stream stream) override;

 private:
  bool failed_[2] = {false, false};
};

// The folder of the running executable, ending in "/".
std::string OwnProgramFolder();

// ClockSynchronised's rule: adjtimex's answer `clock` (-1 when it failed) and clock `status`; where it
// failed, whether systemd-timesyncd's flag file is there.
std::optional<bool> ClockStateOf(int clock, long status, bool timesyncFlag);

}  // namespace scaleboot::platform
