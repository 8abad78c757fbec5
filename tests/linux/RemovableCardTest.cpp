// The Linux layer on a real removable card (run under tests/linux/removable-card.sh): the program lists the
// card and writes it under its own card-root rule, and a card unmounted during a run, its mount folder left
// behind on the computer's disk, ends the run with "I/O error 21." without a byte landing in that folder; in
// a batch of two cards, only the pulled card's run ends so.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "../core/FakeConsole.h"
#include "RemovableCard.h"
#include "TempDir.h"
#include "card/BootModuleWriter.h"
#include "card/DriveScan.h"
#include "main/cli/Cli.h"
#include "platform/linux/CardMounter.h"
#include "platform/linux/CardSlots.h"
#include "ui/Errors.h"
#include "ui/Gauge.h"

namespace scaleboot {
namespace {

using testing::HarnessCard;
using testing::ReadAll;
using testing::UnmountingFileSystem;

class RecordingView : public WriterView {
 public:
  GaugeModel gauge;

  void SetWriteEnabled(bool) override {}
  void SetGaugeRange(int minimum, int maximum) override {
    gauge.SetMinimum(minimum);
    gauge.SetMaximum(maximum);
  }
  void SetGaugePosition(int position) override { gauge.SetPosition(position); }
  void AddGaugeProgress(int delta) override { gauge.AddProgress(delta); }
};

class RemovableCard : public ::testing::Test {
 protected:
  HarnessCard card = HarnessCard::FromEnvironment();
  const ImageTable& images = FirmwareImages();
  RecordingView view;

  void SetUp() override {
    if (card.root.empty()) GTEST_SKIP() << "needs the card of tests/linux/removable-card.sh";
    const std::string failure = card.MountEmpty();
    ASSERT_EQ(failure, "");
  }
  std::string PathOf(int i) const { return card.root + std::string(images[i].fileName); }
  bool OnCard(int i) const {
    const auto bytes = ReadAll(PathOf(i));
    return std::equal(bytes.begin(), bytes.end(), images[i].bytes.begin(), images[i].bytes.end());
  }
  std::vector<std::string> FolderContents() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(card.root)) names.push_back(entry.path());
    return names;
  }
};

TEST_F(RemovableCard, IsListedAsARemovableDriveAndTakesTheFourFiles) {
  platform::MountDriveSource drives;
  std::int32_t lastLength = 0;
  const auto scan = RescanDrives(drives, lastLength, 0);
  ASSERT_TRUE(scan.has_value());
  EXPECT_NE(std::find(scan->drives.begin(), scan->drives.end(), card.root), scan->drives.end()) << card.root;
  EXPECT_EQ(drives.DriveType(card.root), platform::kDriveRemovable);

  platform::PosixByteFileSystem files;
  EXPECT_EQ(WriteBootModule(card.root, images, files, view), WriteOutcome::Verified);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(OnCard(i)) << PathOf(i);
}

// The card also mounted at /home (in the harness's own mount namespace): the system's disk now, never opened
// for a write nor offered to the station's mounter; a card again once /home is unmounted.
TEST_F(RemovableCard, OnceTheSystemUsesItsDiskItIsNeitherOpenedNorMounted) {
  ASSERT_EQ(::mount(card.device.c_str(), "/home", card.type.c_str(), 0, nullptr), 0) << std::strerror(errno);
  platform::PosixByteFileSystem files;
  platform::ByteFileSystem::Handle handle = 0;
  const int refused = files.Create(PathOf(0), handle);
  std::size_t offered = 0;
  for (const auto& candidate : platform::CardMounter().Candidates())
    offered += candidate.device == card.device;
  ::umount2("/home", 0);
  EXPECT_EQ(refused, 21);
  EXPECT_EQ(offered, 0u);
  ASSERT_EQ(files.Create(PathOf(0), handle), 0);
  EXPECT_EQ(files.Close(handle), 0);
}

struct Pull {
  const char* when;
  int unmountAfterClose;  // files closed when the card goes
  int gaugeAtError;       // bytes written and verified when the run stops
  int filesOnCard;        // files found on the card when it is mounted again
};

void PrintTo(const Pull& pull, std::ostream* out) {
  *out << pull.when;
}

class CardPulledDuringARun : public RemovableCard, public ::testing::WithParamInterface<Pull> {};

