// What a file holds by its own checksum trailer, read a block at a time from an in-memory card.
#include <gtest/gtest.h>

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

// `length` - 4 bytes of a payload `fill` makes, then their sum trailer.
Bytes WithTrailer(std::size_t length, std::uint8_t (*fill)(std::size_t)) {
  Bytes bytes(length - 4);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) sum += bytes[i] = fill(i);
  for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<std::uint8_t>(sum >> (8 * k)));
  return bytes;
}
std::uint8_t Varied(std::size_t i) {
  return static_cast<std::uint8_t>(i * 37 + 11);
}

TEST(TrailerChecksum, BlocksOfAnySizeGiveTheAnswerOfTheWholeFile) {
  const FirmwareImage& image = ImageByNumber(2);
  for (const std::size_t block : {1u, 3u, 5u, 65536u}) {
    TrailerChecksum checksum;
    for (std::size_t at = 0; at < image.length; at += block)
      checksum.Add(image.bytes.subspan(at, std::min<std::size_t>(block, image.length - at)));
    EXPECT_TRUE(checksum.Matches() && !checksum.PayloadAllSame()) << "blocks of " << block;
  }
}

struct FileCase {
  const char* name;
  Bytes bytes;
  OwnChecksum expected;
  std::size_t blockReads;
  std::optional<std::uint64_t> knownSize{};
  Op failOp = Op::Delete;  // fails with 1117 (from the second block on) unless it is Delete
};

TEST(OwnChecksum, AFileIsIntactWhenItsOwnTrailerHoldsAndItsPayloadVaries) {
  const FirmwareImage& image = ImageByNumber(1);
  const Bytes ours(image.bytes.begin(), image.bytes.end());
  Bytes longest = WithTrailer(kLongestCheckedFile, Varied), huge = longest;
  huge.resize(kLongestCheckedFile * 2);
  const FileCase cases[] = {
      {"this module's image, in seven blocks and the end", ours, {0, true}, 8},
      {"all zeros, as a card that lost its data", Bytes(image.length, 0), {0, false}, 8},
      {"one value repeated, with its sum",
       WithTrailer(15750, [](std::size_t) -> std::uint8_t { return 0xFF; }),
       {0, false},
       2},
      {"nothing but a trailer", Bytes(4, 0), {0, false}, 2},
      {"the longest file checked", longest, {0, true}, 257},
      {"too long: read only past the limit", huge, {0, false}, 257},
      {"said to be too long: not opened", ours, {0, false}, 0, kLongestCheckedFile + 1},
      {"the open fails", ours, {1117, false}, 0, {}, Op::OpenForReading},
      {"the second read fails", ours, {1117, false}, 1, {}, Op::ReadBlock},
      {"the close fails", ours, {io::kCloseFailed, false}, 8, {}, Op::Close},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    files.files["/card/f.bin"] = c.bytes;
    files.fault = [&](Op op, const std::string&, std::size_t at) {
      return op == c.failOp && (op != Op::ReadBlock || at > 0) ? 1117 : 0;
    };
    EXPECT_EQ(CheckOwnChecksum("/card/f.bin", files, c.knownSize), c.expected);
    EXPECT_EQ(files.blockReads, c.blockReads);
    EXPECT_EQ(files.reads, 0u) << "no byte is read on its own";
    EXPECT_TRUE(files.open.empty()) << "the file is closed again";
  }
}

}  // namespace
}  // namespace scaleboot
