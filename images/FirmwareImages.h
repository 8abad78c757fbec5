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

// True when the trailer of `bytes` equals the sum of the bytes before it. Fewer than four bytes never match.
bool ChecksumMatches(std::span<const std::uint8_t> bytes);

// Adds one to `corruptCount` for every image whose trailer does not match; all images are always tested.
void VerifyImageChecksums(std::span<const FirmwareImage> images, std::uint8_t& corruptCount);

// Characters 1-5 of the set's 936 label followed by characters 6-7 of its 2368 label (P321835, P282935).
std::string ComposeVersionLabel(ImageSet set);
std::string ComposeVersionLabel(const FirmwareImage& image2368, const FirmwareImage& image936);

}  // namespace scaleboot
