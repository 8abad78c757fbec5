#include "ui/WriteResult.h"

#include <string>

namespace scaleboot {

MessageBoxSpec WriteResultBox(WriteOutcome outcome, LanguageIndex language) {
  if (outcome == WriteOutcome::Verified) {
    return {std::string(Text(language, Msg::WriteOkText)), std::string(Text(language, Msg::WriteOkCaption)),
            BoxIcon::Information};
  }
  const std::string failed(Text(language, Msg::WriteFailedText));
  return {failed, failed, BoxIcon::Error};
}

}  // namespace scaleboot
