// The words for ejecting a card, in English and Russian (UTF-8): the drive list's menu item, the boxes the
// windows show and the reasons an eject failed, shared by the windows and the command line.
#pragma once
#include <string>
#include <string_view>

#include "platform/Eject.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"
#include "ui/Words.h"

namespace scaleboot {

// "Eject" / "Извлечь".
std::string_view EjectMenuText(LanguageIndex language);
// The caption of the boxes that report an eject.
std::string_view EjectCaption(LanguageIndex language);
// What a window says when `root` was ejected: it may be removed (and, where the slot could not push it out,
// that it has to be pulled by hand).
std::string EjectDoneText(LanguageIndex language, const std::string& root,
                          const platform::EjectResult& result);
// The box a window shows after ejecting `root`: information that it may be removed, or an error with the
// reason.
MessageBoxSpec EjectResultBox(LanguageIndex language, const std::string& root,
                              const platform::EjectResult& result);

// Why an eject failed, as a phrase ("in use by: cat (123)"); empty for an ejected card.
std::string EjectReasonText(LanguageIndex language, const platform::EjectResult& result);
// The stable name of a failure for scripts: gone, in-use, not-authorized, access-denied, no-service, failed;
// empty for an ejected card.
std::string_view EjectErrorCode(const platform::EjectResult& result);

}  // namespace scaleboot
