// Taking a card out of the system before it is pulled: every file system on it is unmounted (Linux) or its
// volume locked and dismounted (Windows), and the medium is ejected where the slot can do that.
#pragma once
#include <string>
#include <vector>

namespace scaleboot::platform {

struct EjectResult {
  enum class Status {
    Ejected,        // safe to remove
    Gone,           // the root is no longer there (the card was pulled)
    InUse,          // a program holds a file, a folder or a mapping on the card
    NotAuthorized,  // the system refused the unmount to this user
    AccessDenied,   // the volume could not be opened for the eject (Windows)
    NoService,      // no udisks on the system bus and the program does not run as root (Linux)
    SystemDisk,    // asked again as it was opened, the volume lies on the disk the system runs from (Windows)
    NotRemovable,  // asked again as it was opened, the volume is no removable drive any more (Windows)
    Failed,        // anything else; `detail` holds the system's words
  };
  Status status = Status::Failed;
  // Ejected only: false when the volume is dismounted but the slot could not push the medium out (built-in
  // readers); the card is still safe to pull.
  bool mediaEjected = true;
  std::vector<std::string> holders{};  // InUse: the programs holding the card, "name (pid)"
  std::string detail{};                // Failed: what the system said
};

struct EjectOptions {
  // Also power off the drive: this removes the whole reader, every slot of it, until it is plugged in again.
  bool powerOff = false;
};

// Called by each card's worker as its card ends, several at once, and by a window's thread or the command
// line for a single card. The system's ejectors take one eject at a time themselves.
class Ejector {
 public:
  virtual ~Ejector() = default;
  // Ejects the removable drive whose root (as the drive list names it) is `root`; never raises.
  virtual EjectResult Eject(const std::string& root, const EjectOptions& options) = 0;
};

}  // namespace scaleboot::platform
