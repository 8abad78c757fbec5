#include "images/FirmwareImages.h"

#include "common/Errors.h"
#include "platform/Embedded.h"

namespace scaleboot {
namespace {

struct ImageRow {
  std::string_view fileName;
  std::uint32_t length;
  std::string_view versionLabel;
};

constexpr std::array<ImageRow, kImageCount> kRows{{
    {"32yk2368.bin", 422916, "P32xx35"},
    {"32yk936.bin", 15750, "P3218xx"},
    {"yk2368.bin", 422916, "P28xx35"},
    {"yk936.bin", 15750, "P2829xx"},
}};

ImageTable BuildTable() {
  const auto embedded = EmbeddedFirmware();
  if (embedded.size() != kImageCount) throw RangeError();
  ImageTable table{};
  for (std::size_t i = 0; i < kImageCount; ++i) {
    const auto bytes = embedded[i].bytes();
    // The build refuses images of the wrong length; this guards the table against a mismatched embedding.
    if (embedded[i].name != kRows[i].fileName || bytes.size() != kRows[i].length) throw RangeError();
    table[i] = {kRows[i].fileName,
                kRows[i].length,
                kRows[i].versionLabel,
                {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}};
  }
  return table;
}

}  // namespace

const ImageTable& FirmwareImages() {
  static const ImageTable table = BuildTable();
  return table;
}

const FirmwareImage& ImageByNumber(int number) {
  if (number < 1 || number > static_cast<int>(kImageCount)) throw RangeError();
  return FirmwareImages()[static_cast<std::size_t>(number - 1)];
}

void TrailerChecksum::Add(std::span<const std::uint8_t> block) {
  for (const std::uint8_t byte : block) {
    std::uint8_t& slot = tail_[count_ % 4];
    // The byte four places back leaves the trailer: it belongs to the payload.
    if (count_ >= 4) {
      if (count_ == 4) firstPayloadByte_ = slot;
      payloadVaries_ = payloadVaries_ || slot != firstPayloadByte_;
      sum_ += slot;
    }
    slot = byte;
    ++count_;
  }
}

bool TrailerChecksum::Matches() const {
  if (count_ < 4) return false;
  // Little-endian: the oldest of the last four bytes is the least significant.
  std::uint32_t trailer = 0;
  for (std::uint64_t i = 0; i < 4; ++i) trailer |= std::uint32_t{tail_[(count_ + i) % 4]} << (8 * i);
  return sum_ == trailer;
}

bool TrailerChecksum::PayloadAllSame() const {
  return !payloadVaries_;
}

bool ChecksumMatches(std::span<const std::uint8_t> bytes) {
  TrailerChecksum checksum;
  checksum.Add(bytes);
  return checksum.Matches();
}

void VerifyImageChecksums(std::span<const FirmwareImage> images, std::uint8_t& corruptCount) {
  for (const FirmwareImage& image : images) {
    if (!ChecksumMatches(image.bytes)) {
      if (corruptCount == UINT8_MAX) throw OverflowError();
      ++corruptCount;
    }
  }
}

std::string ComposeVersionLabel(const FirmwareImage& image2368, const FirmwareImage& image936) {
  if (image2368.versionLabel.size() != 7 || image936.versionLabel.size() != 7) throw RangeError();
  return std::string(image936.versionLabel.substr(0, 5)) + std::string(image2368.versionLabel.substr(5, 2));
}

std::string ComposeVersionLabel(ImageSet set) {
  const int first = set == ImageSetA ? 1 : 3;
  return ComposeVersionLabel(ImageByNumber(first), ImageByNumber(first + 1));
}

}  // namespace scaleboot
