// Prints what this build's programs carry, one tab-separated line each: every embedded image in table order
// ("image", file name, length, version label, and "sound" or "damaged" by the start-up checksum test), the
// composed firmware version of each set ("version", A or B, label) and the start-up count of damaged images
// ("corrupt", count). The release script writes FIRMWARE.txt from it; the firmware folder test reads it.
#include <cstdio>

#include "images/FirmwareImages.h"
#include "main/Startup.h"

int main() {
  using namespace scaleboot;
  for (const FirmwareImage& image : FirmwareImages()) {
    std::printf("image\t%.*s\t%u\t%.*s\t%s\n", static_cast<int>(image.fileName.size()), image.fileName.data(),
                unsigned{image.length}, static_cast<int>(image.versionLabel.size()),
                image.versionLabel.data(), ChecksumMatches(image.bytes) ? "sound" : "damaged");
  }
  std::printf("version\tA\t%s\n", ComposeVersionLabel(ImageSetA).c_str());
  std::printf("version\tB\t%s\n", ComposeVersionLabel(ImageSetB).c_str());
  std::printf("corrupt\t%u\n", unsigned{StartProgram(FirmwareImages()).CorruptCount});
  return 0;
}
