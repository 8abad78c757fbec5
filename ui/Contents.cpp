#include "ui/Contents.h"

#include "images/FirmwareImages.h"

namespace scaleboot {

std::string ComposeSetLine(LanguageIndex language, ImageSet set) {
  return ComposeVersionLabel(set) +
         std::string(Text(language, set == ImageSetA ? Msg::SetASuffix : Msg::SetBSuffix));
}

std::string ComposeContentsText(LanguageIndex language) {
  return std::string(Text(language, Msg::VersionsHeader)) + "\r\n" + ComposeSetLine(language, ImageSetA) +
         "\r\n" + ComposeSetLine(language, ImageSetB);
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
