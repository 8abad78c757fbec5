// The station's services on Linux.
#pragma once
#include "platform/CardSlots.h"
#include "platform/linux/LinuxPlatform.h"

namespace scaleboot::platform {

// Readers are mount points, or device paths (/dev/sdb, /dev/disk/by-path/...) that name a reader whose
// card, once mounted, is found by its block device or that of a partition on it. Without readers, every
// removable mount is a slot named by its mount point.
class LinuxCardSlots : public CardSlotSource {
 public:
  explicit LinuxCardSlots(MountDriveSource& drives);
  std::vector<CardSlot> Poll(std::span<const std::string> readers) override;
  bool HoldsSystemDisk(const std::string& reader) override { return Poll({&reader, 1}).front().systemDisk; }
  // The label and UUID (the FAT serial number "XXXX-XXXX") udev links to the card's device.
  VolumeFacts Describe(const std::string& root) override;
  // The whole disk the card at `root` is on ("/dev/sdb"), which stays the reader's name while it is empty;
  // the mount point when the system names no such disk.
  std::string ReaderOf(const std::string& root) override;

 private:
  MountDriveSource& drives_;
};

// SIGINT, SIGTERM and SIGHUP ask the station to stop instead of ending the program; SIGPIPE is ignored.
void InstallStopHandlers();
// Sleeps up to `milliseconds`; true, at once, once a stop was asked for.
bool WaitOrStop(int milliseconds);

}  // namespace scaleboot::platform
