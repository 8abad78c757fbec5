#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "card/DriveScan.h"
#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

// The list split at its NULs.
std::vector<std::string> Split(const char* list, std::uint32_t length) {
  std::vector<std::string> roots;
  std::string current;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (list[i] == '\0') {
      roots.push_back(current);
      current.clear();
    } else {
      current += list[i];
    }
  }
  EXPECT_TRUE(current.empty()) << "the list must end with a NUL";
  return roots;
}

// The roots the system's drive bit mask names, "A:\" to "Z:\".
std::vector<std::string> RootsOfDriveMask() {
  std::vector<std::string> roots;
  const DWORD mask = ::GetLogicalDrives();
  for (int drive = 0; drive < 26; ++drive) {
    if (mask & (1u << drive)) roots.push_back(std::string(1, static_cast<char>('A' + drive)) + ":\\");
  }
  return roots;
}

// The removable drive mapped by the test script, if any.
std::string MappedRemovableRoot() {
  const char* root = std::getenv("SCALEBOOT_TEST_REMOVABLE_ROOT");
  return root != nullptr ? root : "";
}

TEST(DriveSource, ListsEveryDriveOfThePrefixWithItsType) {
  Win32DriveSource source;
  std::vector<char> buffer(100, 'x');
  const std::uint32_t length = source.LogicalDriveStrings(buffer);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, buffer.size());
  EXPECT_EQ(buffer[length], '\0') << "final NUL";
  const std::vector<std::string> roots = Split(buffer.data(), length);
  EXPECT_EQ(roots, RootsOfDriveMask());
  EXPECT_EQ(length, roots.size() * 4);  // "X:\" and its NUL each

  // Wine's prefix: C: is the fixed system drive, Z: the whole Unix file system (fixed as well).
  EXPECT_EQ(source.DriveType("C:\\"), static_cast<unsigned>(DRIVE_FIXED));
  ASSERT_NE(std::find(roots.begin(), roots.end(), "Z:\\"), roots.end());
  EXPECT_NE(source.DriveType("Z:\\"), kDriveRemovable);
  // A letter that is not mapped has no root directory.
  if (std::find(roots.begin(), roots.end(), "Q:\\") == roots.end()) {
    EXPECT_EQ(source.DriveType("Q:\\"), static_cast<unsigned>(DRIVE_NO_ROOT_DIR));
  }
}

TEST(DriveSource, ABufferThatIsTooSmallIsLeftAloneAndTheNeededSizeReported) {
  Win32DriveSource source;
  std::vector<char> big(100);
  const std::uint32_t length = source.LogicalDriveStrings(big);
  ASSERT_GT(length, 0u);

  // Room for the list but not its final NUL, a few characters, and none at all.
  for (std::size_t size : {static_cast<std::size_t>(length), std::size_t{3}, std::size_t{0}}) {
    std::vector<char> small(size, 'x');
    EXPECT_EQ(source.LogicalDriveStrings(small), length + 1) << "buffer of " << size;
    EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](char c) { return c == 'x'; })) << size;
  }

  // Exactly the size asked for is enough.
  std::vector<char> exact(length + 1, 'x');
  EXPECT_EQ(source.LogicalDriveStrings(exact), length);
  EXPECT_TRUE(std::equal(exact.begin(), exact.end(), big.begin()));
}

TEST(DriveSource, AFolderMappedAsAFloppyDriveIsRemovableAndListedByTheRescan) {
  const std::string root = MappedRemovableRoot();
  if (root.empty()) GTEST_SKIP() << "run by run-platform-tests.sh, which maps a removable drive";
  Win32DriveSource source;
  EXPECT_EQ(source.DriveType(root), kDriveRemovable);

  std::int32_t last = 0;
  const auto update = RescanDrives(source, last, 0);
  ASSERT_TRUE(update.has_value());
  EXPECT_EQ(update->drives, std::vector<std::string>{root});
  EXPECT_EQ(update->selectedIndex, 0);
  EXPECT_TRUE(update->writeEnabled);
  EXPECT_EQ(static_cast<std::size_t>(last), RootsOfDriveMask().size() * 4);
  // An unchanged list asks for nothing.
  EXPECT_FALSE(RescanDrives(source, last, 0).has_value());
}

}  // namespace
}  // namespace scaleboot::platform
