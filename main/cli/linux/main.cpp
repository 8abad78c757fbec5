// scaleboot-cli on Linux: the mount-table drive list, POSIX card files, udisks for ejecting and the terminal.
#include <memory>
#include <string>
#include <vector>

#include "main/cli/Cli.h"
#include "platform/linux/LinuxEjector.h"
#include "platform/linux/LinuxPlatform.h"

int main(int argc, char** argv) {
  scaleboot::platform::MountDriveSource drives;
  scaleboot::platform::StdioConsole console;
  scaleboot::platform::LinuxEjector ejector;
  // Each card of a batch gets its own file layer: the set of files it has created is its own.
  const auto newFiles = [] { return std::make_unique<scaleboot::platform::PosixByteFileSystem>(); };
  return scaleboot::cli::RunWithEmbeddedImages(std::vector<std::string>(argv + 1, argv + argc), drives,
                                               newFiles, console, &ejector);
}
