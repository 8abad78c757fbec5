// The language-dependent texts of the main window, as the language switch puts them on it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "ui/MessageTable.h"

namespace scaleboot {

// Major and minor number of the file version as "major.minor". `fileVersionHigh` is the more significant half
// of the file version (major in the upper 16 bits); without one the text is "65535.65535".
std::string FormatProgramVersion(std::optional<std::uint32_t> fileVersionHigh);

struct WindowTexts {
  std::string caption;  // window caption, also the application title
  std::string label;    // Label1
  std::string button;   // Button1
  std::string versionsHint;
  std::string manualHint;   // two lines, CR LF between them
  std::string changesHint;  // two lines, CR LF between them
  // Names a screen reader announces: each image button by its hint's first line, the drive list by the label.
  std::string versionsName;
  std::string manualName;
  std::string changesName;
  std::string driveListName;
};

// `testFirmware`: the program is a test build (IsTestBuild), whose caption carries the test mark.
WindowTexts ComposeWindowTexts(LanguageIndex language, std::string_view versionText, bool testFirmware);

// Left edge of the drive list: `gap` pixels right of the label's text, ten at 96 DPI.
inline constexpr int kDriveListGap = 10;
constexpr int DriveListLeft(int labelLeft, int labelWidth, int gap = kDriveListGap) {
  return labelLeft + labelWidth + gap;
}

}  // namespace scaleboot
