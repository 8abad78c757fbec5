#include "ui/Documents.h"

#include "ui/Errors.h"
#include "ui/Words.h"

namespace scaleboot {

DocumentChoice ManualDocument(LanguageIndex language) {
  if (language == kRussian) return {"Instruction", "Instruction.pdf"};
  return {"Instruction_eng", "Instruction_eng.pdf"};
}

DocumentChoice ChangesDocument() {
  return {"Changes", "Changes.pdf"};
}

void OpenDocument(const DocumentChoice& document, platform::DocumentHost& host) {
  const auto bytes = host.FindDocumentData(document.resourceName);
  if (!bytes) throw RaisedError("Resource " + std::string(document.resourceName) + " not found");
  std::string path = host.ProgramFolder() + std::string(document.fileName);
  auto saved = host.SaveFile(path, *bytes);
  if (saved.status == platform::DocumentHost::SaveStatus::CannotCreate) {
    if (const auto folder = host.FallbackFolder(saved)) {
      path = *folder + std::string(document.fileName);
      saved = host.SaveFile(path, *bytes);
    }
  }
  switch (saved.status) {
    case platform::DocumentHost::SaveStatus::Saved:
      break;
    case platform::DocumentHost::SaveStatus::CannotCreate:
      throw RaisedError("Cannot create file \"" + path + "\". " + SystemPhrase(saved.systemMessage));
    case platform::DocumentHost::SaveStatus::ShortWrite:
      throw RaisedError("Stream write error");
  }
  host.ShellOpen(path);
}

}  // namespace scaleboot
