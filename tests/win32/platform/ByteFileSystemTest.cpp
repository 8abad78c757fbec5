#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>

#include "TestFiles.h"
#include "card/BootModuleWriter.h"
#include "images/FirmwareImages.h"
#include "ui/Errors.h"

namespace scaleboot::platform {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::Utf8;
using testing::WriteAll;
using Handle = ByteFileSystem::Handle;

std::vector<std::uint8_t> AllByteValues() {
  std::vector<std::uint8_t> bytes(256);
  std::iota(bytes.begin(), bytes.end(), 0);
  return bytes;
}

TEST(ByteFileSystem, WritesAndReadsBackExactBytesOneAtATime) {
  TempDir dir;
  const std::string path = Utf8(dir / "32yk936.bin");
  const std::vector<std::uint8_t> bytes = AllByteValues();
  Win32ByteFileSystem files;

  Handle handle = 0;
  ASSERT_EQ(files.Create(path, handle), 0);
  for (std::uint8_t b : bytes) ASSERT_EQ(files.WriteByte(handle, b), 0);
  ASSERT_EQ(files.Close(handle), 0);
  EXPECT_EQ(ReadAll(dir / "32yk936.bin"), bytes);

  ASSERT_EQ(files.Open(path, handle), 0);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::uint8_t b = 0;
    ASSERT_EQ(files.ReadByte(handle, b), 0) << i;
    ASSERT_EQ(b, bytes[i]) << i;
  }
  std::uint8_t beyond = 0x5A;
  EXPECT_EQ(files.ReadByte(handle, beyond), ByteFileSystem::kShortTransfer);
  EXPECT_EQ(files.ReadByte(handle, beyond), ByteFileSystem::kShortTransfer);
  EXPECT_EQ(files.Close(handle), 0);
}

