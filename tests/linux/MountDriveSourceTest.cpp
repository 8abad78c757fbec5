#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "card/DriveScan.h"
#include "platform/linux/CardMounter.h"
#include "platform/linux/LinuxPlatform.h"

namespace scaleboot {
namespace {

namespace fs = std::filesystem;
using platform::MountDriveSource;
using ::testing::ElementsAre;
using testing::TempDir;
using testing::TmpfsMount;
using testing::WriteAll;

// A sysfs tree and a mount table written into a temporary folder.
class MountFixture : public ::testing::Test {
 protected:
  TempDir dir;
  std::string sys = dir / "sys";
  std::string mountInfo = dir / "mountinfo";

  // A whole disk under <sys>/devices/<parent>/block/<name>, reachable as <sys>/dev/block/<majorMinor>.
  std::string Disk(const std::string& parent, const std::string& name, const std::string& majorMinor,
                   const std::string& removable) {
    const std::string folder = sys + "/devices/" + parent + "/block/" + name;
    fs::create_directories(folder);
    WriteAll(folder + "/removable", removable + "\n");
    Link(folder, majorMinor);
    return folder;
  }
  void Partition(const std::string& disk, const std::string& name, const std::string& majorMinor,
                 int number) {
    fs::create_directories(disk + "/" + name);
    WriteAll(disk + "/" + name + "/partition", std::to_string(number) + "\n");
    Link(disk + "/" + name, majorMinor);
  }
  // An MMC card: the disk's "device" link leads to the card, whose "type" says SD or MMC.
  std::string MmcDisk(const std::string& host, const std::string& name, const std::string& majorMinor,
                      const std::string& type) {
    const std::string card = sys + "/devices/platform/" + host + "/" + host + ":0001";
    fs::create_directories(card);
    WriteAll(card + "/type", type + "\n");
    const std::string disk = Disk("platform/" + host + "/" + host + ":0001", name, majorMinor, "0");
    fs::create_directory_symlink("../../../" + host + ":0001", disk + "/device");
    return disk;
  }
  void Link(const std::string& folder, const std::string& majorMinor) {
    fs::create_directories(sys + "/dev/block");
    fs::create_directory_symlink(fs::relative(folder, sys + "/dev/block"), sys + "/dev/block/" + majorMinor);
  }

  // The usual machine: a fixed SATA disk, a USB card reader with two partitions, a whole-disk card without a
  // partition table, an SD card and a soldered eMMC on MMC hosts.
  void BuildDevices() {
    const std::string sda = Disk("pci0000:00/ata1/host0", "sda", "8:0", "0");
    Partition(sda, "sda1", "8:1", 1);
    const std::string sdb = Disk("pci0000:00/usb1/1-1/host6", "sdb", "8:16", "1");
    Partition(sdb, "sdb1", "8:17", 1);
    Partition(sdb, "sdb2", "8:18", 2);
    Disk("pci0000:00/usb1/1-2/host7", "sdc", "8:32", "1");
    const std::string sd = MmcDisk("mmc0", "mmcblk0", "179:0", "SD");
    Partition(sd, "mmcblk0p1", "179:1", 1);
    const std::string emmc = MmcDisk("mmc1", "mmcblk1", "179:8", "MMC");
    Partition(emmc, "mmcblk1p1", "179:9", 1);
  }

