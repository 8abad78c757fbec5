#include "ui/WriteResult.h"

#include <string>

namespace scaleboot {

MessageBoxSpec WriteResultBox(WriteOutcome outcome, LanguageIndex language) {
  if (outcome == WriteOutcome::Verified) {
    return {std::string(Text(language, Msg::WriteOkText)), std::string(Text(language, Msg::WriteOkCaption)),
            BoxIcon::Information};
  }
  const std::string failed(Text(language, Msg::WriteFailedText));
  return {failed, failed, BoxIcon::Error};
}

void WriteAndReport(const std::string& driveRoot, std::span<const FirmwareImage> images,
                    platform::ByteFileSystem& files, LanguageIndex language, WriteWindow& window) {
  WriteOutcome outcome;
  try {
    outcome = WriteBootModule(driveRoot, images, files, window);
  } catch (...) {
    window.DiscardPendingInput();
    throw;
  }
  // The result box comes after the input that queued up during the run has been dropped.
  window.DiscardPendingInput();
  window.ShowBox(WriteResultBox(outcome, language));
}

}  // namespace scaleboot
