#include "ui/TestMark.h"

#include <array>

#include "ui/Words.h"

namespace scaleboot {
namespace {

// In the order of TestMark.
constexpr std::array<Words, 2> kWords{{
    {"[TEST]", "[ТЕСТ]"},
    {"test firmware, not for scales", "тестовая прошивка, не для весов"},
}};

}  // namespace

std::string_view TestWords(LanguageIndex language, TestMark mark) {
  return Lookup(kWords, language, mark);
}

std::string MarkedTitle(LanguageIndex language, std::string_view title, bool testFirmware) {
  std::string text(title);
  if (testFirmware) text += " " + std::string(TestWords(language, TestMark::Title));
  return text;
}

std::string WithTestLine(LanguageIndex language, std::string_view text, bool testFirmware,
                         std::string_view lineBreak) {
  std::string out(text);
  if (testFirmware) out += std::string(lineBreak) + std::string(TestWords(language, TestMark::Line));
  return out;
}

}  // namespace scaleboot
