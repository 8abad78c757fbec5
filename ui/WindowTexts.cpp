#include "ui/WindowTexts.h"

#include "ui/TestMark.h"

namespace scaleboot {

std::string FormatProgramVersion(std::optional<std::uint32_t> fileVersionHigh) {
  const std::uint32_t v = fileVersionHigh.value_or(UINT32_MAX);
  return std::to_string(v >> 16) + "." + std::to_string(v & 0xFFFFu);
}

WindowTexts ComposeWindowTexts(LanguageIndex language, std::string_view versionText, bool testFirmware) {
  auto text = [language](Msg row) { return std::string(Text(language, row)); };
  const std::string readerNote = text(Msg::ReaderNote);
  return {
      MarkedTitle(language, text(Msg::TitlePrefix) + std::string(versionText) + ")", testFirmware),
      text(Msg::SelectCard),
      text(Msg::WriteButtonText),
      text(Msg::VersionsHint),
      text(Msg::ManualHint) + "\r\n" + readerNote,
      text(Msg::ChangesHint) + "\r\n" + readerNote,
      text(Msg::VersionsHint),
      text(Msg::ManualHint),
      text(Msg::ChangesHint),
      text(Msg::SelectCard),
  };
}

}  // namespace scaleboot
