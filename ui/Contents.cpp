#include "ui/Contents.h"

#include "images/FirmwareImages.h"
#include "ui/TestMark.h"

namespace scaleboot {

std::string ComposeSetLine(LanguageIndex language, ImageSet set) {
  return ComposeVersionLabel(set) +
         std::string(Text(language, set == ImageSetA ? Msg::SetASuffix : Msg::SetBSuffix));
}

std::string ComposeContentsText(LanguageIndex language, bool testFirmware) {
  return WithTestLine(language,
                      std::string(Text(language, Msg::VersionsHeader)) + "\r\n" +
                          ComposeSetLine(language, ImageSetA) + "\r\n" + ComposeSetLine(language, ImageSetB),
                      testFirmware);
}

MessageBoxSpec ShowModuleContents(LanguageIndex language, std::uint8_t corruptCount, bool testFirmware) {
  const std::string contents = ComposeContentsText(language, testFirmware);
  if (corruptCount != 0) {
    return {std::string(Text(language, Msg::CorruptText)), std::string(Text(language, Msg::CorruptCaption)),
            BoxIcon::Error};
  }
  return {contents, std::string(Text(language, Msg::ContentsCaption)), BoxIcon::Information};
}

}  // namespace scaleboot
