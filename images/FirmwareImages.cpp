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

bool ChecksumMatches(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4) return false;
  const std::size_t payload = bytes.size() - 4;
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < payload; ++i) sum += bytes[i];
  const std::uint32_t trailer = std::uint32_t{bytes[payload]} | (std::uint32_t{bytes[payload + 1]} << 8) |
                                (std::uint32_t{bytes[payload + 2]} << 16) |
                                (std::uint32_t{bytes[payload + 3]} << 24);
  return sum == trailer;
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
