// Writes the four images into the root of a card, reads them back byte for byte and reports the outcome.
#pragma once
#include <span>
#include <string>

#include "images/FirmwareImages.h"
#include "platform/Platform.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"

namespace scaleboot {

// The parts of the window the writer drives while it runs. The gauge calls must repaint the bar at once when
// its rule asks for it: the writer does not return to the event loop until the final box.
class WriterView {
 public:
  virtual ~WriterView() = default;
  virtual void SetWriteEnabled(bool enabled) = 0;
  virtual void SetGaugeRange(int minimum, int maximum) = 0;
  virtual void SetGaugePosition(int position) = 0;
  virtual void AddGaugeProgress(int delta) = 0;
  // Shows the final box and returns when it is closed.
  virtual void ShowBox(const MessageBoxSpec& box) = 0;
};

// Twice the total length of the images: every byte is written once and read back once.
int GaugeMaximumFor(std::span<const FirmwareImage> images);

// Runs one write-and-verify of `images` under `driveRoot` (which ends in its separator). A failing file
// operation raises IoError and ends the run at once: the write button stays disabled and the gauge keeps its
// position. A read-back that differs deletes the four files and shows the failure box.
void WriteBootModule(const std::string& driveRoot, std::span<const FirmwareImage> images,
                     platform::ByteFileSystem& files, LanguageIndex language, WriterView& view);

}  // namespace scaleboot
