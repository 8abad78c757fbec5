// Prints how many embedded images fail the start-up checksum test and the two composed labels.
#include <cstdio>

#include "images/FirmwareImages.h"
#include "main/Startup.h"

int main() {
  const scaleboot::ProgramState state = scaleboot::StartProgram(scaleboot::FirmwareImages());
  std::printf("CorruptCount=%u %s %s\n", unsigned{state.CorruptCount},
              scaleboot::ComposeVersionLabel(scaleboot::ImageSetA).c_str(),
              scaleboot::ComposeVersionLabel(scaleboot::ImageSetB).c_str());
  return 0;
}
