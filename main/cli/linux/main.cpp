// scaleboot-cli on Linux: the mount-table drive list, POSIX card files and the terminal.
#include <string>
#include <vector>

#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"
#include "platform/linux/LinuxPlatform.h"

int main(int argc, char** argv) {
  using namespace scaleboot;
  platform::MountDriveSource drives;
  platform::PosixByteFileSystem files;
  platform::StdioConsole console;
  cli::Environment environment{drives, files, console, FirmwareImages(),
                               cli::LocaleIsRussian(platform::UserLocaleName()) ? kRussian : kEnglish};
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return cli::RunCli(arguments, environment);
}
