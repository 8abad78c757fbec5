// The one way the program's texts beyond the window's message table are kept and put together: each text is
// a pair of words, English then Russian (UTF-8), looked up by the language; patterns are filled in, lists of
// names joined, and the system's own messages trimmed, the same way for the command line, the station and the
// windows.
#pragma once
#include <array>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "ui/MessageTable.h"

namespace scaleboot {

// A text in both languages: English, then Russian.
using Words = std::array<std::string_view, kLanguageCount>;

// The words of `words` in `language`; a language outside the table raises RangeError.
std::string_view In(LanguageIndex language, const Words& words);

// "A, B, C".
std::string Joined(std::span<const std::string> names);

// "A, B and C" ("A, B и C"); "A" alone.
std::string Listed(LanguageIndex language, std::span<const std::string> names);

}  // namespace scaleboot
