#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeDrives.h"
#include "card/DriveScan.h"

namespace scaleboot {
namespace {

using ::testing::ElementsAre;
using testing::FakeDrives;

constexpr unsigned kFixed = 3, kRemovable = 2, kRemote = 4, kCdRom = 5;

struct Scan : ::testing::Test {
  FakeDrives drives;
  std::int32_t last = 0;
  std::optional<DriveListUpdate> Run(std::uint8_t corrupt = 0) { return RescanDrives(drives, last, corrupt); }
};

TEST_F(Scan, NoRemovableDriveListsNothingAndDisablesWriting) {
  drives.Set({{"C:\\", kFixed}, {"D:\\", kCdRom}, {"Z:\\", kRemote}});
  const auto u = Run();
  ASSERT_TRUE(u);
  EXPECT_TRUE(u->drives.empty());
  EXPECT_EQ(u->selectedIndex, -1);
  EXPECT_FALSE(u->writeEnabled);
  EXPECT_EQ(last, 12);
}

TEST_F(Scan, RemovableDrivesInSystemOrderFirstSelected) {
  drives.Set({{"C:\\", kFixed}, {"E:\\", kRemovable}, {"F:\\", kFixed}, {"G:\\", kRemovable}});
  const auto u = Run();
  ASSERT_TRUE(u);
  EXPECT_THAT(u->drives, ElementsAre("E:\\", "G:\\"));
  EXPECT_EQ(u->selectedIndex, 0);
  EXPECT_TRUE(u->writeEnabled);
}

TEST_F(Scan, DrivesAAndBAreNeverAskedNorListed) {
  drives.Set({{"A:\\", kRemovable}, {"B:\\", kRemovable}, {"C:\\", kFixed}, {"F:\\", kRemovable}});
  const auto u = Run();
  EXPECT_THAT(u->drives, ElementsAre("F:\\"));
  EXPECT_THAT(drives.asked, ElementsAre("C:\\", "F:\\"));
}

TEST_F(Scan, UnchangedLengthChangesNothingEvenIfTheContentDiffers) {
  drives.Set({{"C:\\", kFixed}, {"E:\\", kRemovable}, {"G:\\", kRemovable}});
  ASSERT_TRUE(Run());
  drives.asked.clear();
  EXPECT_FALSE(Run());  // the user's choice of the second item stays
  drives.Set({{"C:\\", kFixed}, {"F:\\", kRemovable}, {"H:\\", kRemovable}});
  EXPECT_FALSE(Run());
  EXPECT_TRUE(drives.asked.empty());
}

TEST_F(Scan, InsertingAndRemovingACardReader) {
  drives.Set({{"C:\\", kFixed}});
  EXPECT_FALSE(Run()->writeEnabled);
  drives.Set({{"C:\\", kFixed}, {"F:\\", kRemovable}});
  auto u = Run();
  ASSERT_TRUE(u);
  EXPECT_THAT(u->drives, ElementsAre("F:\\"));
  EXPECT_TRUE(u->writeEnabled);
  drives.Set({{"C:\\", kFixed}});
  u = Run();
  ASSERT_TRUE(u);
  EXPECT_TRUE(u->drives.empty());
  EXPECT_FALSE(u->writeEnabled);
}

TEST_F(Scan, CorruptImagesKeepWritingDisabledWhateverIsListed) {
  drives.Set({{"E:\\", kRemovable}, {"F:\\", kRemovable}});
  const auto u = Run(1);
  EXPECT_THAT(u->drives, ElementsAre("E:\\", "F:\\"));
  EXPECT_EQ(u->selectedIndex, 0);
  EXPECT_FALSE(u->writeEnabled);
}

TEST_F(Scan, AFailingListCallAfterAnEarlierListEmptiesIt) {
  drives.Set({{"E:\\", kRemovable}});
  ASSERT_TRUE(Run()->writeEnabled);
  drives.fail = true;
  const auto u = Run();
  ASSERT_TRUE(u);
  EXPECT_TRUE(u->drives.empty());
  EXPECT_FALSE(u->writeEnabled);
  EXPECT_EQ(last, 0);
  EXPECT_FALSE(Run());
}

TEST_F(Scan, ListLongerThanTheBufferIsFetchedAgainWhole) {
  // 26 drive letters need 105 characters: more than the first buffer of 100.
  drives.list.clear();
  for (char c = 'A'; c <= 'Z'; ++c) {
    const std::string root = std::string(1, c) + ":\\";
    drives.list += root + '\0';
    drives.types[root] = c >= 'W' ? kRemovable : kFixed;
  }
  const auto u = Run();
  ASSERT_TRUE(u);
  EXPECT_THAT(drives.bufferSizes, ElementsAre(100, 105));
  EXPECT_EQ(last, 104);
  EXPECT_THAT(u->drives, ElementsAre("W:\\", "X:\\", "Y:\\", "Z:\\"));
}

TEST_F(Scan, LinuxStyleMountPointsOfAnyLength) {
  drives.list = std::string("/\0/media/user/CARD 1/\0/boot/\0", 30);
  drives.types = {{"/media/user/CARD 1/", kRemovable}, {"/", kFixed}, {"/boot/", kFixed}};
  const auto u = Run();
  EXPECT_THAT(u->drives, ElementsAre("/media/user/CARD 1/"));
  EXPECT_EQ(last, 30);
}

// Unlike the rescan, the plain list answers every call, whatever length the list had before.
TEST(RemovableRoots, ListTheRemovableDrivesOnEveryCall) {
  using namespace std::string_literals;
  const struct {
    const char* name;
    std::string list;
    std::map<std::string, unsigned> types;
    bool fail;
    std::vector<std::string> roots;
    std::vector<std::string> asked;
  } cases[] = {
      {"none removable", "C:\\\0D:\\\0"s, {{"C:\\", kFixed}, {"D:\\", kCdRom}}, false, {}, {"C:\\", "D:\\"}},
      {"A: and B: never asked",
       "A:\\\0B:\\\0E:\\\0F:\\\0G:\\\0"s,
       {{"A:\\", kRemovable},
        {"B:\\", kRemovable},
        {"E:\\", kRemovable},
        {"F:\\", kRemote},
        {"G:\\", kRemovable}},
       false,
       {"E:\\", "G:\\"},
       {"E:\\", "F:\\", "G:\\"}},
      {"failing list call", "E:\\\0"s, {{"E:\\", kRemovable}}, true, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDrives drives;
    drives.list = c.list;
    drives.types = c.types;
    drives.fail = c.fail;
    EXPECT_EQ(RemovableRoots(drives), c.roots);
    EXPECT_EQ(drives.asked, c.asked);
    EXPECT_EQ(RemovableRoots(drives), c.roots);  // the same list again: still reported
  }
}

}  // namespace
}  // namespace scaleboot
