// The program's own texts in English and Russian (UTF-8), looked up at the moment they are shown.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace scaleboot {

// 0 = English, 1 = Russian; always the index selected in the language selector.
using LanguageIndex = std::uint8_t;
inline constexpr LanguageIndex kEnglish = 0;
inline constexpr LanguageIndex kRussian = 1;
inline constexpr std::size_t kLanguageCount = 2;

enum class Msg : std::uint8_t {
  TitlePrefix,
  SelectCard,
  WriteButtonText,
  VersionsHint,
  ManualHint,
  ReaderNote,
  ChangesHint,
  WriteOkText,
  WriteOkCaption,
  WriteFailedText,
  VersionsHeader,
  SetASuffix,
  SetBSuffix,
  CorruptText,
  CorruptCaption,
  ContentsCaption,
};
inline constexpr std::size_t kMessageRows = 16;

using MessageTableType = std::array<std::array<std::string_view, kMessageRows>, kLanguageCount>;
extern const MessageTableType MessageTable;

// The text of `row` in `language`; a language or row outside the table raises RangeError.
std::string_view Text(LanguageIndex language, Msg row);

// The language selector's items; the same in both languages.
inline constexpr std::array<std::string_view, kLanguageCount> kLanguageItems{"ENG", "RUS"};

}  // namespace scaleboot
