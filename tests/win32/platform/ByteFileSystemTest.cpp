#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "card/BootModuleWriter.h"
#include "card/OwnChecksum.h"
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
  Win32ByteFileSystem files(Win32FileCalls::System(), AnyDrive);

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
  Win32ByteFileSystem files(Win32FileCalls::System(), AnyDrive);

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
  Win32ByteFileSystem files(Win32FileCalls::System(), AnyDrive);
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
  Win32ByteFileSystem files(Win32FileCalls::System(), AnyDrive);
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
  Win32ByteFileSystem files(Win32FileCalls::System(), AnyDrive);
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

  Win32ByteFileSystem files(Win32FileCalls::System(), AnyDrive);
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
void ExpectCompleteRun(const std::string& root, const std::filesystem::path& folder,
                       const Win32ByteFileSystem::DriveCheck& check = AnyDrive) {
  Win32ByteFileSystem files(Win32FileCalls::System(), check);
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

// ---- The system calls, recorded ----

// The real calls, each one also written down as one line of a trace: "CreateFileW 32yk936.bin uncached",
// "ReadFile 32yk936.bin x15751". A run of one-byte reads or writes of a handle is one line with its count;
// a read or write of any other size shows that size.
class RecordingCalls : public Win32FileCalls {
 public:
  std::vector<std::string> trace;
  // Makes the no-buffering open of the file of this name fail with this code.
  std::string failUncachedOpenOf;
  DWORD failCode = 0;
  // A card behind a cache: reads without buffering come from "the device", whose byte `deviceByte` of the
  // file `deviceDiffersIn` differs from the cached one; they fail with 87 unless buffer, offset and size are
  // whole sectors, as on Windows (Wine does not check). Their reads of `failDeviceReadOf`, and the
  // GetFileInformationByHandle of `failInformationOf`, fail with failCode.
  std::string deviceDiffersIn, failDeviceReadOf, failInformationOf;
  std::size_t deviceByte = 0;
  int refusedReads = 0;

  HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override {
    const std::string name = NameOf(path);
    const std::string line = "CreateFileW " + name + " " + Mode(access, share, disposition, flags);
    if (name == failUncachedOpenOf && (flags & FILE_FLAG_NO_BUFFERING) != 0) {
      Add(line + " failed");
      ::SetLastError(failCode);
      return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = Win32FileCalls::CreateFileW(path, access, share, disposition, flags);
    Add(file == INVALID_HANDLE_VALUE ? line + " failed" : line);
    if (file != INVALID_HANDLE_VALUE) names_[file] = name;
    if (file != INVALID_HANDLE_VALUE && (flags & FILE_FLAG_NO_BUFFERING) != 0) uncached_[file] = 0;
    return file;
  }
  BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* transferred) override {
    AddTransfer("ReadFile", file, size);
    const auto device = uncached_.find(file);
    if (device == uncached_.end()) return Win32FileCalls::ReadFile(file, buffer, size, transferred);
    std::size_t& offset = device->second;
    const bool fails = names_[file] == failDeviceReadOf;
    if ((reinterpret_cast<std::uintptr_t>(buffer) | offset | size) % 4096 != 0 || fails) {
      refusedReads += !fails;
      ::SetLastError(fails ? failCode : ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!Win32FileCalls::ReadFile(file, buffer, size, transferred)) return FALSE;
    if (names_[file] == deviceDiffersIn && deviceByte - offset < *transferred) {
      static_cast<std::uint8_t*>(buffer)[deviceByte - offset] ^= 0x20;
    }
    offset += *transferred;
    return TRUE;
  }
  BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) override {
    if (names_[file] != failInformationOf) return Win32FileCalls::GetFileInformationByHandle(file, info);
    ::SetLastError(failCode);
    return FALSE;
  }
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* transferred) override {
    AddTransfer("WriteFile", file, size);
    return Win32FileCalls::WriteFile(file, buffer, size, transferred);
  }
  BOOL FlushFileBuffers(HANDLE file) override {
    Add("FlushFileBuffers " + names_[file]);
    return Win32FileCalls::FlushFileBuffers(file);
  }
  BOOL CloseHandle(HANDLE handle) override {
    Add("CloseHandle " + names_[handle]);
    names_.erase(handle);  // the value may come back for another file
    uncached_.erase(handle);
    return Win32FileCalls::CloseHandle(handle);
  }

 private:
  static std::string NameOf(const wchar_t* path) {
    const std::wstring whole(path);
    return Narrow(whole.substr(whole.find_last_of(L"\\/") + 1));
  }
  // create: create or truncate for reading and writing; open: open for reading and writing; read: open for
  // reading only; each with normal attributes, opening a reparse point itself. uncached: the no-buffering
  // open that purges the cache, with the same flags and no buffering. Anything else shows its numbers.
  static std::string Mode(DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD kCardFile = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    if (flags == (kCardFile | FILE_FLAG_NO_BUFFERING) && access == GENERIC_READ &&
        share == (kShared | FILE_SHARE_DELETE) && disposition == OPEN_EXISTING) {
      return "uncached";
    }
    if (flags == kCardFile && share == kShared) {
      if (access == kReadWrite && disposition == CREATE_ALWAYS) return "create";
      if (access == kReadWrite && disposition == OPEN_EXISTING) return "open";
      if (access == GENERIC_READ && disposition == OPEN_EXISTING) return "read";
    }
    return "access=" + std::to_string(access) + " share=" + std::to_string(share) +
           " disposition=" + std::to_string(disposition) + " flags=" + std::to_string(flags);
  }
  void Add(const std::string& line) {
    trace.push_back(line);
    runLength_ = 0;
  }
  void AddTransfer(const std::string& call, HANDLE file, DWORD size) {
    const std::string head = call + " " + names_[file] + (size == 1 ? "" : " size=" + std::to_string(size));
    if (runLength_ > 0 && trace.back().rfind(head + " x", 0) == 0) {
      trace.back() = head + " x" + std::to_string(++runLength_);
      return;
    }
    Add(head + " x1");
    runLength_ = 1;
  }

  std::map<HANDLE, std::string> names_;
  std::map<HANDLE, std::size_t> uncached_;  // handles opened without buffering, and their file offsets
  std::size_t runLength_ = 0;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += "  " + line + "\n";
  return out;
}

