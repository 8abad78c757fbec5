// The station's services on Windows.
#pragma once
#include <windows.h>

#include "platform/CardSlots.h"

namespace scaleboot::platform {

// Readers are drive letters ("E:"). A card reader keeps its letter while it is empty: its slot holds a card
// while the drive is ready (its volume answers), and the card is told by the volume's GUID path. Without
// readers, every removable drive letter is a slot. Polling turns off the system's "insert a disk" box.
class Win32CardSlots : public CardSlotSource {
 public:
  Win32CardSlots();
  std::vector<CardSlot> Poll(std::span<const std::string> readers) override;
  bool HoldsSystemDisk(const std::string& reader) override { return Poll({&reader, 1}).front().systemDisk; }
  // The volume's label and its serial number as "XXXX-XXXX".
  VolumeFacts Describe(const std::string& root) override;
};

// Ctrl+C, Ctrl+Break, closing the console, a logoff and a shutdown ask the station to stop instead of ending
// the program: through the console's handler, and through a hidden window of the class kEndingWindowClass for
// the logoff and shutdown that a program using user32 hears of only as WM_QUERYENDSESSION and WM_ENDSESSION.
inline constexpr const wchar_t* kEndingWindowClass = L"ScaleBootStationEnding";
void InstallStopHandlers();
// The handler InstallStopHandlers registers: TRUE for the events that ask for a stop (Ctrl+C, Ctrl+Break,
// closing the console, logoff, shutdown), FALSE for the others, which it leaves to the system. Named here so
// that it can be called as the system calls it.
BOOL WINAPI OnConsoleControl(DWORD type);
// Sleeps up to `milliseconds`; true, at once, once a stop was asked for.
bool WaitOrStop(int milliseconds);

}  // namespace scaleboot::platform
