// Times the start-up checksum test over the four embedded images (the work done before the window appears).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "images/FirmwareImages.h"

int main() {
  using Clock = std::chrono::steady_clock;
  const auto& images = scaleboot::FirmwareImages();
  std::size_t bytes = 0;
  for (const auto& image : images) bytes += image.bytes.size();
  std::vector<double> micros;
  std::uint8_t count = 0;
  for (int round = 0; round < 200; ++round) {
    std::uint8_t corrupt = 0;
    const auto start = Clock::now();
    scaleboot::VerifyImageChecksums(images, corrupt);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    count = corrupt;
  }
  std::sort(micros.begin(), micros.end());
  std::printf(
      "checksum test over %zu bytes in 4 images: median %.1f us, best %.1f us, worst %.1f us "
      "(%.2f GB/s); CorruptCount=%u\n",
      bytes, micros[micros.size() / 2], micros.front(), micros.back(),
      bytes / micros[micros.size() / 2] / 1000.0, unsigned{count});
  return 0;
}