// The reads of 64 KiB that read a whole image's file past the cache, the last one short.
std::string PastCacheReads(const FirmwareImage& image) {
  return "ReadFile " + std::string(image.fileName) + " size=65536 x" +
         std::to_string((image.length + 65535) / 65536);
}

// The calls of a complete run: each file written and flushed, then each file opened once without buffering
// and closed at once before it is opened and read back, one byte per call, and then read once more without
// buffering.
TEST(ByteFileSystem, EachFileIsOpenedUnbufferedBetweenItsWriteAndItsReadBack) {
  TempDir dir;
  RecordingCalls calls;
  Win32ByteFileSystem files(calls, AnyDrive);
  RecordingView view;
  ASSERT_EQ(WriteBootModule(dir.root(), FirmwareImages(), files, view), WriteOutcome::Verified);

  std::vector<std::string> expected;
  for (const FirmwareImage& image : FirmwareImages()) {
    const std::string name(image.fileName), bytes = std::to_string(image.length);
    expected.insert(expected.end(), {"CreateFileW " + name + " create", "WriteFile " + name + " x" + bytes,
                                     "FlushFileBuffers " + name, "CloseHandle " + name});
  }
  for (const FirmwareImage& image : FirmwareImages()) {
    const std::string name(image.fileName), bytes = std::to_string(image.length);
    expected.insert(expected.end(), {"CreateFileW " + name + " uncached", "CloseHandle " + name,
                                     "CreateFileW " + name + " open", "ReadFile " + name + " x" + bytes,
                                     "CloseHandle " + name});
    expected.insert(expected.end(),
                    {"CreateFileW " + name + " uncached", PastCacheReads(image), "CloseHandle " + name});
  }
  EXPECT_EQ(calls.trace, expected) << "calls made:\n"
                                   << Joined(calls.trace) << "expected:\n"
                                   << Joined(expected);
}

