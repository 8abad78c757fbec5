// The station's own mounts whose card was taken out, on real folders with real mounts (tmpfs standing in for
// the card) and a scripted mount table and device list: released only inside the station's run folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "TempDir.h"
#include "platform/linux/CardMounter.h"

namespace scaleboot::testing {
namespace {

namespace fs = std::filesystem;

TEST(CardMounter, ReleasesOnlyItsOwnMountsWhoseCardIsGone) {
  struct Case {
    const char* name;
    const char* folder;  // the mount point, under the test's folder
    const char* size;    // of the mount's device in the system's list; nullptr: not listed
    mode_t runMode;
    bool released;
  };
  const Case cases[] = {
      {"the device is gone", "run/sdz1", nullptr, 0700, true},
      {"the reader is left without its card", "run/sdz", "0", 0700, true},
      {"the card is still in", "run/sdz1", "2048", 0700, false},
      {"a folder beside the run folder", "run.old/sdz1", nullptr, 0700, false},
      {"a folder deeper inside it", "run/sdz1/inner", nullptr, 0700, false},
      {"a run folder anyone may write to", "run/sdz1", nullptr, 0777, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directories(dir / c.folder);
    fs::create_directories(dir / "run");
    ::chmod((dir / "run").c_str(), c.runMode);
    if (::mount("tmpfs", (dir / c.folder).c_str(), "tmpfs", 0, nullptr) != 0) GTEST_SKIP() << "needs root";
    WriteAll(dir / c.folder + "/card-file", "x");
    if (c.size) {
      fs::create_directories(dir / "sys/dev/block/8:99");
      WriteAll(dir / "sys/dev/block/8:99/size", std::string(c.size) + "\n");
    }
    WriteAll(dir / "mountinfo", "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n50 1 8:99 / " + dir / c.folder +
                                    " rw,nosuid - vfat /dev/sdz1 rw\n");
    platform::CardMounter(dir / "sys", dir / "run", dir / "mountinfo", dir / "swaps").ReleaseGone();
    EXPECT_EQ(!fs::exists(dir / c.folder), c.released);
    EXPECT_EQ(!fs::exists(dir / c.folder + "/card-file"), c.released);
    ::umount2((dir / c.folder).c_str(), MNT_DETACH);
  }
}

}  // namespace
}  // namespace scaleboot::testing
