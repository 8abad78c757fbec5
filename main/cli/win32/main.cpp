// scaleboot-cli.exe: the Windows drive list, card files and console; arguments arrive as wide characters.
#include <string>
#include <vector>

#include "main/cli/Cli.h"
#include "platform/win32/Win32Platform.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(scaleboot::platform::Narrow(argv[i]));
  scaleboot::platform::Win32DriveSource drives;
  scaleboot::platform::Win32ByteFileSystem files;
  scaleboot::platform::Win32Console console;
  return scaleboot::cli::RunWithEmbeddedImages(arguments, drives, files, console);
}
