// The volumes of the disk Windows runs from, on canned machines: the Windows folder's volume and a drive's,
// each with what could be read of its root, GUID name and disks.
#include <gtest/gtest.h>

#include "platform/win32/SystemVolume.h"

namespace scaleboot::platform {
namespace {

TEST(SystemVolume, EveryVolumeOfTheWindowsDiskIsTheSystemsAndASubstLetterIsFollowed) {
  const VolumePlace windows{L"C:\\", L"\\\\?\\Volume{c}\\", {0}},
      windowsUnread{L"C:\\", L"\\\\?\\Volume{c}\\"};
  const struct {
    const char* about;
    VolumePlace windows, drive;
    bool system;
  } cases[] = {
      {"the Windows volume itself", windows, {L"C:\\", L"\\\\?\\Volume{c}\\", {0}}, true},
      {"another volume of the Windows To Go disk", windows, {L"E:\\", L"\\\\?\\Volume{e}\\", {0}}, true},
      {"a card on a disk of its own", windows, {L"E:\\", L"\\\\?\\Volume{e}\\", {2}}, false},
      {"a spanned volume reaching the Windows disk", windows, {L"F:\\", L"\\\\?\\Volume{f}\\", {3, 0}}, true},
      {"the Windows disk unread: a second volume is a card",
       windowsUnread,
       {L"E:\\", L"\\\\?\\Volume{e}\\", {0}},
       false},
      {"the Windows disk unread: its own volume is not",
       windowsUnread,
       {L"C:\\", L"\\\\?\\VOLUME{C}\\", {0}},
       true},
      {"the drive's disk unread: compared by volume", windows, {L"E:\\", L"\\\\?\\Volume{e}\\"}, false},
      {"no GUID names: compared by root", {L"C:\\"}, {L"c:\\"}, true},
      {"nothing read of the drive", windows, {}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(OnWindowsDisk(c.windows, c.drive), c.system) << c.about;

  const std::pair<const wchar_t*, const wchar_t*> devices[] = {
      {L"\\??\\C:\\cards", L"C:\\cards\\"},    {L"\\??\\E:\\", L"E:\\"},
      {L"\\Device\\HarddiskVolume3", L""},     {L"\\??\\UNC\\server\\share", L""},
      {L"\\Device\\LanmanRedirector\\x", L""}, {L"", L""}};
  for (const auto& [device, folder] : devices) EXPECT_EQ(SubstFolder(device), folder);
}

}  // namespace
}  // namespace scaleboot::platform
