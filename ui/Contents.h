// The contents message: which firmware versions the boot module carries, or that the embedded data is
// damaged.
#pragma once
#include <cstdint>
#include <string>

#include "images/FirmwareImages.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"

namespace scaleboot {

// Three lines, CR LF between them and none at the end: the header, then each set's composed label followed by
// the families of scales it is meant for; in a test build (`testFirmware`) a fourth saying so.
std::string ComposeContentsText(LanguageIndex language, bool testFirmware);

// One set's line of that text: its composed label followed by the families of scales it is meant for.
std::string ComposeSetLine(LanguageIndex language, ImageSet set);

// The box the contents button shows: the contents text, or the corruption message when any image failed the
// start-up test.
MessageBoxSpec ShowModuleContents(LanguageIndex language, std::uint8_t corruptCount, bool testFirmware);

}  // namespace scaleboot
