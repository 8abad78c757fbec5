#include "main/Startup.h"

#include "common/Errors.h"

namespace scaleboot {

ProgramState StartProgram(std::span<const FirmwareImage> images) {
  ProgramState state;
  state.CorruptCount = 0;
  VerifyImageChecksums(images, state.CorruptCount);
  state.Language = LanguageForItem(kInitialLanguageItem);
  return state;
}

LanguageIndex LanguageForItem(int itemIndex) {
  if (itemIndex < 0 || itemIndex >= static_cast<int>(kLanguageCount)) throw RangeError();
  return static_cast<LanguageIndex>(itemIndex);
}

}  // namespace scaleboot
