// The four firmware images carried by the program, their version labels and the start-up checksum test.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace scaleboot {

// One embedded image: the file written to the card, ending in a four-byte little-endian trailer that holds
// the plain sum of all payload bytes.
struct FirmwareImage {
  std::string_view fileName;
  std::uint32_t length;
  std::string_view versionLabel;  // exactly seven characters
  std::span<const std::uint8_t> bytes;
};

enum class ImageSet { A, B };
inline constexpr ImageSet ImageSetA = ImageSet::A;
inline constexpr ImageSet ImageSetB = ImageSet::B;

inline constexpr std::size_t kImageCount = 4;
using ImageTable = std::array<FirmwareImage, kImageCount>;

// The images in table order: 32yk2368.bin, 32yk936.bin (set A), yk2368.bin, yk936.bin (set B). This is the
// order of the checksum test, of writing, verifying and deleting.
const ImageTable& FirmwareImages();

// Image by its table number, 1 to 4; any other number raises RangeError.
const FirmwareImage& ImageByNumber(int number);

// The checksum rule over bytes that arrive a block at a time: the last four bytes seen are the trailer, all
// before them the payload. Feeding a file in any number of blocks gives the same answer as feeding it whole.
class TrailerChecksum {
 public:
  void Add(std::span<const std::uint8_t> block);
  // True when the trailer equals the plain sum of the payload. Fewer than four bytes never match.
  bool Matches() const;
  // True when no two payload bytes differ (an empty payload included): all zeros, say, as a card that lost
  // its data reads back. Such a payload may match its trailer without holding any firmware.
  bool PayloadAllSame() const;
  std::uint64_t BytesSeen() const { return count_; }

 private:
  void AddPayload(std::span<const std::uint8_t> bytes);

  std::uint64_t sum_ = 0;               // of the payload bytes seen so far
  std::array<std::uint8_t, 4> tail_{};  // the last four bytes, a ring indexed by count_ % 4
  std::uint64_t count_ = 0;
  std::uint64_t payloadLength_ = 0;
  std::uint8_t firstPayloadByte_ = 0;
  bool payloadVaries_ = false;
};

// True when the trailer of `bytes` equals the sum of the bytes before it. Fewer than four bytes never match.
bool ChecksumMatches(std::span<const std::uint8_t> bytes);

// Adds one to `corruptCount` for every image whose trailer does not match; all images are always tested.
void VerifyImageChecksums(std::span<const FirmwareImage> images, std::uint8_t& corruptCount);

// Every placeholder image (the repository's own, and those tools/make_placeholder_firmware makes) begins with
// this marker; the scales' firmware never does.
inline constexpr std::string_view kPlaceholderMarker = "SCALEBOOT PLACEHOLDER FIRMWARE";

// True when any of `images` begins with the placeholder marker: a build carrying them is a test build, never
// to be taken for a release.
bool CarriesTestFirmware(std::span<const FirmwareImage> images);

// Whether this program is a test build, decided from its own embedded images: what every front end asks.
bool IsTestBuild();

// Characters 1-5 of the set's 936 label followed by characters 6-7 of its 2368 label (P321835, P282935).
std::string ComposeVersionLabel(ImageSet set);
std::string ComposeVersionLabel(const FirmwareImage& image2368, const FirmwareImage& image936);

}  // namespace scaleboot
