// The words a test build (one carrying placeholder images) adds to every text a technician could take for a
// release's: a mark after the windows' titles and a line after the contents and each card's outcome.
#pragma once
#include <string>
#include <string_view>

#include "ui/MessageTable.h"

namespace scaleboot {

enum class TestMark { Title, Line };

// "[TEST]" / "[ТЕСТ]" for a title; "test firmware, not for scales" and its Russian for a line.
std::string_view TestWords(LanguageIndex language, TestMark mark);

// A window's title, with the title mark after it in a test build.
std::string MarkedTitle(LanguageIndex language, std::string_view title, bool testFirmware);

// `text` followed, in a test build, by `lineBreak` and the test line.
std::string WithTestLine(LanguageIndex language, std::string_view text, bool testFirmware,
                         std::string_view lineBreak = "\r\n");

}  // namespace scaleboot
