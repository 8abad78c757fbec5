#include <gtest/gtest.h>

#include <vector>

#include "images/FirmwareImages.h"
#include "main/Startup.h"
#include "ui/Errors.h"

namespace scaleboot {
namespace {

// An image of `payload` bytes produced by `fill`, with a correct little-endian sum trailer.
std::vector<std::uint8_t> SoundImage(std::size_t payload, std::uint8_t (*fill)(std::size_t)) {
  std::vector<std::uint8_t> bytes(payload + 4);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < payload; ++i) sum += bytes[i] = fill(i);
  for (int k = 0; k < 4; ++k) bytes[payload + k] = static_cast<std::uint8_t>(sum >> (8 * k));
  return bytes;
}

std::uint8_t Mixed(std::size_t i) {
  return static_cast<std::uint8_t>(i * 131 + 7);
}
std::uint8_t AllFF(std::size_t) {
  return 0xFF;
}

struct ImageFixture {
  std::vector<std::vector<std::uint8_t>> data;
  std::vector<FirmwareImage> images;

  ImageFixture() {
    for (int i = 0; i < 4; ++i) data.push_back(SoundImage(i % 2 == 0 ? 4000 : 300, Mixed));
    Rebuild();
  }
  void Rebuild() {
    images.clear();
    for (auto& d : data) images.push_back({"f", static_cast<std::uint32_t>(d.size()), "P00xx00", d});
  }
  std::uint8_t Count() {
    Rebuild();
    std::uint8_t count = 0;
    VerifyImageChecksums(images, count);
    return count;
  }
};

TEST(Checksum, AllZeroPayloadWithZeroTrailerPasses) {
  const std::vector<std::uint8_t> zeros(422916, 0);
  EXPECT_TRUE(ChecksumMatches(zeros));
}

TEST(Checksum, SumAboveSixteenBitsIsTakenWholeNotModulo) {
  // 422912 bytes of 0xFF sum to 107842560, far beyond 16 bits; a truncated or complemented sum would fail.
  const auto bytes = SoundImage(422912, AllFF);
  EXPECT_EQ(bytes[422912 + 3], 0x06);
  EXPECT_TRUE(ChecksumMatches(bytes));
}

TEST(Checksum, TrailerIsLittleEndian) {
  auto bytes = SoundImage(1000, Mixed);
  std::swap(bytes[1000], bytes[1001]);
  EXPECT_FALSE(ChecksumMatches(bytes));
}

TEST(Checksum, TooShortForATrailerNeverMatches) {
  EXPECT_FALSE(ChecksumMatches(std::vector<std::uint8_t>{0, 0, 0}));
  EXPECT_TRUE(ChecksumMatches(std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST(VerifyImageChecksums, SoundImagesLeaveTheCountAtZero) {
  ImageFixture f;
  EXPECT_EQ(f.Count(), 0);
}

TEST(VerifyImageChecksums, AnySingleChangedByteFailsExactlyThatImage) {
  for (std::size_t image = 0; image < 4; ++image) {
    const std::size_t size = ImageFixture().data[image].size();
    for (std::size_t pos : {std::size_t{0}, size / 2, size - 5, size - 4, size - 3, size - 2, size - 1}) {
      ImageFixture f;
      f.data[image][pos] ^= 0x01;
      EXPECT_EQ(f.Count(), 1) << "image " << image << " byte " << pos;
    }
  }
}

TEST(VerifyImageChecksums, CountsEveryFailingImageWithoutStopping) {
  for (unsigned mask = 1; mask < 16; ++mask) {
    ImageFixture f;
    int expected = 0;
    for (int i = 0; i < 4; ++i) {
      if (mask & (1u << i)) {
        f.data[i][10] ^= 0x80;
        ++expected;
      }
    }
    EXPECT_EQ(f.Count(), expected) << "mask " << mask;
  }
}

TEST(VerifyImageChecksums, TrailerWithTopBitSetIsAMismatchNotAnError) {
  ImageFixture f;
  f.data[2].back() = 0x80;
  std::uint8_t count = 0;
  f.Rebuild();
  EXPECT_NO_THROW(VerifyImageChecksums(f.images, count));
  EXPECT_EQ(count, 1);
  f.data[2].back() = 0xFF;
  EXPECT_EQ(f.Count(), 1);
}

TEST(EmbeddedImages, TableHasTheNamesLengthsAndLabelsInOrder) {
  const auto& t = FirmwareImages();
  const char* names[] = {"32yk2368.bin", "32yk936.bin", "yk2368.bin", "yk936.bin"};
  const std::uint32_t lengths[] = {422916, 15750, 422916, 15750};
  const char* labels[] = {"P32xx35", "P3218xx", "P28xx35", "P2829xx"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t[i].fileName, names[i]);
    EXPECT_EQ(t[i].length, lengths[i]);
    EXPECT_EQ(t[i].bytes.size(), lengths[i]);
    EXPECT_EQ(t[i].versionLabel, labels[i]);
    EXPECT_EQ(&ImageByNumber(i + 1), &t[i]);
  }
  EXPECT_THROW(ImageByNumber(0), RangeError);
  EXPECT_THROW(ImageByNumber(5), RangeError);
}

TEST(EmbeddedImages, ShippedImagesPassAndStartUpSelectsRussian) {
  const ProgramState state = StartProgram(FirmwareImages());
  EXPECT_EQ(state.CorruptCount, 0);
  EXPECT_EQ(state.Language, kRussian);
  EXPECT_EQ(state.LastDriveStringsLength, 0);
}

TEST(VersionLabel, ComposedFromThe936HeadAndThe2368Tail) {
  EXPECT_EQ(ComposeVersionLabel(ImageSetA), "P321835");
  EXPECT_EQ(ComposeVersionLabel(ImageSetB), "P282935");
  const FirmwareImage big{"a", 0, "ABxxxYZ", {}};
  const FirmwareImage small{"b", 0, "abcdexx", {}};
  EXPECT_EQ(ComposeVersionLabel(big, small), "abcdeYZ");
  const FirmwareImage shortLabel{"c", 0, "P32", {}};
  EXPECT_THROW(ComposeVersionLabel(big, shortLabel), RangeError);
}

}  // namespace
}  // namespace scaleboot
