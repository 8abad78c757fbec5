// Program entry of ScaleBoot.exe: creates the main window, which runs FormCreate before it is first shown,
// and runs the message loop until the window is closed. No command line is read.
#include "main/win32/Form1.h"

#include <commctrl.h>

#include <exception>
#include <memory>

#include "BuildInfo.h"
#include "images/FirmwareImages.h"
#include "main/win32/StationWindow.h"
#include "platform/Embedded.h"
#include "platform/win32/CardSlots.h"
#include "platform/win32/KeepAwake.h"
#include "platform/win32/Win32Ejector.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Errors.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // Before anything loads a DLL by name: none comes from the program's folder or the current one.
  scaleboot::platform::RestrictDllSearch();
  // The writer holds the thread for seconds while it repaints the progress bar itself; without this, Windows
  // would cover the window with a "not responding" ghost and the bar would not be seen moving.
  DisableProcessWindowsGhosting();

  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_STANDARD_CLASSES | ICC_USEREX_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  using namespace scaleboot;
  try {
    platform::Win32DriveSource drives;
    platform::Win32ByteFileSystem files;
    platform::Win32DocumentHost documents;
    platform::SystemVolumeControl volumes;
    platform::Win32Ejector ejector(volumes);
    // The station window: each card gets its own file layer (the set of files it must flush is its own).
    platform::Win32CardSlots cardSlots;
    // While the station writes a card, the machine does not go to sleep.
    platform::KeepAwake awake;
    station::Services station{&cardSlots, [] { return std::make_unique<platform::Win32ByteFileSystem>(); },
                              FirmwareImages(), &ejector};
    station.identifyFolder = platform::IdentifyFolder;
    station.stayAwake = &awake;
    station.recordFacts = {FirmwareImages(), EmbeddedFirmwareSha256(), build::kVersionText, "ScaleBoot",
                           IsTestBuild()};
    station.recordFacts.clockSynchronised = platform::ClockSynchronised;
    win32::TForm1 form(instance, drives, files, documents);
    form.SetEjector(&ejector);
    form.SetStation(&station);
    const HWND window = form.Create();
    documents.SetOwner(window);
    form.Show(showCommand);
    return form.Run();
  } catch (const std::exception& e) {
    // Only the window's creation runs outside its own error reporter.
    MessageBoxW(nullptr, platform::Widen(ErrorBoxText(e.what())).c_str(),
                platform::Widen(FallbackApplicationTitle(platform::OwnExecutablePath())).c_str(),
                MB_OK | MB_ICONSTOP);
    return 1;
  }
}
