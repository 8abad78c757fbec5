// The box that ends a write run in the window.
#pragma once
#include "card/BootModuleWriter.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"

namespace scaleboot {

// Success: the success text and caption with an information icon. Mismatch: the failure text as both text and
// caption, with an error icon.
MessageBoxSpec WriteResultBox(WriteOutcome outcome, LanguageIndex language);

}  // namespace scaleboot