TEST_P(CardPulledDuringARun, EndsWithIoError21AndLeavesTheFolderBehindEmpty) {
  const Pull pull = GetParam();
  UnmountingFileSystem files(card, pull.unmountAfterClose);
  try {
    WriteBootModule(card.root, images, files, view);
    FAIL() << "the run must raise when the card goes " << pull.when;
  } catch (const IoError& error) {
    EXPECT_EQ(error.code(), 21);
    EXPECT_EQ(ErrorBoxText(error.what()), "I/O error 21.");
  }
  ASSERT_TRUE(files.unmounted);
  EXPECT_FALSE(card.Mounted());
  EXPECT_TRUE(FolderContents().empty()) << "written onto the computer's disk: " << FolderContents()[0];
  EXPECT_EQ(files.deletes, 0);
  EXPECT_EQ(view.gauge.position(), pull.gaugeAtError);

  // The files closed before the card went are on the card, whole; nothing else is.
  ASSERT_EQ(card.Mount(), "");
  for (int i = 0; i < 4; ++i) {
    if (i < pull.filesOnCard) {
      EXPECT_TRUE(OnCard(i)) << PathOf(i);
    } else {
      EXPECT_FALSE(std::filesystem::exists(PathOf(i))) << PathOf(i);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, CardPulledDuringARun,
                         ::testing::Values(Pull{"between the first and the second file", 1, 422916, 1},
                                           Pull{"after the write phase, before the read-back", 4, 877332, 4}),
                         [](const ::testing::TestParamInfo<Pull>& info) {
                           return info.param.unmountAfterClose == 1 ? "BetweenTwoFiles"
                                                                    : "AfterTheWritePhase";
                         });

TEST_F(RemovableCard, ACardPulledDuringABatchFailsAloneWhileTheOtherIsWrittenAndVerified) {
  const HarnessCard second = HarnessCard::FromEnvironment("2");
  if (second.root.empty()) GTEST_SKIP() << "needs the second card of tests/linux/removable-card.sh";
  ASSERT_EQ(second.MountEmpty(), "");
  platform::MountDriveSource drives;
  platform::PosixByteFileSystem unused;
  testing::FakeConsole console;
  cli::Environment environment{drives, unused, console, {.images = images}, kEnglish};
  // The program's own file layer for each card; the second card's is pulled once its first file is closed.
  int made = 0;
  environment.services.newFiles = [&]() -> std::unique_ptr<platform::ByteFileSystem> {
    if (made++ == 0) return std::make_unique<platform::PosixByteFileSystem>();
    return std::make_unique<UnmountingFileSystem>(second, 1);
  };
  EXPECT_EQ(cli::RunCli(std::vector<std::string>{"write", card.root, second.root}, environment),
            cli::kExitIoError);
  EXPECT_EQ(console.out, card.root + ": Module creation completed successfully\n");
  EXPECT_EQ(console.err, "scaleboot-cli: " + second.root + ": I/O error 21.\n");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(OnCard(i)) << PathOf(i);
  EXPECT_FALSE(second.Mounted());
  EXPECT_TRUE(std::filesystem::is_empty(second.root)) << "nothing written onto the computer's disk";
  ASSERT_EQ(second.Mount(), "");
  EXPECT_TRUE(std::filesystem::exists(second.root + std::string(images[0].fileName)));
  EXPECT_FALSE(std::filesystem::exists(second.root + std::string(images[1].fileName)));
}

// The cached pages of a card file hold the image while the card itself holds a changed byte: written behind
// the file system's back, straight onto the device. Checking the card must report what the card holds.
TEST_F(RemovableCard, TheCardsOwnBytesDecideWhileTheCacheHoldsOthers) {
  platform::PosixByteFileSystem files;
  ASSERT_EQ(WriteBootModule(card.root, images, files, view), WriteOutcome::Verified);
  const std::vector<std::uint8_t> cached = ReadAll(PathOf(1));  // the file's pages are in the cache now
  ASSERT_TRUE(OnCard(1));

  // Change the file's byte 1100 on the device, where the file system maps it (earlier tests' deleted copies
  // lie on the card too), bypassing every cache.
  int blockSize = 0, block = 0;
  const int file = ::open(PathOf(1).c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  ASSERT_EQ(::ioctl(file, FIGETBSZ, &blockSize), 0) << std::strerror(errno);
  block = 1100 / blockSize;
  ASSERT_EQ(::ioctl(file, FIBMAP, &block), 0) << std::strerror(errno);
  ::close(file);
  const off_t at = static_cast<off_t>(block) * blockSize + 1100 % blockSize;
  constexpr off_t kPage = 4096;
  const int device = ::open(card.device.c_str(), O_RDWR | O_DIRECT);
  ASSERT_GE(device, 0) << card.device;
  const std::unique_ptr<std::uint8_t, decltype(&std::free)> page(
      static_cast<std::uint8_t*>(std::aligned_alloc(kPage, kPage)), &std::free);
  ASSERT_EQ(::pread(device, page.get(), kPage, at / kPage * kPage), kPage);
  ASSERT_EQ(page.get()[at % kPage], images[1].bytes[1100]) << "the file's byte is not there on the device";
  page.get()[at % kPage] ^= 0x40;
  ASSERT_EQ(::pwrite(device, page.get(), kPage, at / kPage * kPage), kPage);
  ::close(device);
  ASSERT_EQ(ReadAll(PathOf(1)), cached) << "the cache still serves the image";

  const std::vector<FileFinding> findings = VerifyBootModule(card.root, images, files, view);
  ASSERT_EQ(findings.size(), 4u);
  EXPECT_EQ(findings[1], (FileFinding{FileFinding::Kind::Differs, 15750, 1, 1100}));
  EXPECT_EQ(findings[0].kind, FileFinding::Kind::Identical);
}

// The card mounted a second time, or its root bound to another folder: two names of one card, both listed as
// removable drives. The command line writes it once and names it by both.
TEST_F(RemovableCard, ACardMountedAtTwoFoldersIsWrittenOnceUnderBothNames) {
  struct SecondMount {
    const char* how;
    bool bind;
  };
  for (const SecondMount& c :
       {SecondMount{"the device mounted again", false}, SecondMount{"a bind mount", true}}) {
    SCOPED_TRACE(c.how);
    ASSERT_EQ(card.MountEmpty(), "");
    testing::TempDir folder;
    const std::string other = folder.root();
    const int mounted = c.bind ? ::mount(card.root.c_str(), other.c_str(), nullptr, MS_BIND, nullptr)
                               : ::mount(card.device.c_str(), other.c_str(), card.type.c_str(), 0, nullptr);
    ASSERT_EQ(mounted, 0) << std::strerror(errno);
    platform::MountDriveSource drives;
    platform::PosixByteFileSystem single;
    testing::FakeConsole console;
    cli::Environment environment{drives, single, console, {.images = images}, kEnglish};
    environment.services.newFiles = [] { return std::make_unique<platform::PosixByteFileSystem>(); };
    environment.services.identifyFolder = platform::IdentifyFolder;
    const int status = cli::RunCli(std::vector<std::string>{"write", card.root, other}, environment);
    ::umount2(other.c_str(), MNT_DETACH);
    EXPECT_EQ(status, cli::kExitSuccess) << console.err;
    EXPECT_EQ(console.err, "");
    EXPECT_EQ(console.out,
              card.root + " and " + other + " are the same card: Module creation completed successfully\n");
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(OnCard(i)) << PathOf(i);
  }
}

// The station window watches the reader the selected card is in: its whole disk, which names the next card.
TEST_F(RemovableCard, ItsReaderIsItsDiskAndNamesTheCardInIt) {
  platform::MountDriveSource drives;
  platform::LinuxCardSlots slots(drives);
  const std::string reader = slots.ReaderOf(card.root);
  EXPECT_EQ(reader, card.device);
  const std::vector<platform::CardSlot> polled = slots.Poll(std::vector<std::string>{reader});
  ASSERT_EQ(polled.size(), 1u);
  EXPECT_EQ(polled[0].root, card.root);
}

// A station killed in the middle of a card, started again with that card and a whole one in their readers:
// neither is written, the first is called damaged and the second this module, from the cards' own bytes.
TEST_F(RemovableCard, AStationStartedWithAHalfWrittenAndAWholeCardWritesNeitherAndSaysWhich) {
  const HarnessCard second = HarnessCard::FromEnvironment("2");
  if (second.root.empty()) GTEST_SKIP() << "needs the second card of tests/linux/removable-card.sh";
  ASSERT_EQ(second.MountEmpty(), "");
  platform::MountDriveSource drives;
  platform::PosixByteFileSystem files;
  platform::LinuxCardSlots slots(drives);
  testing::FakeConsole console;
  cli::Environment environment{drives, files, console, {.images = images}, kEnglish};
  environment.services.newFiles = [] { return std::make_unique<platform::PosixByteFileSystem>(); };
  ASSERT_EQ(cli::RunCli(std::vector<std::string>{"write", card.root, second.root}, environment), 0);
  std::filesystem::resize_file(second.root + std::string(images[0].fileName), images[0].length / 2);
  ::sync();
  environment.services.cardSlots = &slots;
  console.err.clear();
  // A stop drops the checks under way: it comes once both cards are said (ten seconds at most).
  int waits = 0;
  environment.waitOrStop = [&](int) {
    if (console.err.find(card.root + "; ") != std::string::npos &&
        console.err.find(second.root + "; ") != std::string::npos)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ++waits > 1000;
  };
  ASSERT_EQ(
      cli::RunCli(std::vector<std::string>{"station", "--no-eject", card.root, second.root}, environment), 0);
  EXPECT_NE(console.err.find(card.root + "; holds this module\n"), std::string::npos) << console.err;
  EXPECT_NE(console.err.find(second.root + "; is damaged or incomplete: take it out"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(second.root + std::string(images[0].fileName)), images[0].length / 2);
  EXPECT_EQ(console.err.find("writing"), std::string::npos) << "neither card is written";
}

}  // namespace
}  // namespace scaleboot
