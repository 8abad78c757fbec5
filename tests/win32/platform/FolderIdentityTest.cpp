// Telling card roots apart on Windows: the drives the test script maps, each folder answering one serial
// number and root index, as cards cloned from one image do.
#include <gtest/gtest.h>

#include <cstdlib>

#include "card/SameCard.h"
#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

struct ClonedCards : Win32FileCalls {
  BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) override {
    const BOOL known = Win32FileCalls::GetFileInformationByHandle(file, info);
    info->dwVolumeSerialNumber = 0x1234ABCD, info->nFileIndexHigh = 0, info->nFileIndexLow = 5;
    return known;
  }
};

TEST(FolderIdentity, RootsAreOneCardOnlyAtOnePathOfOneDevice) {
  if (const char* mapped = std::getenv("SCALEBOOT_TEST_CLONED_ROOTS"); mapped == nullptr || *mapped == 0)
    GTEST_SKIP() << "run-platform-tests.sh maps them";
  // E: and F: one folder, G: another card, H: a folder of E:'s card; Q: is no drive.
  const std::vector<std::string> roots = {"E:\\", "F:\\", "G:\\", "H:\\", "Q:\\"};
  ClonedCards calls;
  const OneRootPerFolder same =
      OnePerFolder(roots, [&](const std::string& root) { return IdentifyFolderWith(root, calls); });
  EXPECT_EQ(same.roots, (std::vector<std::string>{"E:\\", "G:\\", "H:\\", "Q:\\"}));
  EXPECT_EQ(same.unidentified, (std::vector<int>{0, 0, 0, ERROR_PATH_NOT_FOUND}));
}

}  // namespace
}  // namespace scaleboot::platform
