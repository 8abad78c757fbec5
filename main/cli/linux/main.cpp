// scaleboot-cli on Linux: the mount-table drive list, POSIX card files and the terminal.
#include <string>
#include <vector>

#include "main/cli/Cli.h"
#include "platform/linux/LinuxPlatform.h"

int main(int argc, char** argv) {
  scaleboot::platform::MountDriveSource drives;
  scaleboot::platform::PosixByteFileSystem files;
  scaleboot::platform::StdioConsole console;
  return scaleboot::cli::RunWithEmbeddedImages(std::vector<std::string>(argv + 1, argv + argc), drives, files,
                                               console);
}
