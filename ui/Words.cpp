#include "ui/Words.h"

#include "common/Errors.h"

namespace scaleboot {

std::string_view In(LanguageIndex language, const Words& words) {
  if (language >= kLanguageCount) throw RangeError();
  return words[language];
}

std::string Filled(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "{}") == 0 && next != arguments.end()) {
      out += *next++;
      ++i;
    } else if (pattern.compare(i, 3, "{1}") == 0 || pattern.compare(i, 3, "{2}") == 0) {
      const std::size_t at = pattern[i + 1] == '1' ? 0 : 1;
      if (at < arguments.size()) out += *(arguments.begin() + at);
      i += 2;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string Joined(std::span<const std::string> names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

std::string Listed(LanguageIndex language, std::span<const std::string> names) {
  if (names.size() < 2) return Joined(names);
  return Joined(names.first(names.size() - 1)) + std::string(In(language, {" and ", " и "})) + names.back();
}

std::string SystemPhrase(std::string_view text) {
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 0x20 || text.back() == '.')) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

}  // namespace scaleboot