// The command line's run makes the same calls with a block per WriteFile and ReadFile: a few dozen writes.
TEST(ByteFileSystem, ARunInBlocksWritesTheModuleInAFewDozenCalls) {
  TempDir dir;
  RecordingCalls calls;
  Win32ByteFileSystem files(calls, AnyDrive);
  RecordingView view;
  ASSERT_EQ(WriteBootModule(dir.root(), FirmwareImages(), files, view, 16 * 1024).outcome,
            WriteOutcome::Verified);
  std::size_t writeCalls = 0;
  for (const std::string& line : calls.trace)
    if (line.starts_with("WriteFile ")) writeCalls += std::stoul(line.substr(line.rfind(" x") + 2));
  EXPECT_LE(writeCalls, 60u) << Joined(calls.trace);
}

// Checking a folder does the same before it reads each file; the read past the image's end looks for more.
TEST(ByteFileSystem, VerifyOpensEachFileUnbufferedBeforeReadingIt) {
  TempDir dir;
  for (const FirmwareImage& image : FirmwareImages()) {
    WriteAll(dir / std::string(image.fileName), {image.bytes.begin(), image.bytes.end()});
  }
  RecordingCalls calls;
  Win32ByteFileSystem files(calls, AnyDrive);
  RecordingView view;
  EXPECT_TRUE(HoldsModule(VerifyBootModule(dir.root(), FirmwareImages(), files, view)));

  std::vector<std::string> expected;
  for (const FirmwareImage& image : FirmwareImages()) {
    const std::string name(image.fileName);
    expected.insert(
        expected.end(),
        {"CreateFileW " + name + " uncached", "CloseHandle " + name, "CreateFileW " + name + " read",
         "ReadFile " + name + " x" + std::to_string(image.length + 1), "CloseHandle " + name});
    expected.insert(expected.end(),
                    {"CreateFileW " + name + " uncached", PastCacheReads(image), "CloseHandle " + name});
  }
  EXPECT_EQ(calls.trace, expected) << "calls made:\n"
                                   << Joined(calls.trace) << "expected:\n"
                                   << Joined(expected);
}

// A file's own checksum is read a block per call, after the same unbuffered open.
TEST(ByteFileSystem, AFilesOwnChecksumIsReadInBlocks) {
  TempDir dir;
  const FirmwareImage& image = FirmwareImages()[2];
  const std::string name(image.fileName);
  WriteAll(dir / name, {image.bytes.begin(), image.bytes.end()});
  RecordingCalls calls;
  Win32ByteFileSystem files(calls, AnyDrive);
  EXPECT_EQ(CheckOwnChecksum(Utf8(dir / name), files), (OwnChecksum{0, true}));
  const std::vector<std::string> expected{"CreateFileW " + name + " uncached", "CloseHandle " + name,
                                          "CreateFileW " + name + " read",
                                          "ReadFile " + name + " size=65536 x8", "CloseHandle " + name};
  EXPECT_EQ(calls.trace, expected) << Joined(calls.trace);
}

// A card that cannot be opened without buffering is not usable: the run stops with the system's code before
// that file is read back, and nothing is deleted; checking a folder reports that file as unreadable.
TEST(ByteFileSystem, AFailingUnbufferedOpenEndsTheRunWithItsCode) {
  TempDir dir;
  RecordingCalls calls;
  calls.failUncachedOpenOf = std::string(FirmwareImages()[1].fileName);
  calls.failCode = ERROR_NOT_READY;
  Win32ByteFileSystem files(calls, AnyDrive);
  RecordingView view;
  try {
    WriteBootModule(dir.root(), FirmwareImages(), files, view);
    FAIL() << "no error raised";
  } catch (const IoError& e) {
    EXPECT_EQ(e.code(), ERROR_NOT_READY);
    EXPECT_STREQ(e.what(), "I/O error 21");
  }
  EXPECT_FALSE(view.writeEnabled);
  EXPECT_EQ(view.position, 1754664 / 2 + 422916) << "all written, the first file read back";
  EXPECT_EQ(calls.trace.back(), "CreateFileW " + calls.failUncachedOpenOf + " uncached failed");
  for (const FirmwareImage& image : FirmwareImages()) {
    EXPECT_EQ(ReadAll(dir / std::string(image.fileName)).size(), image.length) << image.fileName;
  }

  const std::vector<FileFinding> findings = VerifyBootModule(dir.root(), FirmwareImages(), files, view);
  ASSERT_EQ(findings.size(), 4u);
  EXPECT_EQ(findings[1].kind, FileFinding::Kind::Unreadable);
  EXPECT_EQ(findings[1].errorCode, ERROR_NOT_READY);
  for (const std::size_t i : {0u, 2u, 3u}) EXPECT_EQ(findings[i].kind, FileFinding::Kind::Identical) << i;
}

