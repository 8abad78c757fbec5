// The disks the running system uses, on canned machines: a mount table, the active swaps and a sysfs tree in
// a temporary folder. Beside each system an ordinary card, which must stay listed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "TempDir.h"
#include "card/DriveScan.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SystemDisks.h"

namespace scaleboot {
namespace {

struct Device {  // a whole disk, or a partition of `disk`
  std::string name, number, disk = "", removable = "0", backingFile = "", slave = "", mmcType = "";
};

struct Machine {
  std::string about;
  std::vector<Device> devices;
  std::string mountInfo;
  std::optional<std::string> swaps;
  std::vector<std::string> systemOwn, btrfsMembers = {}, listed = {"/media/card/"};
};

const Device kCard{"sdz", "8:240", "", "1"}, kCardPart{"sdz1", "8:241", "sdz"};
const std::string kCardMount = "90 1 8:241 / /media/card rw - vfat /dev/sdz1 rw\n";
const std::string kNoSwap = "Filename\tType\tSize\tUsed\tPriority\n";

class SystemDisks : public ::testing::Test {
 protected:
  std::string sys;

  void File(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    testing::WriteAll(path, text + "\n");
  }
  void Link(const std::string& target, const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::create_directory_symlink(target, path);
  }
  void Build(const std::vector<Device>& devices, const std::vector<std::string>& btrfsMembers) {
    for (const Device& d : devices) {
      const std::string folder =
          sys + "/devices/virtual/block/" + (d.disk.empty() ? "" : d.disk + "/") + d.name;
      File(folder + "/dev", d.number);
      File(folder + (d.disk.empty() ? "/removable" : "/partition"), d.disk.empty() ? d.removable : "1");
      if (!d.backingFile.empty()) File(folder + "/loop/backing_file", d.backingFile);
      if (!d.slave.empty()) Link(sys + "/class/block/" + d.slave, folder + "/slaves/" + d.slave);
      if (!d.mmcType.empty()) File(folder + "/device/type", d.mmcType);
      Link(folder, sys + "/dev/block/" + d.number);
      Link(folder, sys + "/class/block/" + d.name);
    }
    for (const std::string& member : btrfsMembers)
      Link(sys + "/class/block/" + member, sys + "/fs/btrfs/0b5c2ad1/devices/" + member);
  }
};

TEST_F(SystemDisks, AreNeverListedWhileTheCardBesideThemIs) {
  const Device sda{"sda", "8:0"}, sda1{"sda1", "8:1", "sda"}, sda2{"sda2", "8:2", "sda"};
  const Machine machines[] = {
      {"Raspberry Pi: the system on its SD card",
       {{"mmcblk0", "179:0", "", "0", "", "", "SD"},
        {"mmcblk0p1", "179:1", "mmcblk0"},
        {"mmcblk0p2", "179:2", "mmcblk0"}},
       "1 0 179:2 / / rw - ext4 /dev/root rw\n30 1 179:1 / /boot/firmware rw - vfat /dev/mmcblk0p1 rw\n",
       kNoSwap,
       {"/", "/boot/firmware/"}},
      {"Raspberry Pi started from a USB SSD, its firmware folder still on the SD card",
       {sda, sda1, {"mmcblk0", "179:0", "", "0", "", "", "SD"}, {"mmcblk0p1", "179:1", "mmcblk0"}},
       "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n30 1 179:1 / /boot/firmware rw - vfat /dev/mmcblk0p1 rw\n",
       kNoSwap,
       {"/boot/firmware/"}},
      {"live USB stick: overlay root, medium at /run/live/medium",
       {{"sdb", "8:16", "", "1"},
        {"sdb1", "8:17", "sdb"},
        {"loop0", "7:0", "", "0", "/run/live/medium/live/fs.squashfs"}},
       "1 0 0:30 / / rw - overlay overlay "
       "rw,lowerdir=/run/live/rootfs/fs.squashfs/,upperdir=/run/live/overlay/rw\n"
       "20 1 8:17 / /run/live/medium ro - iso9660 /dev/sdb1 ro\n"
       "21 1 7:0 / /run/live/rootfs/fs.squashfs ro - squashfs /dev/loop0 ro\n"
       "22 1 0:31 / /run/live/overlay rw - tmpfs tmpfs rw\n",
       std::nullopt,
       {"/run/live/medium/"}},
      {"live USB stick of an older kind: found through the overlay and its loop device alone",
       {{"sdb", "8:16", "", "1"},
        {"sdb1", "8:17", "sdb"},
        {"loop0", "7:0", "", "0", "/lib/live/mount/medium/fs a.squashfs"}},
       "1 0 0:30 / / rw - overlay overlay "
       "rw,lowerdir=/lib/live/mount/rootfs/fs.squashfs,upperdir=/lib/live/mount/rw\n"
       "20 1 8:17 / /lib/live/mount/medium ro - iso9660 /dev/sdb1 ro\n"
       "21 1 7:0 / /lib/live/mount/rootfs/fs.squashfs ro - squashfs /dev/loop0 ro\n",
       kNoSwap,
       {"/lib/live/mount/medium/"}},
      {"/home on a USB disk, bound from a folder of it; the same file system also at a media folder",
       {sda, sda1, {"sdc", "8:32", "", "1"}, {"sdc1", "8:33", "sdc"}},
       "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n30 1 8:33 /home /home rw - ext4 /dev/sdc1 rw\n"
       "31 1 8:33 / /media/backup rw - ext4 /dev/sdc1 rw\n",
       kNoSwap,
       {"/media/backup/"}},
      {"LVM on a USB disk holding /var; another partition of that disk at a media folder",
       {sda,
        sda1,
        {"sdd", "8:48", "", "1"},
        {"sdd1", "8:49", "sdd"},
        {"sdd2", "8:50", "sdd"},
        {"dm-0", "254:0", "", "0", "", "sdd1"}},
       "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n30 1 254:0 / /var rw - ext4 /dev/mapper/vg-var rw\n"
       "31 1 8:50 / /media/stick rw - vfat /dev/sdd2 rw\n",
       kNoSwap,
       {"/media/stick/"}},
      {"a swap file on a card, a swap partition on another through device-mapper",
       {sda,
        sda1,
        {"sde", "8:64", "", "1"},
        {"sde1", "8:65", "sde"},
        {"sdf", "8:80", "", "1"},
        {"sdf1", "8:81", "sdf"},
        {"sdf2", "8:82", "sdf"},
        {"dm-1", "254:1", "", "0", "", "sdf2"}},
       "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n30 1 8:65 / /media/swap\\040card rw - vfat /dev/sde1 rw\n"
       "31 1 8:81 / /media/other rw - vfat /dev/sdf1 rw\n",
       kNoSwap + "/media/swap\\040card/swapfile file 1024 0 -2\n/dev/dm-1 partition 1024 0 -3\n"
                 "/mnt/nfs/swap file 1024 0 -4\n",
       {"/media/swap card/", "/media/other/"}},
      {"btrfs root spanning a fixed disk and a USB disk",
       {sda, sda1, sda2, {"sdg", "8:96", "", "1"}, {"sdg1", "8:97", "sdg"}, {"sdg2", "8:98", "sdg"}},
       "1 0 0:33 /@ / rw - btrfs /dev/sda2 rw\n30 1 0:33 /@home /home rw - btrfs /dev/sda2 rw\n"
       "31 1 8:98 / /media/extra rw - vfat /dev/sdg2 rw\n",
       kNoSwap,
       {"/media/extra/"},
       {"sda2", "sdg1"}},
      {"a container without swap: an overlay root on folders it cannot see, /home on tmpfs",
       {},
       "1 0 0:40 / / rw - overlay overlay "
       "rw,lowerdir=/var/lib/docker/overlay2/l/ABC,upperdir=/var/lib/x/diff\n"
       "30 1 0:41 / /home rw - tmpfs tmpfs rw\n31 1 0:42 / /var rw - nfs server:/var rw\n",
       std::nullopt,
       {}},
      {"a card on a loop device whose image lies on the system's disk",
       {sda, sda1, {"loop3", "7:3", "", "1", "/var/images/card.img"}},
       "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n30 1 7:3 / /media/loop-card rw - vfat /dev/loop3 rw\n",
       kNoSwap + "/var/swapfile file 1024 0 -2\n",
       {},
       {},
       {"/media/loop-card/", "/media/card/"}},
  };
  for (const Machine& m : machines) {
    SCOPED_TRACE(m.about);
    testing::TempDir machine;
    sys = machine / "sys";
    std::vector<Device> devices = m.devices;
    devices.insert(devices.end(), {kCard, kCardPart});
    Build(devices, m.btrfsMembers);
    testing::WriteAll(machine / "mountinfo", m.mountInfo + kCardMount);
    if (m.swaps) testing::WriteAll(machine / "swaps", *m.swaps);
    platform::MountDriveSource drives(machine / "mountinfo", sys, machine / "swaps");
    const SortedRoots roots = SortDriveRoots(drives);
    EXPECT_EQ(roots.removable, m.listed);
    EXPECT_EQ(roots.systemDisks, m.systemOwn);
  }
}

// A USB stick holding one folder: the system's when the system keeps that folder, a card anywhere else.
TEST_F(SystemDisks, AStickAtAFolderTheSystemKeepsIsNoCardAndOneElsewhereIs) {
  const std::pair<std::string, bool> sticks[] = {{"/boot", true},
                                                 {"/boot/efi", true},
                                                 {"/efi", true},
                                                 {"/usr/local", true},
                                                 {"/var/log", true},
                                                 {"/var/lib/docker", true},
                                                 {"/srv", true},
                                                 {"/opt/data", true},
                                                 {"/etc/keys", true},
                                                 {"/root", true},
                                                 {"/home", true},
                                                 {"/home/anna", true},
                                                 {"/home/anna/card", false},
                                                 {"/root/card", false},
                                                 {"/run/media/anna/CARD", false},
                                                 {"/mnt/card", false},
                                                 {"/tmp/card", false},
                                                 {"/variable", false},
                                                 {"/home2/anna", false}};
  for (const auto& [folder, system] : sticks) {
    SCOPED_TRACE(folder);
    testing::TempDir machine;
    sys = machine / "sys";
    Build({{"sda", "8:0"},
           {"sda1", "8:1", "sda"},
           {"sdy", "8:224", "", "1"},
           {"sdy1", "8:225", "sdy"},
           kCard,
           kCardPart},
          {});
    testing::WriteAll(machine / "mountinfo", "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n40 1 8:225 / " + folder +
                                                 " rw - ext4 /dev/sdy1 rw\n" + kCardMount);
    platform::MountDriveSource drives(machine / "mountinfo", sys, machine / "swaps");
    const SortedRoots roots = SortDriveRoots(drives);
    const std::vector<std::string> stick{folder + "/"}, card{"/media/card/"},
        both{folder + "/", "/media/card/"};
    EXPECT_EQ(roots.removable, system ? card : both);
    EXPECT_EQ(roots.systemDisks, system ? stick : std::vector<std::string>{});
  }
}

TEST(EmptySystemAutomount, IsAnAutomountOfASystemFolderWithNothingOnIt) {
  const std::string boot = "30 1 0:50 / /boot rw - autofs systemd-1 rw\n";
  const std::pair<std::string, std::optional<std::string>> tables[] = {
      {boot, "/boot"},
      {boot + "31 30 8:1 / /boot rw - vfat /dev/sda1 rw\n", std::nullopt},
      {"30 1 0:50 / /media/nfs rw - autofs systemd-1 rw\n", std::nullopt},
      {"30 1 0:50 / /efi rw - autofs systemd-1 rw\n31 1 8:1 / /media/x rw - vfat /dev/sda1 rw\n", "/efi"}};
  for (const auto& [table, folder] : tables)
    EXPECT_EQ(platform::EmptySystemAutomount(*platform::ParseMountTable(table)), folder) << table;
}

}  // namespace
}  // namespace scaleboot
