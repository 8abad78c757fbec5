#include "ui/TestMark.h"

#include <array>

#include "common/Errors.h"

namespace scaleboot {
namespace {

constexpr std::array<std::array<std::string_view, 2>, kLanguageCount> kWords{{
    {"[TEST]", "test firmware, not for scales"},
    {"[ТЕСТ]", "тестовая прошивка, не для весов"},
}};

}  // namespace

std::string_view TestWords(LanguageIndex language, TestMark mark) {
  if (language >= kLanguageCount) throw RangeError();
  return kWords[language][mark == TestMark::Title ? 0 : 1];
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
