// The write button's click in either window: the run, the input it leaves behind and the box that ends it.
#pragma once
#include <span>
#include <string>

#include "card/BootModuleWriter.h"
#include "images/FirmwareImages.h"
#include "platform/Platform.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"

namespace scaleboot {

// A window as a write run uses it: the button and the bar the writer drives, and what the window does when
// the run has ended.
class WriteWindow : public WriterView {
 public:
  // Drops the clicks and keys that queued up while the run held the thread.
  virtual void DiscardPendingInput() = 0;
  virtual void ShowBox(const MessageBoxSpec& box) = 0;
};

// The write button's click: writes the module to `driveRoot` (empty when no drive is selected, which the
// writer refuses before the window changes), then drops the input queued during the run and shows the
// result box in `language`. An error of the run is raised once the input has been dropped, with no box.
void WriteAndReport(const std::string& driveRoot, std::span<const FirmwareImage> images,
                    platform::ByteFileSystem& files, LanguageIndex language, WriteWindow& window);

// Success: the success text and caption with an information icon. Mismatch: the failure text as both text and
// caption, with an error icon.
MessageBoxSpec WriteResultBox(WriteOutcome outcome, LanguageIndex language);

}  // namespace scaleboot
