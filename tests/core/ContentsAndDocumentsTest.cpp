#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "ui/Contents.h"
#include "ui/Documents.h"
#include "ui/Errors.h"
#include "ui/Words.h"

namespace scaleboot {
namespace {

TEST(Contents, EnglishTextIsThreeLinesWithoutAFinalBreak) {
  EXPECT_EQ(ComposeContentsText(kEnglish, false),
            "Firmware versions: \r\nP321835 - for ZR-LN(E) scales\r\nP282935 - for ZR-SN(E) scales");
  const MessageBoxSpec box = ShowModuleContents(kEnglish, 0, false);
  EXPECT_EQ(box.caption, "Module contains");
  EXPECT_EQ(box.text, ComposeContentsText(kEnglish, false));
  EXPECT_EQ(box.icon, BoxIcon::Information);
}

TEST(Contents, RussianTextHasTheSameShape) {
  const MessageBoxSpec box = ShowModuleContents(kRussian, 0, false);
  EXPECT_EQ(
      box.text,
      "Версии прошивок: \r\nP321835 - для весов ЮКС-Л(1)Д\r\nP282935 - для весов ЮКС-С(1), ЮКС-Л(1), ДГ..К5");
  EXPECT_EQ(box.caption, "Содержимое модуля");
}

TEST(Contents, AnyCorruptImageShowsTheCorruptionBoxInstead) {
  for (std::uint8_t count : {1, 2, 4}) {
    EXPECT_EQ(
        ShowModuleContents(kEnglish, count, false),
        (MessageBoxSpec{"Data is corrupted! Unable to create module!", "Checksum error", BoxIcon::Error}));
    EXPECT_EQ(ShowModuleContents(kRussian, count, false),
              (MessageBoxSpec{"Данные повреждены! Создание загрузочного модуля невозможно!",
                              "Ошибка контрольных сумм", BoxIcon::Error}));
  }
}

// A document host with resources in memory that records what it was asked to do.
class FakeHost : public platform::DocumentHost {
 public:
  std::map<std::string, std::vector<std::uint8_t>, std::less<>> resources;
  std::map<std::string, std::vector<std::uint8_t>> saved;
  std::vector<std::string> opened;
  SaveResult next;

  std::optional<std::span<const std::uint8_t>> FindDocumentData(std::string_view name) override {
    const auto it = resources.find(name);
    if (it == resources.end()) return std::nullopt;
    return std::span<const std::uint8_t>(it->second);
  }
  std::string ProgramFolder() override { return "/opt/scaleboot/"; }
  SaveResult SaveFile(const std::string& path, std::span<const std::uint8_t> bytes) override {
    if (next.status == SaveStatus::Saved) saved[path].assign(bytes.begin(), bytes.end());
    return next;
  }
  void ShellOpen(const std::string& path) override { opened.push_back(path); }
};

TEST(Documents, ManualFollowsTheLanguageChangeLogDoesNot) {
  EXPECT_EQ(ManualDocument(kRussian), (DocumentChoice{"Instruction", "Instruction.pdf"}));
  EXPECT_EQ(ManualDocument(kEnglish), (DocumentChoice{"Instruction_eng", "Instruction_eng.pdf"}));
  EXPECT_EQ(ChangesDocument(), (DocumentChoice{"Changes", "Changes.pdf"}));
}

TEST(Documents, SavesTheResourceNextToTheProgramThenOpensIt) {
  FakeHost host;
  host.resources["Changes"] = {'%', 'P', 'D', 'F'};
  OpenDocument(ChangesDocument(), host);
  OpenDocument(ChangesDocument(), host);
  EXPECT_EQ(host.saved.at("/opt/scaleboot/Changes.pdf"), host.resources["Changes"]);
  EXPECT_EQ(host.opened,
            (std::vector<std::string>{"/opt/scaleboot/Changes.pdf", "/opt/scaleboot/Changes.pdf"}));
}

TEST(Documents, MissingResourceRaisesItsTextAndOpensNothing) {
  FakeHost host;
  try {
    OpenDocument(ManualDocument(kEnglish), host);
    ADD_FAILURE();
  } catch (const RaisedError& e) {
    EXPECT_EQ(ErrorBoxText(e.what()), "Resource Instruction_eng not found.");
  }
  EXPECT_TRUE(host.opened.empty());
}

TEST(Documents, CannotCreateQuotesThePathAndTheTrimmedSystemText) {
  FakeHost host;
  host.resources["Instruction"] = {1};
  host.next = {platform::DocumentHost::SaveStatus::CannotCreate, "Access is denied. \r\n"};
  try {
    OpenDocument(ManualDocument(kRussian), host);
    ADD_FAILURE();
  } catch (const RaisedError& e) {
    EXPECT_STREQ(e.what(), "Cannot create file \"/opt/scaleboot/Instruction.pdf\". Access is denied");
    EXPECT_EQ(ErrorBoxText(e.what()),
              "Cannot create file \"/opt/scaleboot/Instruction.pdf\". Access is denied.");
  }
  EXPECT_TRUE(host.opened.empty());
}

TEST(Documents, ShortWriteRaisesStreamWriteError) {
  FakeHost host;
  host.resources["Changes"] = {1, 2, 3};
  host.next = {platform::DocumentHost::SaveStatus::ShortWrite, ""};
  try {
    OpenDocument(ChangesDocument(), host);
    ADD_FAILURE();
  } catch (const RaisedError& e) {
    EXPECT_EQ(ErrorBoxText(e.what()), "Stream write error.");
  }
  EXPECT_TRUE(host.opened.empty());
}

TEST(Documents, SystemMessageLosesTrailingBlanksControlsAndFullStopsInAnyMix) {
  EXPECT_EQ(SystemPhrase("Permission denied"), "Permission denied");
  EXPECT_EQ(SystemPhrase("Access is denied.\r\n"), "Access is denied");
  EXPECT_EQ(SystemPhrase("Odd . \t.. \n"), "Odd");
  EXPECT_EQ(SystemPhrase("v1.2 is busy"), "v1.2 is busy");
  EXPECT_EQ(SystemPhrase(" .\r\n"), "");
}

}  // namespace
}  // namespace scaleboot
