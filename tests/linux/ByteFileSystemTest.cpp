#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "TempDir.h"
#include "card/BootModuleWriter.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Errors.h"
#include "ui/Gauge.h"

namespace scaleboot {
namespace {

using platform::ByteFileSystem;
using platform::PosixByteFileSystem;
using testing::Bytes;
using testing::ReadAll;
using testing::TempDir;
using testing::TmpfsMount;
using testing::WriteAll;
using Handle = ByteFileSystem::Handle;

int WriteFile(PosixByteFileSystem& fs, const std::string& path, const std::vector<std::uint8_t>& bytes) {
  Handle h = 0;
  if (const int s = fs.Create(path, h)) return s;
  for (const std::uint8_t b : bytes) {
    if (const int s = fs.WriteByte(h, b)) {
      fs.Close(h);
      return s;
    }
  }
  return fs.Close(h);
}

TEST(PosixByteFiles, WritesAndReadsBackExactBytesOneAtATime) {
  TempDir dir;
  PosixByteFileSystem fs(platform::OpenAnyFolder);
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < 600; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7 + (i >> 8)));
  bytes.push_back(0x00);  // a trailing zero byte must still be stored

  ASSERT_EQ(WriteFile(fs, dir / "a.bin", bytes), 0);
  EXPECT_EQ(ReadAll(dir / "a.bin"), bytes);
  EXPECT_EQ(std::filesystem::file_size(dir / "a.bin"), bytes.size());

  Handle h = 0;
  ASSERT_EQ(fs.Open(dir / "a.bin", h), 0);
  std::vector<std::uint8_t> back;
  std::uint8_t b = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(fs.ReadByte(h, b), 0) << i;
    back.push_back(b);
  }
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(fs.ReadByte(h, b), ByteFileSystem::kShortTransfer) << "end of file";
  EXPECT_EQ(fs.Close(h), 0);
}

TEST(PosixByteFiles, CreateCutsALongerExistingFileAndOpenDoesNot) {
  TempDir dir;
  PosixByteFileSystem fs(platform::OpenAnyFolder);
  WriteAll(dir / "f.bin", std::string(5000, 'x'));
  ASSERT_EQ(WriteFile(fs, dir / "f.bin", Bytes("abc")), 0);
  EXPECT_EQ(ReadAll(dir / "f.bin"), Bytes("abc"));

  Handle h = 0;
  ASSERT_EQ(fs.Open(dir / "f.bin", h), 0);
  ASSERT_EQ(fs.Close(h), 0);
  EXPECT_EQ(ReadAll(dir / "f.bin"), Bytes("abc"));
  // The file was opened for writing too: a byte written through Open lands at the start.
  ASSERT_EQ(fs.Open(dir / "f.bin", h), 0);
  ASSERT_EQ(fs.WriteByte(h, 'Z'), 0);
  ASSERT_EQ(fs.Close(h), 0);
  EXPECT_EQ(ReadAll(dir / "f.bin"), Bytes("Zbc"));
}

