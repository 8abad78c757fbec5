// What a file that differs from its image holds by its own checksum, read a block at a time from an in-memory
// card, and the verdict on a folder of four files.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "FakeFileSystem.h"
#include "card/OwnChecksum.h"
#include "common/Errors.h"
#include "images/FirmwareImages.h"

namespace scaleboot {
namespace {

using testing::FakeFileSystem;
using Op = FakeFileSystem::Op;
using Bytes = std::vector<std::uint8_t>;

// `payload` with its correct little-endian sum trailer appended.
Bytes WithTrailer(Bytes payload) {
  std::uint64_t sum = 0;
  for (const std::uint8_t b : payload) sum += b;
  for (int k = 0; k < 4; ++k) payload.push_back(static_cast<std::uint8_t>(sum >> (8 * k)));
  return payload;
}

// A payload of another firmware version: every byte differs from the real one's and the pattern varies.
Bytes OtherPayload(std::size_t length) {
  Bytes payload(length);
  for (std::size_t i = 0; i < length; ++i) payload[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return payload;
}

TEST(TrailerChecksum, AnyCutIntoBlocksGivesTheAnswerOfTheWholeFile) {
  const FirmwareImage& image = ImageByNumber(2);
  Bytes damaged(image.bytes.begin(), image.bytes.end());
  damaged[15000] ^= 0x10;
  Bytes lastPayloadByteDiffers(15750, 0);
  lastPayloadByteDiffers[15745] = 9;
  lastPayloadByteDiffers[15746] = 9;
  struct Case {
    Bytes file;
    bool matches, allSame;
  };
  const Case cases[] = {{Bytes(image.bytes.begin(), image.bytes.end()), true, false},
                        {damaged, false, false},
                        {Bytes(15750, 0), true, true},
                        {lastPayloadByteDiffers, true, false}};
  for (const Case& c : cases) {
    for (const std::size_t block : {1u, 3u, 4u, 5u, 4096u, 65536u}) {
      TrailerChecksum checksum;
      for (std::size_t at = 0; at < c.file.size(); at += block)
        checksum.Add(std::span(c.file).subspan(at, std::min(block, c.file.size() - at)));
      EXPECT_EQ(checksum.Matches(), c.matches) << "blocks of " << block;
      EXPECT_EQ(checksum.PayloadAllSame(), c.allSame) << "blocks of " << block;
    }
    EXPECT_EQ(ChecksumMatches(c.file), c.matches);
  }
}

struct FileCase {
  const char* name;
  Bytes bytes;
  OwnChecksum expected;
  std::optional<std::size_t> blockReads{};  // checked where given
  std::optional<std::uint64_t> knownSize{};
  Op failOp = Op::Delete;  // fails with status 1117 when it is not Delete
};

TEST(OwnChecksum, AFileIsIntactWhenItsOwnTrailerHoldsAndItsPayloadVaries) {
  const FirmwareImage& image = ImageByNumber(1);
  const Bytes ours(image.bytes.begin(), image.bytes.end());
  Bytes changed = ours;
  changed[1000] ^= 0x01;
  const Bytes longest = WithTrailer(OtherPayload(kLongestCheckedFile - 4));
  Bytes tooLong = longest;
  tooLong.resize(tooLong.size() + 1024 * 1024);
  const FileCase cases[] = {
      {"this module's image, in seven blocks and the end", ours, {0, true}, 8},
      {"another version of another length", WithTrailer(OtherPayload(30000)), {0, true}},
      {"a byte changed", changed, {0, false}},
      {"cut short", Bytes(ours.begin(), ours.begin() + 5000), {0, false}},
      {"all zeros, as a card that lost its data", Bytes(image.length, 0), {0, false}},
      {"one value repeated, with its sum", WithTrailer(Bytes(422912, 0xFF)), {0, false}},
      {"nothing but a trailer", Bytes(4, 0), {0, false}},
      {"fewer bytes than a trailer", Bytes{0, 0, 0}, {0, false}},
      {"empty", Bytes{}, {0, false}},
      {"the longest file checked", longest, {0, true}, 257},
      {"too long, read only past the limit", tooLong, {0, false}, 257},
      {"said to be too long, not opened", ours, {0, false}, 0, kLongestCheckedFile + 1},
      {"the open fails", ours, {1117, false}, 0, {}, Op::OpenForReading},
      {"the second read fails", ours, {1117, false}, 1, {}, Op::ReadBlock},
      {"the close fails", ours, {io::kCloseFailed, false}, 8, {}, Op::Close},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    files.files["/card/f.bin"] = c.bytes;
    files.fault = [&](Op op, const std::string&, std::size_t at) {
      return op == c.failOp && (op != Op::ReadBlock || at >= kChecksumBlockSize) ? 1117 : 0;
    };
    EXPECT_EQ(CheckOwnChecksum("/card/f.bin", files, c.knownSize), c.expected);
    EXPECT_EQ(files.reads, 0u) << "no byte is read on its own";
    EXPECT_TRUE(files.open.empty()) << "the file is closed again";
    if (c.blockReads) {
      EXPECT_EQ(files.blockReads, *c.blockReads);
    }
    if (c.knownSize) {
      EXPECT_TRUE(files.calls.empty()) << "a file said to be too long is not even opened";
    }
  }
}

TEST(OwnChecksum, AFolderIsThisModuleAnotherVersionOrDamaged) {
  using Kind = FileFinding::Kind;
  const FileFinding same{Kind::Identical}, differs{Kind::Differs}, missing{Kind::Missing};
  const std::optional<OwnChecksum> intact = OwnChecksum{0, true}, damaged = OwnChecksum{0, false},
                                   unread = OwnChecksum{1117, false}, none;
  struct Case {
    std::vector<FileFinding> findings;
    std::vector<std::optional<OwnChecksum>> checksums;
    CardVerdict expected;
  };
  const Case cases[] = {
      {{same, same, same, same}, {intact, intact, intact, intact}, CardVerdict::ThisModule},
      {{same, differs, same, differs}, {intact, intact, intact, intact}, CardVerdict::OtherVersion},
      {{differs, differs, differs, differs}, {intact, intact, intact, damaged}, CardVerdict::Damaged},
      {{same, same, differs, same}, {intact, intact, unread, intact}, CardVerdict::Damaged},
      {{differs, same, missing, same}, {intact, intact, none, intact}, CardVerdict::Damaged},
  };
  for (const Case& c : cases) EXPECT_EQ(JudgeCard(c.findings, c.checksums), c.expected);
}

TEST(OwnChecksum, OnlyAFileThatDiffersIsRead) {
  using Kind = FileFinding::Kind;
  FakeFileSystem files;
  files.files["/card/f.bin"] = Bytes(100, 0);
  for (const Kind kind : {Kind::Identical, Kind::Missing, Kind::Unreadable})
    EXPECT_EQ(CheckFileChecksum("/card/f.bin", FileFinding{kind}, files).has_value(),
              kind == Kind::Identical);
  EXPECT_TRUE(files.calls.empty());
  for (const Kind kind : {Kind::Differs, Kind::Shorter, Kind::Longer})
    EXPECT_EQ(CheckFileChecksum("/card/f.bin", FileFinding{kind}, files), OwnChecksum{});
  EXPECT_EQ(files.blockReads, 6u);
}

}  // namespace
}  // namespace scaleboot
