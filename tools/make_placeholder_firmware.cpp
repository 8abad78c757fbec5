// Writes the four placeholder firmware images into a folder (resources/firmware by default): deterministic
// pseudo-random payloads of the real lengths, each ending in the little-endian sum of its payload bytes. The
// real firmware of the scales is not part of this repository; a maintainer drops it in with
// -DSCALEBOOT_FIRMWARE_DIR=... instead. A SEED other than 0 gives other bytes (with correct trailers again),
// as the tests of a build from another firmware folder need; 0 gives the repository's images. Four LABELs, in
// table order, stand for the labels of other firmware (each image names its label in its first line). The
// folder's description of its images (images.txt: name, length and label of each) is written beside them.
//
//   make_placeholder_firmware [OUTPUT_FOLDER [SEED [LABEL LABEL LABEL LABEL]]]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Placeholder {
  const char* fileName;
  std::uint32_t length;
  std::string label;
};

const Placeholder kImages[] = {
    {"32yk2368.bin", 422916, "P32xx35"},
    {"32yk936.bin", 15750, "P3218xx"},
    {"yk2368.bin", 422916, "P28xx35"},
    {"yk936.bin", 15750, "P2829xx"},
};

std::vector<std::uint8_t> MakeImage(const Placeholder& image, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(image.length);
  const std::string header = std::string("SCALEBOOT PLACEHOLDER FIRMWARE ") + image.fileName + " " +
                             image.label + " - NOT FOR SCALES\n";
  // xorshift32 seeded from the file name, so every image differs and every run gives the same bytes.
  std::uint32_t state = 2166136261u;
  for (const char* p = image.fileName; *p; ++p) state = (state ^ static_cast<std::uint8_t>(*p)) * 16777619u;
  state ^= seed * 2654435761u;
  if (state == 0) state = 1;  // xorshift never leaves 0
  const std::uint32_t payload = image.length - 4;
  std::uint64_t sum = 0;
  for (std::uint32_t i = 0; i < payload; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes[i] = i < header.size() ? static_cast<std::uint8_t>(header[i]) : static_cast<std::uint8_t>(state);
    sum += bytes[i];
  }
  for (int k = 0; k < 4; ++k) bytes[payload + k] = static_cast<std::uint8_t>(sum >> (8 * k));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "resources/firmware";
  const std::uint32_t seed = argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 0)) : 0;
  if (argc != 7 && argc > 3) {
    std::fprintf(stderr,
                 "usage: make_placeholder_firmware [OUTPUT_FOLDER [SEED [LABEL LABEL LABEL LABEL]]]\n");
    return 2;
  }
  std::vector<Placeholder> images(std::begin(kImages), std::end(kImages));
  for (int i = 3; i < argc; ++i) images[static_cast<std::size_t>(i - 3)].label = argv[i];
  const std::string descriptionPath = folder + "/images.txt";
  std::ofstream description(descriptionPath, std::ios::trunc);
  description
      << "# The firmware images of this folder, one line each: file name, length in bytes (the checksum "
         "trailer\n# included), and the version label the programs show (7 characters; characters 1-3 "
         "are the set's, \"xx\" marks\n# the two the set's other image gives).\n";
  for (const Placeholder& image : images)
    description << image.fileName << ' ' << image.length << ' ' << image.label << '\n';
  description.close();
  if (!description) {
    std::fprintf(stderr, "cannot write %s\n", descriptionPath.c_str());
    return 1;
  }
  for (const Placeholder& image : images) {
    const std::string path = folder + "/" + image.fileName;
    const auto bytes = MakeImage(image, seed);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s: %u bytes\n", path.c_str(), image.length);
  }
  return 0;
}
