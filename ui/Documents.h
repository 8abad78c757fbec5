// The help documents: saved next to the program from its own data and opened with the default viewer.
#pragma once
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "ui/MessageTable.h"

namespace scaleboot {

struct DocumentChoice {
  std::string_view resourceName;
  std::string_view fileName;

  bool operator==(const DocumentChoice&) const = default;
};

// The manual in the current language: Russian "Instruction", otherwise "Instruction_eng".
DocumentChoice ManualDocument(LanguageIndex language);
// The change log, "Changes", whatever the language.
DocumentChoice ChangesDocument();

// Saves the named resource as `fileName` in the program's folder, replacing any earlier copy, and asks the
// desktop to open it. When the program's folder refuses the file and the host names a fallback folder for
// that refusal, the document is saved into and opened from that folder instead. Raises RaisedError with the
// text to show when the resource is missing, the file cannot be created (in the last folder tried) or not all
// of it is written; the document is then not opened.
void OpenDocument(const DocumentChoice& document, platform::DocumentHost& host);

}  // namespace scaleboot
