// The program's state for its whole run and the toolkit-neutral steps of start-up. Each front end's TForm1
// owns one ProgramState and applies what these functions return to its widgets.
#pragma once
#include <cstdint>
#include <span>

#include "images/FirmwareImages.h"
#include "ui/MessageTable.h"

namespace scaleboot {

struct ProgramState {
  std::uint8_t CorruptCount = 0;            // images that failed the start-up test; fixed after start-up
  LanguageIndex Language = kRussian;        // index selected in the language selector
  std::int32_t LastDriveStringsLength = 0;  // length of the drive-root list at the last rescan
};

// Hint timing of the window: shown 100 ms after the mouse rests, hidden after 5 s, the next one at once.
inline constexpr int kHintShowDelayMs = 100;
inline constexpr int kHintHideDelayMs = 5000;
inline constexpr int kHintReshowDelayMs = 0;
inline constexpr int kDriveScanIntervalMs = 1000;

// The index the language selector starts on.
inline constexpr int kInitialLanguageItem = kRussian;

// Start-up state: the checksum test over `images` and the initial language.
ProgramState StartProgram(std::span<const FirmwareImage> images);

// The language for a selector index; an index outside the two items raises RangeError.
LanguageIndex LanguageForItem(int itemIndex);

}  // namespace scaleboot
