// Whether standard error is the journal ($JOURNAL_STREAM against the stream's own device and inode), and the
// clock's state from adjtimex's answer or, where a sandbox denies it, timesyncd's flag.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/timex.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "TempDir.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SystemJournal.h"

namespace scaleboot::platform {
namespace {

TEST(SystemJournal, OnlyTheStreamJournalStreamNamesIsTheJournal) {
  testing::TempDir dir;
  const int stream = ::open((dir / "err").c_str(), O_CREAT | O_WRONLY, 0600);
  struct stat own {
  }, other{};
  ASSERT_EQ(::fstat(stream, &own), 0);
  ASSERT_EQ(::stat(dir.path().c_str(), &other), 0);
  const std::string device = std::to_string(own.st_dev), inode = std::to_string(own.st_ino);
  EXPECT_TRUE(IsJournalStream((device + ":" + inode).c_str(), stream));
  // Another file's (standard error redirected since), another device's, malformed ones.
  for (const std::string& value :
       {device + ":" + std::to_string(other.st_ino), std::to_string(own.st_dev + 1) + ":" + inode,
        device + ":" + inode + "x", device + ":" + inode + ":" + inode, ":" + inode, device,
        " " + device + ":" + inode, "-" + device + ":" + inode})
    EXPECT_FALSE(IsJournalStream(value.c_str(), stream)) << value;
  EXPECT_FALSE(IsJournalStream(nullptr, stream));
  EXPECT_FALSE(IsJournalStream((device + ":" + inode).c_str(), -1));  // no such stream
  ::close(stream);
}

TEST(SystemJournal, TheClockIsSynchronisedOnlyWhenTheKernelOrTimesyncdSaysSo) {
  // adjtimex's answer, the clock's status, timesyncd's flag: what is known.
  const std::tuple<int, long, bool, std::optional<bool>> cases[] = {
      {TIME_OK, 0, false, true},    {TIME_OK, STA_UNSYNC, false, false},
      {TIME_ERROR, 0, true, false}, {TIME_INS, STA_PLL, false, true},
      {-1, 0, true, true},          {-1, 0, false, std::nullopt}};
  for (const auto& [clock, status, flag, synchronised] : cases)
    EXPECT_EQ(ClockStateOf(clock, status, flag), synchronised) << clock << " " << status << flag;
}

}  // namespace
}  // namespace scaleboot::platform
