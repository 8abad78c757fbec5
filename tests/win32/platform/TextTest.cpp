#include <gtest/gtest.h>

#include "platform/win32/Win32Platform.h"
#include "ui/MessageTable.h"

namespace scaleboot::platform {
namespace {

TEST(Text, CyrillicTableTextsRoundTripThroughUtf16) {
  const std::string_view title = Text(kRussian, Msg::TitlePrefix);
  const std::wstring wide = Widen(title);
  EXPECT_EQ(wide, L"Загрузочный модуль ЮКС (версия ");
  EXPECT_EQ(wide.size(), 31u);  // one UTF-16 unit per letter, two UTF-8 bytes per Cyrillic letter
  EXPECT_EQ(Narrow(wide), title);

  for (LanguageIndex language : {kEnglish, kRussian}) {
    for (std::size_t row = 0; row < kMessageRows; ++row) {
      const std::string_view text = Text(language, static_cast<Msg>(row));
      EXPECT_EQ(Narrow(Widen(text)), text) << "row " << row;
    }
  }
}

TEST(Text, LengthsAreExplicitNotNulTerminated) {
  EXPECT_EQ(Widen(""), L"");
  EXPECT_EQ(Narrow(L""), "");
  const std::string withNul("a\0Я", 4);
  const std::wstring wide = Widen(withNul);
  EXPECT_EQ(wide, std::wstring(L"a\0Я", 3));
  EXPECT_EQ(Narrow(wide), withNul);
  // Only the viewed part is converted.
  EXPECT_EQ(Widen(std::string_view("ЮКС-Л", 4)), L"ЮК");
}

TEST(Text, CharactersOutsideTheBasicPlaneUseSurrogatePairs) {
  const std::string utf8 = "\xF0\x9F\x92\xBE";  // U+1F4BE floppy disk
  const std::wstring wide = Widen(utf8);
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(wide[0], 0xD83D);
  EXPECT_EQ(wide[1], 0xDCBE);
  EXPECT_EQ(Narrow(wide), utf8);
}

TEST(Text, InvalidSequencesBecomeReplacementCharacters) {
  // A lone continuation byte and a cut two-byte sequence are replaced, the rest is kept.
  const std::wstring wide = Widen(
      "A\x80"
      "B\xD0");
  ASSERT_FALSE(wide.empty());
  EXPECT_EQ(wide.front(), L'A');
  EXPECT_NE(wide.find(L'B'), std::wstring::npos);
  EXPECT_NE(wide.find(L'\xFFFD'), std::wstring::npos);
  // A lone surrogate cannot be UTF-8; it is replaced too.
  const std::string narrow = Narrow(std::wstring{L'x', wchar_t(0xD800), L'y'});
  EXPECT_EQ(narrow.front(), 'x');
  EXPECT_EQ(narrow.back(), 'y');
  EXPECT_NE(narrow.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(Text, SystemErrorTextsAreNeverEmpty) {
  EXPECT_FALSE(SystemErrorText(ERROR_FILE_NOT_FOUND).empty());
  EXPECT_NE(SystemErrorText(ERROR_FILE_NOT_FOUND), SystemErrorText(ERROR_ACCESS_DENIED));
  // A code the system has no text for is still named.
  EXPECT_EQ(SystemErrorText(0x2345ABCD), "System error 591768525");
}

}  // namespace
}  // namespace scaleboot::platform
