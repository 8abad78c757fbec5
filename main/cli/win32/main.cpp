// scaleboot-cli.exe: the Windows drive list, card files and console; arguments arrive as wide characters.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "main/cli/Cli.h"
#include "platform/win32/CardSlots.h"
#include "platform/win32/KeepAwake.h"
#include "platform/win32/Win32Ejector.h"
#include "platform/win32/Win32Platform.h"

int wmain(int argc, wchar_t** argv) {
  // Before anything loads a DLL by name: none comes from the program's folder or the current one.
  scaleboot::platform::RestrictDllSearch();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    // "/?" asks for help on Windows, as with the system's own commands.
    arguments.push_back(std::wstring_view(argv[i]) == L"/?" ? "--help"
                                                            : scaleboot::platform::Narrow(argv[i]));
  }
  scaleboot::platform::Win32DriveSource drives;
  scaleboot::platform::Win32Console console;
  scaleboot::platform::SystemVolumeControl volumes;
  scaleboot::platform::Win32Ejector ejector(volumes);
  // Each card of a batch gets its own file layer: the set of files it must flush is its own.
  const auto newFiles = [] { return std::make_unique<scaleboot::platform::Win32ByteFileSystem>(); };
  scaleboot::platform::Win32CardSlots cardSlots;
  scaleboot::platform::KeepAwake awake;
  // Ctrl+C lets the station finish the cards in progress; other commands end as they always did.
  if (std::find(arguments.begin(), arguments.end(), "station") != arguments.end())
    scaleboot::platform::InstallStopHandlers();
  scaleboot::station::Services services{&cardSlots, newFiles};
  services.ejector = &ejector;
  services.stayAwake = &awake;
  return scaleboot::cli::RunWithEmbeddedImages(arguments, drives, console, std::move(services),
                                               scaleboot::platform::WaitOrStop);
}
