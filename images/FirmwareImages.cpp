#include "images/FirmwareImages.h"

#include <algorithm>

#include "common/Errors.h"
#include "platform/Embedded.h"

namespace scaleboot {
namespace {

struct ImageRow {
  std::string_view fileName;
  std::uint32_t length;
  std::string_view versionLabel;
};

// The lengths and labels of the images built in, from the firmware folder's description (the build checks
// them against the images and the label's form).
constexpr std::array<ImageRow, kImageCount> kRows{{
#include "FirmwareRows.inc"
}};
static_assert(std::all_of(kRows.begin(), kRows.end(),
                          [](const ImageRow& row) { return row.versionLabel.size() == 7; }),
              "every version label has seven characters");

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

bool CarriesTestFirmware(std::span<const FirmwareImage> images) {
  return std::any_of(images.begin(), images.end(), [](const FirmwareImage& image) {
    return image.bytes.size() >= kPlaceholderMarker.size() &&
           std::equal(kPlaceholderMarker.begin(), kPlaceholderMarker.end(), image.bytes.begin());
  });
}

bool IsTestBuild() {
  return CarriesTestFirmware(FirmwareImages());
}

const FirmwareImage& ImageByNumber(int number) {
  if (number < 1 || number > static_cast<int>(kImageCount)) throw RangeError();
  return FirmwareImages()[static_cast<std::size_t>(number - 1)];
}

void TrailerChecksum::AddPayload(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (payloadLength_ == 0) firstPayloadByte_ = bytes.front();
  std::uint64_t sum = 0;
  std::uint8_t differingBits = 0;  // a plain loop without early exit, which the compiler vectorizes
  for (const std::uint8_t byte : bytes) {
    sum += byte;
    differingBits |= byte ^ firstPayloadByte_;
  }
  sum_ += sum;
  payloadVaries_ = payloadVaries_ || differingBits != 0;
  payloadLength_ += bytes.size();
}

void TrailerChecksum::Add(std::span<const std::uint8_t> block) {
  // Byte number k of the file is kept in tail_[k % 4] while it is one of the last four seen; every byte
  // before the last four is payload.
  const std::uint64_t total = count_ + block.size();
  const std::uint64_t payloadEnd = total < 4 ? 0 : total - 4;
  for (std::uint64_t k = payloadLength_; k < std::min(count_, payloadEnd); ++k)
    AddPayload({&tail_[k % 4], 1});
  if (payloadEnd > count_) AddPayload(block.first(payloadEnd - count_));
  for (std::uint64_t k = std::max(count_, payloadEnd); k < total; ++k) tail_[k % 4] = block[k - count_];
  count_ = total;
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
