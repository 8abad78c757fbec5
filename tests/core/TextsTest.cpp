#include <gtest/gtest.h>

#include <vector>

#include "images/FirmwareImages.h"
#include "ui/Contents.h"
#include "ui/Errors.h"
#include "ui/MessageTable.h"
#include "ui/TestMark.h"
#include "ui/WindowTexts.h"

namespace scaleboot {
namespace {

// The table as the users have always seen it; trailing and leading blanks matter.
const char* const kEnglishRows[] = {
    "Scales loading module (version ",
    "Select miniSD card",
    "Create module on card",
    "Included firmware versions",
    "Scales programming user manual",
    "(Adobe Reader needed)",
    "Release notes - change log",
    "Module creation completed successfully",
    "Creation completed",
    "Module creation completed with errors!",
    "Firmware versions: ",
    " - for ZR-LN(E) scales",
    " - for ZR-SN(E) scales",
    "Data is corrupted! Unable to create module!",
    "Checksum error",
    "Module contains",
};
const char* const kRussianRows[] = {
    "\u0417\u0430\u0433\u0440\u0443\u0437\u043e\u0447\u043d\u044b\u0439 \u043c\u043e\u0434\u0443\u043b\u044c "
    "\u042e\u041a\u0421 (\u0432\u0435\u0440\u0441\u0438\u044f ",
    "\u0412\u044b\u0431\u0435\u0440\u0438\u0442\u0435 \u043a\u0430\u0440\u0442\u0443 "
    "\u043f\u0430\u043c\u044f\u0442\u0438",
    "Записать загрузочный модуль на карту",
    "Версии ПО весов, включенные в модуль",
    "Инструкция по программированию весов с карты памяти",
    "(для просмотра необходим Adobe Reader)",
    "Изменения в ПО весов по сравнению с предыдущими версиями",
    "Запись загрузочного модуля на карту завершена успешно",
    "Запись завершена",
    "Запись загрузочного модуля на карту завершена с ошибками!",
    "Версии прошивок: ",
    " - для весов ЮКС-Л(1)Д",
    " - для весов ЮКС-С(1), ЮКС-Л(1), ДГ..К5",
    "Данные повреждены! Создание загрузочного модуля невозможно!",
    "Ошибка контрольных сумм",
    "Содержимое модуля",
};

TEST(MessageTable, EveryRowInBothLanguagesByteForByte) {
  for (std::size_t row = 0; row < kMessageRows; ++row) {
    EXPECT_EQ(Text(0, static_cast<Msg>(row)), kEnglishRows[row]) << "row " << row;
    EXPECT_EQ(Text(1, static_cast<Msg>(row)), kRussianRows[row]) << "row " << row;
  }
  // The Russian title prefix spelled out in bytes, so an editor's re-encoding of the source cannot pass.
  EXPECT_EQ(Text(kRussian, Msg::TitlePrefix).substr(0, 4), "\xD0\x97\xD0\xB0");
  EXPECT_EQ(Text(kRussian, Msg::TitlePrefix).back(), ' ');
}

TEST(MessageTable, OutOfRangeLookupsRaise) {
  EXPECT_THROW(Text(2, Msg::TitlePrefix), RangeError);
  EXPECT_THROW(Text(0, static_cast<Msg>(16)), RangeError);
  EXPECT_THROW(Text(255, Msg::ContentsCaption), RangeError);
}

TEST(WindowTexts, RussianAndEnglishTitlesHints) {
  const WindowTexts ru = ComposeWindowTexts(kRussian, FormatProgramVersion(0x00020012u), false);
  EXPECT_EQ(ru.caption, "Загрузочный модуль ЮКС (версия 2.18)");
  EXPECT_EQ(ru.label, "Выберите карту памяти");
  EXPECT_EQ(ru.button, "Записать загрузочный модуль на карту");
  EXPECT_EQ(ru.versionsHint, "Версии ПО весов, включенные в модуль");
  EXPECT_EQ(ru.manualHint,
            "Инструкция по программированию весов с карты памяти\r\n(для просмотра необходим Adobe Reader)");
  EXPECT_EQ(
      ru.changesHint,
      "Изменения в ПО весов по сравнению с предыдущими версиями\r\n(для просмотра необходим Adobe Reader)");

  const WindowTexts en = ComposeWindowTexts(kEnglish, "2.18", false);
  EXPECT_EQ(en.caption, "Scales loading module (version 2.18)");
  EXPECT_EQ(en.label, "Select miniSD card");
  EXPECT_EQ(en.button, "Create module on card");
  EXPECT_EQ(en.manualHint, "Scales programming user manual\r\n(Adobe Reader needed)");
  EXPECT_EQ(en.changesHint, "Release notes - change log\r\n(Adobe Reader needed)");

  // A screen reader names each image button by its hint's first line and the drive list by the label.
  for (const WindowTexts& texts : {ru, en}) {
    EXPECT_EQ(texts.versionsName, texts.versionsHint);
    EXPECT_EQ(texts.manualName + "\r\n", texts.manualHint.substr(0, texts.manualName.size() + 2));
    EXPECT_EQ(texts.changesName + "\r\n", texts.changesHint.substr(0, texts.changesName.size() + 2));
    EXPECT_EQ(texts.driveListName, texts.label);
  }
  EXPECT_EQ(en.manualName, "Scales programming user manual");
}

// A build says it carries test firmware exactly when its images begin with the placeholder marker; a
// release's texts stay exact. No test build has the real firmware, so the release's images are the
// placeholders with their first two bytes swapped: the marker is gone and every checksum still holds.
TEST(TestFirmwareMark, MarksTheTitleAndContentsOfATestBuildOnly) {
  std::vector<std::vector<std::uint8_t>> bytes;
  ImageTable release = FirmwareImages();
  for (FirmwareImage& image : release) {
    bytes.emplace_back(image.bytes.begin(), image.bytes.end());
    std::swap(bytes.back()[0], bytes.back()[1]);
  }
  for (std::size_t i = 0; i < release.size(); ++i) release[i].bytes = bytes[i];
  ImageTable oneLeft = release;
  oneLeft[3] = FirmwareImages()[3];
  struct Case {
    const ImageTable& images;
    LanguageIndex language;
    bool test;
    const char* caption;
    const char* contentsEnd;
  };
  const Case cases[] = {
      {FirmwareImages(), kRussian, true, "Загрузочный модуль ЮКС (версия 2.18) [ТЕСТ]",
       "ДГ..К5\r\nтестовая прошивка, не для весов"},
      {FirmwareImages(), kEnglish, true, "Scales loading module (version 2.18) [TEST]",
       "ZR-SN(E) scales\r\ntest firmware, not for scales"},
      {oneLeft, kEnglish, true, "Scales loading module (version 2.18) [TEST]", "not for scales"},
      {release, kRussian, false, "Загрузочный модуль ЮКС (версия 2.18)", "ЮКС-С(1), ЮКС-Л(1), ДГ..К5"},
      {release, kEnglish, false, "Scales loading module (version 2.18)", "P282935 - for ZR-SN(E) scales"},
  };
  for (const Case& c : cases) {
    std::uint8_t corrupt = 0;
    VerifyImageChecksums(c.images, corrupt);
    EXPECT_EQ(corrupt, 0);
    const bool test = CarriesTestFirmware(c.images);
    EXPECT_EQ(test, c.test) << c.caption;
    EXPECT_EQ(ComposeWindowTexts(c.language, "2.18", test).caption, c.caption);
    EXPECT_TRUE(ComposeContentsText(c.language, test).ends_with(c.contentsEnd)) << c.contentsEnd;
    EXPECT_EQ(ShowModuleContents(c.language, 0, test).caption, Text(c.language, Msg::ContentsCaption));
  }
  EXPECT_TRUE(IsTestBuild()) << "a test build carries the placeholder images";
}

TEST(WindowTexts, VersionFormatsBothHalvesUnsignedWithFallback) {
  EXPECT_EQ(FormatProgramVersion(0x00020012u), "2.18");
  EXPECT_EQ(FormatProgramVersion(0xFFFF0000u), "65535.0");
  EXPECT_EQ(FormatProgramVersion(std::nullopt), "65535.65535");
}

TEST(WindowTexts, DriveListStartsTenPixelsRightOfTheLabel) {
  EXPECT_EQ(DriveListLeft(8, 118), 136);
  EXPECT_EQ(DriveListLeft(8, 93), 111);
}

TEST(ErrorText, FullStopOnlyAfterBytesAboveTheFullStop) {
  for (const char* gets :
       {"I/O error 19", "File not found", "abc/", "ratio:", "Z", "ошибка", "Stream write error"}) {
    EXPECT_EQ(ErrorBoxText(gets), std::string(gets) + ".") << gets;
  }
  for (const char* keeps :
       {"done.", "trailing ", "bang!", "quote\"", "paren)", "comma,", "dash-", "hash#", "plus+"}) {
    EXPECT_EQ(ErrorBoxText(keeps), keeps) << keeps;
  }
  EXPECT_EQ(ErrorBoxText(""), "");
  EXPECT_EQ(ErrorBoxText(IoError(19).what()), "I/O error 19.");
}

TEST(ErrorText, IoCodesMapToTheirTexts) {
  const std::pair<int, const char*> rows[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {1, "I/O error 1"},
      {21, "I/O error 21"},
      {1117, "I/O error 1117"},
  };
  for (const auto& [code, text] : rows) {
    const IoError e(code);
    EXPECT_STREQ(e.what(), text);
    EXPECT_EQ(e.code(), code);
  }
}

TEST(ErrorText, FallbackTitleFromTheExecutableName) {
  EXPECT_EQ(FallbackApplicationTitle("C:\\Program Files\\ScaleBoot\\ScaleBoot.exe"), "Scaleboot");
  EXPECT_EQ(FallbackApplicationTitle("/usr/local/bin/scaleboot"), "scaleboot");
  EXPECT_EQ(FallbackApplicationTitle("/opt/SCALE.BOOT.v2/My.Tool.bin"), "My");
  EXPECT_EQ(FallbackApplicationTitle("SB.exe"), "Sb");
  EXPECT_EQ(FallbackApplicationTitle(""), "");
}

}  // namespace
}  // namespace scaleboot