  std::string List(MountDriveSource& source) {
    std::vector<char> buffer(4096, '#');
    const std::uint32_t length = source.LogicalDriveStrings(buffer);
    EXPECT_LT(length, buffer.size());
    EXPECT_EQ(buffer[length], '\0') << "final NUL";
    return std::string(buffer.data(), length);
  }
};

const char* const kMachine =
    "22 1 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "1 0 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "23 1 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "25 1 0:23 / /dev/shm rw,nosuid,nodev shared:3 - tmpfs tmpfs rw\n"
    "40 1 8:17 / /media/user/MY\\040CARD rw,nosuid,nodev,relatime shared:80 - vfat /dev/sdb1 rw,fmask=0022\n"
    "41 1 8:18 / /media/user/second rw,relatime shared:81 - exfat /dev/sdb2 rw\n"
    "42 1 179:9 / /home rw,relatime shared:30 - ext4 /dev/mmcblk1p1 rw\n"
    "43 1 8:17 /DCIM /mnt/photos rw,relatime shared:80 - vfat /dev/sdb1 rw,fmask=0022\n"
    "44 1 179:1 / /media/user/sd rw,relatime shared:82 - vfat /dev/mmcblk0p1 rw\n"
    "45 1 0:45 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:90 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "46 1 8:32 / /media/user/floppy rw,relatime shared:83 - vfat /dev/sdc rw\n";
const char kMachineList[] =
    "/\0/media/user/MY CARD/\0/media/user/second/\0/home/\0/media/user/sd/\0/media/user/floppy/\0";

TEST_F(MountFixture, ListsWholeBlockFileSystemsInMountOrderAndClassifiesThem) {
  BuildDevices();
  WriteAll(mountInfo, kMachine);
  MountDriveSource source(mountInfo, sys);

  EXPECT_EQ(List(source), std::string(kMachineList, sizeof kMachineList - 1));
  // Partitions of a removable disk, a whole removable disk and an SD card are removable.
  EXPECT_EQ(source.DriveType("/media/user/MY CARD/"), 2u);
  EXPECT_EQ(source.DriveType("/media/user/second/"), 2u);
  EXPECT_EQ(source.DriveType("/media/user/floppy/"), 2u);
  EXPECT_EQ(source.DriveType("/media/user/sd/"), 2u);
  // The fixed disk and the soldered eMMC are fixed.
  EXPECT_EQ(source.DriveType("/"), 3u);
  EXPECT_EQ(source.DriveType("/home/"), 3u);
  // Not a current card root: a bind mount of a sub-folder, virtual file systems, a path that is no mount, a
  // mount point without its separator.
  for (const char* root :
       {"/mnt/photos/", "/proc/", "/dev/shm/", "/run/user/1000/gvfs/", "/media/", "/media/user/sd", ""}) {
    EXPECT_EQ(source.DriveType(root), 1u) << root;
  }
}

TEST_F(MountFixture, TheCoreRescanListsOnlyTheRemovableRootsEvenWhenTheListOutgrowsItsBuffer) {
  BuildDevices();
  WriteAll(mountInfo, kMachine);
  MountDriveSource source(mountInfo, sys);
  std::int32_t last = 0;
  const auto update = RescanDrives(source, last, 0);
  ASSERT_TRUE(update.has_value());
  EXPECT_EQ(last, static_cast<std::int32_t>(sizeof kMachineList - 1));
  EXPECT_THAT(update->drives, ElementsAre("/media/user/MY CARD/", "/media/user/second/", "/media/user/sd/",
                                          "/media/user/floppy/"));
  EXPECT_EQ(update->selectedIndex, 0);
  EXPECT_TRUE(update->writeEnabled);

  // Long mount paths push the list well past 100 characters.
  std::string table = kMachine;
  for (int i = 0; i < 3; ++i) {
    table += "5" + std::to_string(i) +
             " 1 8:32 / /media/a-rather-long-user-name/CARD-WITH-A-LONG-VOLUME-LABEL-" + std::to_string(i) +
             " rw - vfat /dev/sdc rw\n";
  }
  WriteAll(mountInfo, table);
  const auto grown = RescanDrives(source, last, 0);
  ASSERT_TRUE(grown.has_value());
  EXPECT_GT(last, 200);
  ASSERT_EQ(grown->drives.size(), 7u);
  EXPECT_EQ(grown->drives[6], "/media/a-rather-long-user-name/CARD-WITH-A-LONG-VOLUME-LABEL-2/");
}

TEST_F(MountFixture, MountingOrUnmountingChangesTheListLength) {
  BuildDevices();
  const std::string base =
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 1 8:17 / /media/c rw - vfat /dev/sdb1 rw\n";
  WriteAll(mountInfo, base);
  MountDriveSource source(mountInfo, sys);
  std::vector<char> buffer(100);
  const std::uint32_t before = source.LogicalDriveStrings(buffer);
  EXPECT_EQ(before, 12u);

  WriteAll(mountInfo, base + "41 1 8:18 / /media/d rw - vfat /dev/sdb2 rw\n");
  EXPECT_EQ(source.LogicalDriveStrings(buffer), before + 10);
  WriteAll(mountInfo, "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
  EXPECT_EQ(source.LogicalDriveStrings(buffer), 2u);
  EXPECT_EQ(source.DriveType("/media/c/"), 1u) << "an unmounted card is no longer a root";
}

TEST_F(MountFixture, AMountCoveredByALaterMountOnTheSameFolderIsNotListed) {
  BuildDevices();
  // The card at /media/c is hidden by a tmpfs mounted over it; the second card's mount is hidden by a third.
  WriteAll(mountInfo,
           "40 1 8:17 / /media/c rw - vfat /dev/sdb1 rw\n"
           "41 40 0:50 / /media/c rw - tmpfs tmpfs rw\n"
           "42 1 8:18 / /media/d rw - vfat /dev/sdb2 rw\n"
           "43 42 8:32 / /media/d rw - vfat /dev/sdc rw\n");
  MountDriveSource source(mountInfo, sys);
  EXPECT_EQ(List(source), std::string("/media/d/\0", 10));
  EXPECT_EQ(source.DriveType("/media/c/"), 1u);
  EXPECT_EQ(source.DriveType("/media/d/"), 2u);
}

TEST_F(MountFixture, BufferProtocolCopiesOnlyWhenTheListAndItsFinalNulFit) {
  BuildDevices();
  WriteAll(mountInfo,
           "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
           "40 1 8:17 / /media/c rw - vfat /dev/sdb1 rw\n");
  MountDriveSource source(mountInfo, sys);
  const std::string expected("/\0/media/c/\0", 12);

  std::vector<char> exact(13, '#');
  EXPECT_EQ(source.LogicalDriveStrings(exact), 12u);
  EXPECT_EQ(std::string(exact.data(), 13), expected + '\0');

  std::vector<char> small(12, '#');
  EXPECT_EQ(source.LogicalDriveStrings(small), 13u) << "size needed, final NUL included";
  EXPECT_EQ(std::string(small.data(), 12), std::string(12, '#')) << "nothing written";
  EXPECT_EQ(source.LogicalDriveStrings({}), 13u);

  // An empty list is just the final NUL; an unreadable table is a failure (0) that writes nothing.
  WriteAll(mountInfo, "22 1 0:21 / /proc rw - proc proc rw\n");
  std::vector<char> one(1, '#');
  EXPECT_EQ(source.LogicalDriveStrings(one), 0u);
  EXPECT_EQ(one[0], '\0');
  MountDriveSource broken(dir / "no-such-file", sys);
  std::vector<char> untouched(50, '#');
  EXPECT_EQ(broken.LogicalDriveStrings(untouched), 0u);
  EXPECT_EQ(std::string(untouched.data(), 50), std::string(50, '#'));
  EXPECT_EQ(broken.DriveType("/"), 1u);
}

TEST_F(MountFixture, DevicesMissingFromSysfsAreNotCardRoots) {
  BuildDevices();
  // 8:64 has no sysfs entry (a device that went away); 0:45 is anonymous.
  WriteAll(mountInfo,
           "40 1 8:64 / /media/gone rw - vfat /dev/sde1 rw\n"
           "41 1 0:45 / /media/net rw - nfs server:/x rw\n"
           "42 1 8:17 / /media/c rw - vfat /dev/sdb1 rw\n");
  MountDriveSource source(mountInfo, sys);
  EXPECT_EQ(List(source), std::string("/media/c/\0", 10));
  EXPECT_EQ(source.DriveType("/media/gone/"), 1u);
}

// A tmpfs mounted for the test and declared a removable disk by a sysfs fixture, so that the live mount table
// lists it as a card.
class RemovableTmpfs : public ::testing::Test {
 protected:
  TempDir dir;
  std::string sys = dir / "sys";
  TmpfsMount card{"size=1m"};
  std::string root = card.dir().root();
  struct stat cardRoot {};

  void SetUp() override {
    if (!card.mounted()) GTEST_SKIP() << "this process may not mount a tmpfs";
    ASSERT_EQ(::stat(root.c_str(), &cardRoot), 0);
    SetRemovable(cardRoot.st_dev, "1");
  }
  void SetRemovable(dev_t device, const std::string& flag) {
    const std::string folder =
        sys + "/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    fs::create_directories(folder);
    WriteAll(folder + "/removable", flag + "\n");
  }
  // The status of opening `path` as a card root; a folder handed out must be the card's root.
  int Open(const std::string& path) {
    MountDriveSource source("/proc/self/mountinfo", sys);
    int folder = -1;
    const int code = source.OpenRemovableRoot(path, folder);
    if (code != 0) {
      EXPECT_EQ(folder, -1) << path;
      return code;
    }
    struct stat opened {};
    EXPECT_EQ(::fstat(folder, &opened), 0);
    EXPECT_EQ(opened.st_dev, cardRoot.st_dev) << path;
    EXPECT_EQ(opened.st_ino, cardRoot.st_ino) << path;
    ::close(folder);
    return code;
  }
};

TEST_F(RemovableTmpfs, OnlyTheRootOfTheListedRemovableMountIsOpened) {
  EXPECT_EQ(MountDriveSource("/proc/self/mountinfo", sys).DriveType(root), 2u);
  EXPECT_EQ(Open(root), 0);

  fs::create_directory(card.dir() / "DCIM");
  WriteAll(card.dir() / "file", "x");
  TempDir photos;
  ASSERT_EQ(::mount((card.dir() / "DCIM").c_str(), photos.path().c_str(), nullptr, MS_BIND, nullptr), 0);
  for (const std::string& path : {
           card.dir() / "DCIM/",     // a folder on the card
           photos.root(),            // the same folder bound elsewhere: a mount, but not of the whole card
           card.dir().path(),        // the root without its separator is not the name the list gives
           card.dir() / "missing/",  // gone
           card.dir() / "file/",     // not a folder
           dir.root(),               // a folder of the computer's own disk
           std::string("/"),         // a fixed disk, or no block device at all
       }) {
    EXPECT_EQ(Open(path), 21) << path;
  }
  ::umount2(photos.path().c_str(), MNT_DETACH);

  SetRemovable(cardRoot.st_dev, "0");  // the same mount on a fixed disk
  EXPECT_EQ(Open(root), 21);
}

TEST_F(RemovableTmpfs, TheFolderOfACoveredOrUnmountedCardIsNotReady) {
  // Another file system mounted over the card hides it.
  ASSERT_EQ(::mount("tmpfs", card.dir().path().c_str(), "tmpfs", 0, "size=64k"), 0);
  EXPECT_EQ(Open(root), 21);
  ASSERT_EQ(::umount2(card.dir().path().c_str(), 0), 0);
  EXPECT_EQ(Open(root), 0);

  // Unmounted, the card leaves its mount folder behind on the disk underneath.
  ASSERT_EQ(::umount2(card.dir().path().c_str(), MNT_DETACH), 0);
  ASSERT_TRUE(fs::is_directory(root));
  EXPECT_EQ(Open(root), 21);
}

TEST(MountDriveSourceOnThisMachine, EveryListedRootIsAFolderWithAKnownType) {
  MountDriveSource source;
  std::vector<char> buffer(1 << 16);
  const std::uint32_t length = source.LogicalDriveStrings(buffer);
  ASSERT_LT(length, buffer.size());
  if (length == 0) GTEST_SKIP() << "no block-device file system is mounted in this namespace";
  std::string item;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (buffer[i] != '\0') {
      item += buffer[i];
      continue;
    }
    EXPECT_EQ(item.back(), '/') << item;
    EXPECT_TRUE(fs::is_directory(item)) << item;
    EXPECT_THAT(source.DriveType(item), ::testing::AnyOf(2u, 3u)) << item;
    item.clear();
  }
}

// The station's own mounts whose card was taken out, tmpfs standing in for the card: released only inside the
// station's run folder.
TEST(CardMounter, ReleasesOnlyItsOwnMountsWhoseCardIsGone) {
  // The mount point, its device's size (none: not listed), the run folder's mode, whether it is released,
  // whether the system lists its devices at all.
  const struct {
    const char *name, *folder, *size;
    mode_t runMode;
    bool released, devicesListed = true;
  } cases[] = {
      {"the device is gone", "run/sdz1", nullptr, 0700, true},
      {"the reader is left without its card", "run/sdz", "0", 0700, true},
      {"the card is still in", "run/sdz1", "2048", 0700, false},
      {"a folder beside the run folder", "run.old/sdz1", nullptr, 0700, false},
      {"a folder deeper inside it", "run/sdz1/inner", nullptr, 0700, false},
      {"a run folder anyone may write to", "run/sdz1", nullptr, 0777, false},
      {"no list of the system's devices to read", "run/sdz1", nullptr, 0700, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directories(dir / "run");
    fs::create_directories(dir / c.folder);
    ::chmod((dir / "run").c_str(), c.runMode);
    if (::mount("tmpfs", (dir / c.folder).c_str(), "tmpfs", 0, nullptr) != 0) GTEST_SKIP() << "needs root";
    WriteAll(dir / c.folder + "/card-file", "x");
    if (c.devicesListed) fs::create_directories(dir / "sys/dev/block/8:99");
    if (c.size) WriteAll(dir / "sys/dev/block/8:99/size", std::string(c.size) + "\n");
    WriteAll(dir / "mountinfo", "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n50 1 8:99 / " + dir / c.folder +
                                    " rw,nosuid - vfat /dev/sdz1 rw\n");
    platform::CardMounter(dir / "sys", dir / "run", dir / "mountinfo", dir / "swaps").ReleaseGone();
    EXPECT_EQ(!fs::exists(dir / c.folder + "/card-file") && !fs::exists(dir / c.folder), c.released);
    ::umount2((dir / c.folder).c_str(), MNT_DETACH);
  }
}

// A mount table the mounter cannot read, or one showing an automount of /boot standing empty: no disk can be
// told from the system's, so no card is mounted. A removable disk in sysfs stands ready.
TEST(CardMounter, MountsNothingFromATableItCannotReadOrBesideAnEmptySystemAutomount) {
  TempDir dir;
  fs::create_directories(dir / "sys/block/sdzz");
  for (const auto& [file, text] : {std::pair{"removable", "1"}, {"dev", "8:250"}, {"size", "2048"}})
    WriteAll(dir / "sys/block/sdzz/" + file, std::string(text) + "\n");
  platform::CardMounter mounter(dir / "sys", dir / "run", dir / "mountinfo", dir / "swaps");
  const platform::UnmountedCandidate card{"/dev/sdzz", "dev:2298/sdzz", 2298, 2298, true, "vfat"};
  EXPECT_THAT(mounter.Candidates(), ::testing::IsEmpty()) << "no table";
  EXPECT_EQ(mounter.Mount(card), "the mount table cannot be read");
  fs::create_directory(dir / "mountinfo");  // there, but no file to read
  EXPECT_THAT(mounter.Candidates(), ::testing::IsEmpty()) << "a folder";
  fs::remove(dir / "mountinfo");
  WriteAll(dir / "mountinfo",
           "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n30 1 0:50 / /boot rw - autofs systemd-1 rw\n");
  ASSERT_EQ(mounter.Candidates().size(), 1u) << "a readable table lists the card";
  EXPECT_THAT(mounter.Mount(card), ::testing::HasSubstr("/boot"));
  EXPECT_EQ(mounter.Mount(card), "") << "said once";
}

}  // namespace
}  // namespace scaleboot
