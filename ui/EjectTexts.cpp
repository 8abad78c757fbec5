#include "ui/EjectTexts.h"

#include <array>

namespace scaleboot {
namespace {

using Status = platform::EjectResult::Status;

}  // namespace

std::string_view EjectMenuText(LanguageIndex language) {
  return In(language, {"Eject", "Извлечь"});
}

std::string_view EjectCaption(LanguageIndex language) {
  return In(language, {"Eject", "Извлечение"});
}

std::string EjectDoneText(LanguageIndex language, const std::string& root,
                          const platform::EjectResult& result) {
  std::string text(In(language, {"The card in ", "Карту в "}));
  text += root;
  text += In(language, {" may be removed.", " можно извлечь."});
  if (!result.mediaEjected) {
    text += In(language, {" The slot cannot push it out: pull it by hand.",
                          " Гнездо не выталкивает её: выньте её рукой."});
  }
  return text;
}

MessageBoxSpec EjectResultBox(LanguageIndex language, const std::string& root,
                              const platform::EjectResult& result) {
  if (result.status == Status::Ejected) {
    return {EjectDoneText(language, root, result), std::string(EjectCaption(language)), BoxIcon::Information};
  }
  std::string text(In(language, {"The card in ", "Карту в "}));
  text += root;
  text += In(language, {" could not be ejected: ", " не удалось извлечь: "});
  text += EjectReasonText(language, result);
  text += '.';
  return {text, std::string(EjectCaption(language)), BoxIcon::Error};
}

std::string EjectReasonText(LanguageIndex language, const platform::EjectResult& result) {
  switch (result.status) {
    case Status::Ejected:
      return "";
    case Status::Gone:
      return std::string(In(language, {"the card is gone", "карты больше нет"}));
    case Status::InUse: {
      std::string text(In(language, {"in use by another program", "занята другой программой"}));
      if (!result.holders.empty()) {
        text += ": ";
        for (std::size_t i = 0; i < result.holders.size(); ++i) text += (i ? ", " : "") + result.holders[i];
      }
      return text;
    }
    case Status::NotAuthorized:
      return std::string(In(language, {"not authorized", "нет разрешения"}));
    case Status::AccessDenied:
      return std::string(In(language, {"access denied", "доступ запрещён"}));
    case Status::NoService:
      return std::string(In(language, {"udisks is not running and the program does not run as root",
                                       "udisks не запущен, а программа запущена не от root"}));
    case Status::SystemDisk:
      return std::string(In(language, {"the drive is on the disk the system runs from",
                                       "диск находится на диске, с которого работает система"}));
    case Status::NotRemovable:
      return std::string(In(language, {"the drive is not a removable drive", "диск не съёмный"}));
    case Status::Failed:
      break;
  }
  const std::string detail = SystemPhrase(result.detail);
  return detail.empty() ? std::string(In(language, {"failed", "ошибка"})) : detail;
}

std::string_view EjectErrorCode(const platform::EjectResult& result) {
  // In the order of EjectResult::Status, from Ejected (no error) to Failed.
  constexpr std::array<std::string_view, 9> kCodes{
      "",           "gone",        "in-use",        "not-authorized", "access-denied",
      "no-service", "system-disk", "not-removable", "failed"};
  return kCodes[static_cast<std::size_t>(result.status)];
}

}  // namespace scaleboot
