#include "ui/Contents.h"

#include "images/FirmwareImages.h"

namespace scaleboot {

std::string ComposeContentsText(LanguageIndex language) {
  std::string text(Text(language, Msg::VersionsHeader));
  text += "\r\n";
  text += ComposeVersionLabel(ImageSetA);
  text += Text(language, Msg::SetASuffix);
  text += "\r\n";
  text += ComposeVersionLabel(ImageSetB);
  text += Text(language, Msg::SetBSuffix);
  return text;
}

MessageBoxSpec ShowModuleContents(LanguageIndex language, std::uint8_t corruptCount) {
  const std::string contents = ComposeContentsText(language);
  if (corruptCount != 0) {
    return {std::string(Text(language, Msg::CorruptText)), std::string(Text(language, Msg::CorruptCaption)),
            BoxIcon::Error};
  }
  return {contents, std::string(Text(language, Msg::ContentsCaption)), BoxIcon::Information};
}

}  // namespace scaleboot