TEST(ByteFileSystem, CreateCutsALongerFileAndSharesItWithOtherReadersAndWriters) {
  TempDir dir;
  WriteAll(dir / "yk2368.bin", std::vector<std::uint8_t>(5000, 0xAA));
  const std::string path = Utf8(dir / "yk2368.bin");
  Win32ByteFileSystem files;

  Handle writer = 0;
  ASSERT_EQ(files.Create(path, writer), 0);
  EXPECT_EQ(ReadAll(dir / "yk2368.bin").size(), 0u) << "truncated on creation";
  for (std::uint8_t b : {1, 2, 3}) ASSERT_EQ(files.WriteByte(writer, b), 0);
  // Reading and writing are shared: a second open of the same file succeeds meanwhile.
  Handle reader = 0;
  ASSERT_EQ(files.Open(path, reader), 0);
  EXPECT_EQ(files.Close(reader), 0);
  ASSERT_EQ(files.Close(writer), 0);
  EXPECT_EQ(ReadAll(dir / "yk2368.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(ByteFileSystem, FailuresCarryTheSystemsErrorCode) {
  TempDir dir;
  Win32ByteFileSystem files;
  Handle handle = 0;

  EXPECT_EQ(files.Open(Utf8(dir / "missing.bin"), handle), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(files.Create(Utf8(dir / "no-such-folder" / "32yk936.bin"), handle), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(files.Open(Utf8(dir / "no-such-folder" / "32yk936.bin"), handle), ERROR_PATH_NOT_FOUND);

  // A folder at a card file name is refused, and left as it is.
  std::filesystem::create_directory(dir / "yk936.bin");
  EXPECT_EQ(files.Create(Utf8(dir / "yk936.bin"), handle), ERROR_ACCESS_DENIED);
  EXPECT_EQ(files.Open(Utf8(dir / "yk936.bin"), handle), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "yk936.bin"));

  // A file another program holds open without sharing it.
  WriteAll(dir / "yk2368.bin", {7, 7});
  const HANDLE other = ::CreateFileW((dir / "yk2368.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.Create(Utf8(dir / "yk2368.bin"), handle), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(files.Open(Utf8(dir / "yk2368.bin"), handle), ERROR_SHARING_VIOLATION);
  ::CloseHandle(other);
  EXPECT_EQ(ReadAll(dir / "yk2368.bin"), (std::vector<std::uint8_t>{7, 7}));
}

TEST(ByteFileSystem, AFailingCloseIsReported) {
  TempDir dir;
  Win32ByteFileSystem files;
  Handle handle = 0;
  ASSERT_EQ(files.Create(Utf8(dir / "a.bin"), handle), 0);
  ASSERT_EQ(files.WriteByte(handle, 1), 0);
  ASSERT_EQ(files.Close(handle), 0);
  // The handle is gone now: closing it again fails, however it had been used.
  EXPECT_NE(files.Close(handle), 0);
  ASSERT_EQ(files.Open(Utf8(dir / "a.bin"), handle), 0);
  ASSERT_EQ(files.Close(handle), 0);
  EXPECT_NE(files.Close(handle), 0);
}

TEST(ByteFileSystem, DeleteRemovesTheFileAndIgnoresAMissingOne) {
  TempDir dir;
  WriteAll(dir / "yk936.bin", {1});
  Win32ByteFileSystem files;
  files.Delete(Utf8(dir / "yk936.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir / "yk936.bin"));
  files.Delete(Utf8(dir / "yk936.bin"));
  files.Delete(Utf8(dir / "no-such-folder" / "yk936.bin"));
}

TEST(ByteFileSystem, ASymbolicLinkAtACardFileNameIsNotFollowed) {
  TempDir dir;
  WriteAll(dir / "elsewhere.bin", {9, 9, 9});
  std::error_code error;
  std::filesystem::create_symlink(dir / "elsewhere.bin", dir / "32yk2368.bin", error);
  if (error) GTEST_SKIP() << "this system cannot make symbolic links here: " << error.message();
  const DWORD attributes = ::GetFileAttributesW((dir / "32yk2368.bin").c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "this system does not show symbolic links as reparse points";
  }

  Win32ByteFileSystem files;
  Handle handle = 0;
  EXPECT_EQ(files.Create(Utf8(dir / "32yk2368.bin"), handle), ERROR_ACCESS_DENIED);
  EXPECT_EQ(files.Open(Utf8(dir / "32yk2368.bin"), handle), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadAll(dir / "elsewhere.bin"), (std::vector<std::uint8_t>{9, 9, 9}));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "32yk2368.bin"));
}

// What the writer shows, kept for the checks.
class RecordingView : public WriterView {
 public:
  bool writeEnabled = true;
  int minimum = -1, maximum = -1, position = -1, progressCalls = 0;

  void SetWriteEnabled(bool enabled) override { writeEnabled = enabled; }
  void SetGaugeRange(int min, int max) override {
    minimum = min;
    maximum = max;
  }
  void SetGaugePosition(int value) override { position = value; }
  void AddGaugeProgress(int delta) override {
    position += delta;
    ++progressCalls;
  }
};

// One complete run into `root`, then the four files compared with the images.
void ExpectCompleteRun(const std::string& root, const std::filesystem::path& folder) {
  Win32ByteFileSystem files;
  RecordingView view;
  EXPECT_EQ(WriteBootModule(root, FirmwareImages(), files, view), WriteOutcome::Verified);
  EXPECT_TRUE(view.writeEnabled);
  EXPECT_EQ(view.maximum, 1754664);
  EXPECT_EQ(view.progressCalls, 1754664);
  EXPECT_EQ(view.position, 0);
  for (const FirmwareImage& image : FirmwareImages()) {
    const std::vector<std::uint8_t> onCard = ReadAll(folder / platform::Widen(image.fileName));
    ASSERT_EQ(onCard.size(), image.length) << image.fileName;
    EXPECT_TRUE(std::equal(onCard.begin(), onCard.end(), image.bytes.begin())) << image.fileName;
  }
}

TEST(ByteFileSystem, WriteBootModuleStoresTheFourImagesByteForByte) {
  TempDir dir;
  // A longer file of the same name is cut to the image's length.
  WriteAll(dir / "32yk936.bin", std::vector<std::uint8_t>(100000, 0xEE));
  ExpectCompleteRun(dir.root(), dir.path());
}

TEST(ByteFileSystem, WriteBootModuleOnTheRemovableDrive) {
  const char* root = std::getenv("SCALEBOOT_TEST_REMOVABLE_ROOT");
  if (root == nullptr) GTEST_SKIP() << "run by run-platform-tests.sh, which maps a removable drive";
  // The files are left on the drive: the script compares them with the firmware folder afterwards.
  ExpectCompleteRun(root, std::filesystem::path(platform::Widen(root)));
}

TEST(ByteFileSystem, WriteBootModuleReportsTheSystemsCodeAsAnIoError) {
  TempDir dir;
  Win32ByteFileSystem files;
  RecordingView view;
  try {
    WriteBootModule(Utf8(dir / "no-such-folder") + "\\", FirmwareImages(), files, view);
    FAIL() << "no error raised";
  } catch (const IoError& e) {
    EXPECT_EQ(e.code(), ERROR_PATH_NOT_FOUND);
    EXPECT_STREQ(e.what(), "Invalid filename");
  }
  EXPECT_FALSE(view.writeEnabled);

  // A folder stands at the second file's name: the first file is written, the run stops at the second.
  std::filesystem::create_directory(dir / "32yk936.bin");
  try {
    WriteBootModule(dir.root(), FirmwareImages(), files, view);
    FAIL() << "no error raised";
  } catch (const IoError& e) {
    EXPECT_EQ(e.code(), ERROR_ACCESS_DENIED);
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_EQ(std::filesystem::file_size(dir / "32yk2368.bin"), 422916u);
  EXPECT_EQ(view.position, 422916);
  EXPECT_FALSE(std::filesystem::exists(dir / "yk2368.bin"));
}

}  // namespace
}  // namespace scaleboot::platform
