// scaleboot-cli.exe: the Windows drive list, card files and console; arguments arrive as wide characters.
#include <string>
#include <vector>

#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"
#include "platform/win32/Win32Platform.h"

int wmain(int argc, wchar_t** argv) {
  using namespace scaleboot;
  platform::Win32DriveSource drives;
  platform::Win32ByteFileSystem files;
  platform::Win32Console console;
  cli::Environment environment{drives, files, console, FirmwareImages(),
                               cli::LocaleIsRussian(platform::UserLocaleName()) ? kRussian : kEnglish};
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(platform::Narrow(argv[i]));
  return cli::RunCli(arguments, environment);
}
