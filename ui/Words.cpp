#include "ui/Words.h"

#include "common/Errors.h"

namespace scaleboot {

std::string_view In(LanguageIndex language, const Words& words) {
  if (language >= kLanguageCount) throw RangeError();
  return words[language];
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