TEST(PosixByteFiles, CardNamesThatAreNotRegularFilesAreRefusedAndNothingElseIsTouched) {
  TempDir card;
  TempDir outside;
  PosixByteFileSystem fs(platform::OpenAnyFolder);
  WriteAll(outside / "precious", "keep me");
  std::filesystem::create_symlink(outside / "precious", card / "link.bin");
  std::filesystem::create_symlink(outside / "not-yet", card / "dangling.bin");
  std::filesystem::create_directory(card / "dir.bin");
  ASSERT_EQ(::mkfifo((card / "fifo.bin").c_str(), 0644), 0);
  const bool haveDevice = ::mknod((card / "null.bin").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;

  std::vector<std::string> names = {"link.bin", "dangling.bin", "dir.bin", "fifo.bin"};
  if (haveDevice) names.push_back("null.bin");
  for (const std::string& name : names) {
    Handle h = 0;
    EXPECT_EQ(fs.Create(card / name, h), 5) << name;
    EXPECT_EQ(fs.Open(card / name, h), 5) << name;
  }
  EXPECT_EQ(ReadAll(outside / "precious"), Bytes("keep me"));
  EXPECT_FALSE(std::filesystem::exists(outside / "not-yet"));
  EXPECT_TRUE(std::filesystem::is_symlink(card / "link.bin"));
  // Deleting a card name that is a link removes the link, never its target.
  fs.Delete(card / "link.bin");
  EXPECT_FALSE(std::filesystem::is_symlink(card / "link.bin"));
  EXPECT_EQ(ReadAll(outside / "precious"), Bytes("keep me"));
}

TEST(PosixByteFiles, FailuresCarryTheWindowsCodeOfTheirCause) {
  TempDir dir;
  PosixByteFileSystem fs(platform::OpenAnyFolder);
  WriteAll(dir / "plain", "x");
  Handle h = 0;
  EXPECT_EQ(fs.Open(dir / "missing.bin", h), 2);
  EXPECT_EQ(fs.Create(dir / "no-such-folder/f.bin", h), 2);
  EXPECT_EQ(fs.Create(dir / "plain/f.bin", h), 3) << "a card root under a regular file";
  EXPECT_EQ(fs.Create(dir / std::string(300, 'n'), h), 3) << "name too long";
  EXPECT_NE(fs.Close(-1), 0) << "closing what is not open must fail";
}

TEST(PosixByteFiles, TheProgramsRuleRefusesFoldersThatAreNoRemovableDriveRootAsNotReady) {
  TempDir dir;
  WriteAll(dir / "yk936.bin", "older copy");
  PosixByteFileSystem fs;  // the rule of the program itself
  Handle h = 0;
  EXPECT_EQ(fs.Create(dir / "32yk2368.bin", h), 21);
  EXPECT_EQ(fs.Create(dir / "yk936.bin", h), 21);
  EXPECT_EQ(fs.Open(dir / "yk936.bin", h), 21);
  EXPECT_EQ(fs.Create(dir / "gone/yk936.bin", h), 21) << "a root that is gone";
  fs.Delete(dir / "yk936.bin");
  EXPECT_EQ(ReadAll(dir / "yk936.bin"), Bytes("older copy")) << "neither cut nor deleted";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "nothing created";
}

TEST(PosixByteFiles, ErrnoMapsToTheWindowsCodeOfTheSameCondition) {
  const std::vector<std::pair<int, int>> table = {
      {ENOENT, 2},   {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {EINVAL, 3},        {EMFILE, 4},
      {ENFILE, 4},   {EACCES, 5},  {EPERM, 5},        {EISDIR, 5},        {ELOOP, 5},
      {EROFS, 19},   {ENXIO, 21},  {ENODEV, 21},      {ENOMEDIUM, 21},    {ENOSPC, 112},
      {EDQUOT, 112}, {EIO, 1117},  {EBUSY, EBUSY},    {ETXTBSY, ETXTBSY}, {EFBIG, EFBIG}};
  for (const auto& [error, code] : table) EXPECT_EQ(platform::WindowsCodeForErrno(error), code) << error;
  // The messages the user finally sees for the common card conditions.
  EXPECT_EQ(IoError(platform::WindowsCodeForErrno(EROFS)).what(), std::string("I/O error 19"));
  EXPECT_EQ(IoError(platform::WindowsCodeForErrno(ENOMEDIUM)).what(), std::string("I/O error 21"));
  EXPECT_EQ(IoError(platform::WindowsCodeForErrno(ELOOP)).what(), std::string("File access denied"));
}

TEST(PosixByteFiles, ReadOnlyCardGivesWriteProtectedAndFullCardGivesDiskFull) {
  TmpfsMount card("size=64k");
  if (!card.mounted()) GTEST_SKIP() << "this process may not mount a tmpfs";
  PosixByteFileSystem fs(platform::OpenAnyFolder);
  const TempDir& dir = card.dir();

  // Fill the card: one-byte writes run into ENOSPC.
  Handle h = 0;
  ASSERT_EQ(fs.Create(dir / "big.bin", h), 0);
  int status = 0;
  for (int i = 0; i < 200000 && status == 0; ++i) status = fs.WriteByte(h, 0xAA);
  EXPECT_EQ(status, 112);
  std::size_t count = 0;
  EXPECT_EQ(fs.WriteBlock(h, std::vector<std::uint8_t>(4096), count), 112)
      << "a block write gives the same code";
  fs.Close(h);
  fs.Delete(dir / "big.bin");

  WriteAll(dir / "old.bin", "old");
  ASSERT_TRUE(card.RemountReadOnly());
  EXPECT_EQ(fs.Create(dir / "new.bin", h), 19);
  EXPECT_EQ(fs.Create(dir / "old.bin", h), 19);
  EXPECT_EQ(fs.Open(dir / "old.bin", h), 19) << "the read-back asks for write access too";
  EXPECT_EQ(ReadAll(dir / "old.bin"), Bytes("old"));
}

// Whether any page of the file is in the page cache.
bool AnyPageCached(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  ::fstat(fd, &st);
  void* map = ::mmap(nullptr, st.st_size, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return false;
  const long page = ::sysconf(_SC_PAGESIZE);
  std::vector<unsigned char> resident((st.st_size + page - 1) / page);
  ::mincore(map, st.st_size, resident.data());
  ::munmap(map, st.st_size);
  return std::any_of(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) != 0; });
}

TEST(PosixByteFiles, AWrittenFileLeavesNoCachedPagesSoTheReadBackReadsTheMedium) {
  // Needs a disk-backed folder: on tmpfs the cache is the storage.
  TempDir dir("/var/tmp");
  struct statfs fsInfo;
  ASSERT_EQ(::statfs(dir.path().c_str(), &fsInfo), 0);
  if (fsInfo.f_type == 0x01021994 /* TMPFS_MAGIC */) GTEST_SKIP() << "/var/tmp is a tmpfs here";

  const std::vector<std::uint8_t> bytes(64 * 1024, 0x5A);
  // Control: the same bytes written with ordinary writes stay cached, so the check below can see pages.
  {
    const int fd = ::open((dir / "control.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }
  ASSERT_TRUE(AnyPageCached(dir / "control.bin"));

  PosixByteFileSystem fs(platform::OpenAnyFolder);
  ASSERT_EQ(WriteFile(fs, dir / "card.bin", bytes), 0);
  EXPECT_FALSE(AnyPageCached(dir / "card.bin"));
  EXPECT_EQ(ReadAll(dir / "card.bin"), bytes);
}

// The writer's window, with the gauge following the real bar's redraw rule.
class CountingView : public WriterView {
 public:
  GaugeModel gauge;
  std::vector<bool> enabledHistory;

  void SetWriteEnabled(bool enabled) override { enabledHistory.push_back(enabled); }
  void SetGaugeRange(int minimum, int maximum) override {
    gauge.SetMinimum(minimum);
    gauge.SetMaximum(maximum);
  }
  void SetGaugePosition(int position) override { gauge.SetPosition(position); }
  void AddGaugeProgress(int delta) override { gauge.AddProgress(delta); }
};

// Real card files, with a hook that can tamper with a file just before the read-back opens it.
class TamperingFileSystem : public PosixByteFileSystem {
 public:
  TamperingFileSystem() : PosixByteFileSystem(platform::OpenAnyFolder) {}
  std::function<void(const std::string&)> beforeOpen;
  int Open(const std::string& path, Handle& handle) override {
    if (beforeOpen) beforeOpen(path);
    return PosixByteFileSystem::Open(path, handle);
  }
};

struct CardRun : ::testing::Test {
  TempDir card;
  TamperingFileSystem fs;
  CountingView view;
  const ImageTable& images = FirmwareImages();

  WriteOutcome Run() { return WriteBootModule(card.root(), images, fs, view); }
  std::string PathOf(int i) const { return card / std::string(images[i].fileName); }
  bool Matches(int i) const {
    const auto bytes = ReadAll(PathOf(i));
    return std::equal(bytes.begin(), bytes.end(), images[i].bytes.begin(), images[i].bytes.end());
  }
};

TEST_F(CardRun, WritesFourByteExactFilesAndReportsSuccess) {
  WriteAll(card / "yk936.bin", std::string(100000, '\xFF'));  // an older, longer copy is cut
  EXPECT_EQ(Run(), WriteOutcome::Verified);
  const std::uintmax_t lengths[] = {422916, 15750, 422916, 15750};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::filesystem::file_size(PathOf(i)), lengths[i]) << PathOf(i);
    EXPECT_TRUE(Matches(i)) << PathOf(i);
  }
  EXPECT_EQ(view.gauge.position(), 0);
  EXPECT_THAT(view.enabledHistory, ::testing::ElementsAre(false, true));
}

TEST_F(CardRun, AFileCutShortBeforeTheReadBackEndsTheRunWithReadBeyondEndOfFile) {
  fs.beforeOpen = [&](const std::string& path) {
    if (path == PathOf(2)) std::filesystem::resize_file(path, 1000);
  };
  try {
    Run();
    FAIL() << "the run must raise";
  } catch (const IoError& error) {
    EXPECT_EQ(error.code(), 100);
    EXPECT_EQ(ErrorBoxText(error.what()), "Read beyond end of file.");
  }
  EXPECT_THAT(view.enabledHistory, ::testing::ElementsAre(false));
  // Verified so far: both files of set A and the first 1000 bytes of the third.
  EXPECT_EQ(view.gauge.position(), 877332 + 422916 + 15750 + 1000);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::filesystem::exists(PathOf(i))) << "nothing is deleted";
}

TEST_F(CardRun, ADifferingByteOnTheCardDeletesAllFourFiles) {
  fs.beforeOpen = [&](const std::string& path) {
    if (path != PathOf(3)) return;
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(15749);
    f.put(static_cast<char>(images[3].bytes[15749] ^ 0x01));
  };
  EXPECT_EQ(Run(), WriteOutcome::Mismatch);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(std::filesystem::exists(PathOf(i))) << PathOf(i);
}

TEST_F(CardRun, ALinkPlantedAtACardNameStopsTheRunWithAccessDenied) {
  TempDir outside;
  WriteAll(outside / "system-file", "do not overwrite");
  std::filesystem::create_symlink(outside / "system-file", PathOf(1));
  try {
    Run();
    FAIL() << "the run must raise";
  } catch (const IoError& error) {
    EXPECT_EQ(ErrorBoxText(error.what()), "File access denied.");
  }
  EXPECT_TRUE(Matches(0)) << "the file before it was written";
  EXPECT_FALSE(std::filesystem::exists(PathOf(2))) << "no later file is touched";
  EXPECT_EQ(ReadAll(outside / "system-file"), Bytes("do not overwrite"));
  EXPECT_EQ(view.gauge.position(), 422916);
}

TEST(CardRunOnMount, AWriteProtectedCardGivesIoError19) {
  TmpfsMount card("size=4m");
  if (!card.mounted()) GTEST_SKIP() << "this process may not mount a tmpfs";
  ASSERT_TRUE(card.RemountReadOnly());
  PosixByteFileSystem fs(platform::OpenAnyFolder);
  CountingView view;
  try {
    WriteBootModule(card.dir().root(), FirmwareImages(), fs, view);
    FAIL() << "the run must raise";
  } catch (const IoError& error) {
    EXPECT_EQ(ErrorBoxText(error.what()), "I/O error 19.");
  }
  EXPECT_EQ(view.gauge.position(), 0);
}

}  // namespace
}  // namespace scaleboot