struct CacheCase {
  const char* name;
  std::function<void(RecordingCalls&)> arrange;
  int outcome;  // -1 verified, -2 mismatch (the four files deleted), else the I/O code raised
};

TEST(ByteFileSystem, TheBytesReadWithoutBufferingDecideTheRun) {
  const CacheCase cases[] = {
      {"the device agrees", [](RecordingCalls&) {}, -1},
      {"the device holds another byte in the middle of a file",
       [](RecordingCalls& c) { c.deviceDiffersIn = "yk2368.bin", c.deviceByte = 200000; }, -2},
      {"the device holds another last byte",
       [](RecordingCalls& c) { c.deviceDiffersIn = "yk936.bin", c.deviceByte = 15749; }, -2},
      {"a read without buffering fails",
       [](RecordingCalls& c) { c.failDeviceReadOf = "32yk936.bin", c.failCode = ERROR_CRC; }, ERROR_CRC},
      {"the attributes of a card file cannot be read",
       [](RecordingCalls& c) { c.failInformationOf = "32yk936.bin", c.failCode = ERROR_NOT_READY; },
       ERROR_NOT_READY},
  };
  for (const CacheCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    RecordingCalls calls;
    c.arrange(calls);
    Win32ByteFileSystem files(calls, AnyDrive);
    RecordingView view;
    int outcome = -1;
    try {
      outcome =
          WriteBootModule(dir.root(), FirmwareImages(), files, view) == WriteOutcome::Verified ? -1 : -2;
    } catch (const IoError& e) {
      outcome = e.code();
    }
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(calls.refusedReads, 0)
        << "every read without buffering is of whole sectors into aligned memory";
    if (outcome == c.outcome && outcome == -2) {
      for (const FirmwareImage& image : FirmwareImages())
        EXPECT_FALSE(std::filesystem::exists(dir / std::string(image.fileName))) << image.fileName;
    }
  }
}

// At the end of a file a read without buffering returns fewer bytes than asked, or none after a whole last
// chunk; the read stops there, or at the limit.
TEST(ByteFileSystem, AReadWithoutBufferingStopsAtTheEndOfTheFileOrTheLimit) {
  TempDir dir;
  RecordingCalls calls;
  Win32ByteFileSystem files(calls, AnyDrive);
  const struct {
    std::size_t size, limit, expected;
  } ends[] = {{65536, 200000, 65536}, {70000, 200000, 70000}, {70000, 1000, 1000}, {0, 10, 0}};
  for (const auto& end : ends) {
    std::vector<std::uint8_t> bytes(end.size);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13);
    WriteAll(dir / "a.bin", bytes);
    std::vector<std::uint8_t> contents;
    EXPECT_EQ(files.ReadPastCache(Utf8(dir / "a.bin"), end.limit, contents), 0) << end.size;
    EXPECT_EQ(contents, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + end.expected)) << end.size;
  }
  EXPECT_EQ(calls.refusedReads, 0);
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
  // The files are left on the drive: the script compares them with the firmware folder afterwards. The
  // program's own check of the drive, asked at each open, lets them through.
  ExpectCompleteRun(root, std::filesystem::path(platform::Widen(root)), RemovableCardDrive);
  // A folder of the fixed drive C: is refused at the open, as a drive that is not ready, and left empty.
  TempDir dir;
  Win32ByteFileSystem files;
  Handle handle = 0;
  EXPECT_EQ(files.Create(Utf8(dir / "32yk936.bin"), handle), ERROR_NOT_READY);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(ByteFileSystem, WriteBootModuleReportsTheSystemsCodeAsAnIoError) {
  TempDir dir;
  Win32ByteFileSystem files(Win32FileCalls::System(), AnyDrive);
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
