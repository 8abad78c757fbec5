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

#include "common/Errors.h"
#include "ui/MessageTable.h"

namespace scaleboot {

// A text in both languages: English, then Russian.
using Words = std::array<std::string_view, kLanguageCount>;

// The words of `words` in `language`; a language outside the table raises RangeError.
std::string_view In(LanguageIndex language, const Words& words);

// The words of `row` in `language`, from a table whose rows stand in the order of the enum `Row`; a row or a
// language outside the table raises RangeError.
template <typename Row, std::size_t N>
std::string_view Lookup(const std::array<Words, N>& table, LanguageIndex language, Row row) {
  const auto index = static_cast<std::size_t>(row);
  if (index >= N) throw RangeError();
  return In(language, table[index]);
}

// `pattern` with each "{}" replaced by the next of `arguments`, and "{1}", "{2}" by the first and the second
// (Russian puts counts after their words).
std::string Filled(std::string_view pattern, std::initializer_list<std::string_view> arguments);

// "A, B, C".
std::string Joined(std::span<const std::string> names);

// "A, B and C" ("A, B и C"); "A" alone.
std::string Listed(LanguageIndex language, std::span<const std::string> names);

// The system's own words as a phrase within a line: without the blanks, control characters (CR, LF) and
// full stops that end them.
std::string SystemPhrase(std::string_view text);

}  // namespace scaleboot
