#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/Embedded.h"
#include "ui/Documents.h"
#include "ui/Errors.h"
#include "ui/Words.h"

namespace scaleboot {
// The three documents as built into this test program from the same files as the resources.
std::span<const EmbeddedFile> ExpectedDocuments();
}  // namespace scaleboot

namespace scaleboot::platform {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::Utf8;
using testing::WriteAll;

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> bytes) {
  return {bytes.begin(), bytes.end()};
}

TEST(DocumentHost, FindsEachDocumentByItsResourceName) {
  Win32DocumentHost host;
  ASSERT_EQ(ExpectedDocuments().size(), 3u);
  for (const EmbeddedFile& expected : ExpectedDocuments()) {
    const auto found = host.FindDocumentData(expected.name);
    ASSERT_TRUE(found.has_value()) << expected.name;
    EXPECT_EQ(Bytes(*found), Bytes(expected.bytes())) << expected.name;
    EXPECT_EQ(Bytes(found->first(5)), (std::vector<std::uint8_t>{'%', 'P', 'D', 'F', '-'})) << expected.name;
  }
  EXPECT_FALSE(host.FindDocumentData("Instruction.pdf").has_value());
  EXPECT_FALSE(host.FindDocumentData("Manual").has_value());
  EXPECT_FALSE(host.FindDocumentData("").has_value());
}

TEST(DocumentHost, TheProgramFolderHoldsTheRunningProgram) {
  Win32DocumentHost host;
  const std::string folder = host.ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(folder + "win32_platform_tests.exe", OwnExecutablePath());
  EXPECT_TRUE(std::filesystem::is_regular_file(Widen(OwnExecutablePath())));
}

TEST(DocumentHost, SavingReplacesAnEarlierLongerCopy) {
  TempDir dir;
  Win32DocumentHost host;
  const auto document = host.FindDocumentData("Changes");
  ASSERT_TRUE(document.has_value());
  WriteAll(dir / "Changes.pdf", std::vector<std::uint8_t>(document->size() + 4096, 'z'));

  const auto result = host.SaveFile(Utf8(dir / "Changes.pdf"), *document);
  EXPECT_EQ(result.status, DocumentHost::SaveStatus::Saved);
  EXPECT_EQ(ReadAll(dir / "Changes.pdf"), Bytes(*document));

  // An empty document gives an empty file.
  EXPECT_EQ(host.SaveFile(Utf8(dir / "Changes.pdf"), {}).status, DocumentHost::SaveStatus::Saved);
  EXPECT_TRUE(ReadAll(dir / "Changes.pdf").empty());
}

TEST(DocumentHost, AFileThatCannotBeCreatedIsReportedWithTheSystemsReason) {
  TempDir dir;
  Win32DocumentHost host;
  const std::vector<std::uint8_t> bytes{'%', 'P', 'D', 'F'};

  // A folder below a regular file cannot exist.
  WriteAll(dir / "plain-file", {1});
  const auto underFile = host.SaveFile(Utf8(dir / "plain-file" / "Instruction.pdf"), bytes);
  EXPECT_EQ(underFile.status, DocumentHost::SaveStatus::CannotCreate);
  EXPECT_FALSE(SystemPhrase(underFile.systemMessage).empty()) << underFile.systemMessage;

  // A viewer holding the previous copy open without sharing it.
  WriteAll(dir / "Instruction.pdf", {1, 2});
  const HANDLE viewer = ::CreateFileW((dir / "Instruction.pdf").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
  const auto held = host.SaveFile(Utf8(dir / "Instruction.pdf"), bytes);
  ::CloseHandle(viewer);
  EXPECT_EQ(held.status, DocumentHost::SaveStatus::CannotCreate);
  EXPECT_EQ(held.systemMessage, SystemErrorText(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ReadAll(dir / "Instruction.pdf"), (std::vector<std::uint8_t>{1, 2}));
}

// The real host, except that the shell is not asked to open anything.
class HostWithoutShell : public Win32DocumentHost {
 public:
  std::vector<std::string> opened;
  void ShellOpen(const std::string& path) override { opened.push_back(path); }
};

TEST(DocumentHost, OpenDocumentSavesTheManualNextToTheProgram) {
  HostWithoutShell host;
  const std::string path = host.ProgramFolder() + "Instruction_eng.pdf";
  ::DeleteFileW(Widen(path).c_str());
  OpenDocument(ManualDocument(kEnglish), host);
  EXPECT_EQ(host.opened, std::vector<std::string>{path});
  EXPECT_EQ(ReadAll(Widen(path)), Bytes(*host.FindDocumentData("Instruction_eng")));
  ::DeleteFileW(Widen(path).c_str());
}

TEST(DocumentHost, OpenDocumentErrorTextsEndCleanly) {
  // Saving into a path below this program's own file fails; the text ends in the system's reason, without
  // trailing blanks, line breaks or full stops.
  class BelowProgram : public HostWithoutShell {
   public:
    std::string ProgramFolder() override { return OwnExecutablePath() + "\\"; }
  } below;
  try {
    OpenDocument(ChangesDocument(), below);
    FAIL() << "no error raised";
  } catch (const RaisedError& e) {
    const std::string text = e.what();
    const std::string start = "Cannot create file \"" + OwnExecutablePath() + "\\Changes.pdf\". ";
    ASSERT_GT(text.size(), start.size()) << text;
    EXPECT_EQ(text.substr(0, start.size()), start);
    const char last = text.back();
    EXPECT_TRUE(last != '.' && static_cast<unsigned char>(last) > 0x20) << text;
  }
  EXPECT_TRUE(below.opened.empty());
}

// Only a refusal of rights (5) or a write-protected medium (19) sends the documents elsewhere: not a copy
// that another program holds open (32), another failure or an unknown local folder.
TEST(DocumentHost, OnlyARefusedProgramFolderSendsTheDocumentsElsewhere) {
  const struct {
    DWORD code;
    std::optional<std::string> local;
    bool elsewhere;
  } cases[] = {{5, "C:\\L", true},    {19, "C:\\L", true},      {32, "C:\\L", false}, {3, "C:\\L", false},
               {112, "C:\\L", false}, {5, std::nullopt, false}, {5, "", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(DocumentFallbackFolder(c.code, c.local),
              c.elsewhere ? std::optional<std::string>("C:\\L\\ScaleBoot\\") : std::nullopt)
        << c.code;
  }
  wchar_t named[MAX_PATH] = {};  // the folder %LOCALAPPDATA% names is the user's local folder
  ASSERT_GT(::GetEnvironmentVariableW(L"LOCALAPPDATA", named, MAX_PATH), 0u);
  EXPECT_EQ(Win32DocumentHost().LocalAppDataFolder(), Utf8(named));
}

// The real host on real folders, but its program folder refuses files with `refusal` (as root under Wine no
// folder is closed) and its local application data folder is a temporary one.
class RefusingHost : public HostWithoutShell {
 public:
  RefusingHost(const TempDir& dir, DWORD refusal)
      : program_(Utf8(dir / "program") + "\\"), local_(Utf8(dir.path())), refusal_(refusal) {
    std::filesystem::create_directory(dir / "program");
  }
  std::string ProgramFolder() override { return program_; }
  std::optional<std::string> LocalAppDataFolder() override { return local_; }
  SaveResult SaveFile(const std::string& path, std::span<const std::uint8_t> bytes) override {
    if (refusal_ != 0 && path.rfind(program_, 0) == 0) {
      return {SaveStatus::CannotCreate, SystemErrorText(refusal_), refusal_};
    }
    return Win32DocumentHost::SaveFile(path, bytes);
  }

 private:
  std::string program_, local_;
  DWORD refusal_;
};

TEST(DocumentHost, ARefusedDocumentIsSavedIntoAndOpenedFromTheLocalFolder) {
  const struct {
    DWORD refusal;
    bool localBlocked;   // a plain file stands where the folder ScaleBoot goes
    const char* folder;  // where the document is saved and opened, or the one the error names
    bool opened;
  } cases[] = {{0, false, "program", true},
               {5, false, "ScaleBoot", true},
               {19, false, "ScaleBoot", true},
               {32, false, "program", false},
               {5, true, "ScaleBoot", false}};
  for (const auto& c : cases) {
    TempDir dir;
    RefusingHost host(dir, c.refusal);
    if (c.localBlocked) WriteAll(dir / "ScaleBoot", {1});
    const std::string path = Utf8(dir / c.folder / "Changes.pdf");
    std::string error;
    try {
      OpenDocument(ChangesDocument(), host);
    } catch (const RaisedError& e) {
      error = e.what();
    }
    EXPECT_EQ(host.opened, c.opened ? std::vector<std::string>{path} : std::vector<std::string>{})
        << c.refusal;
    if (c.opened) {
      EXPECT_EQ(ReadAll(Widen(path)), Bytes(*host.FindDocumentData("Changes"))) << c.refusal;
    } else {
      EXPECT_EQ(error.rfind("Cannot create file \"" + path + "\". ", 0), 0u) << error;
    }
  }
}

TEST(DocumentHost, AFailingShellOpenReturnsWithoutAskingAnything) {
  TempDir dir;
  Win32DocumentHost host;
  // Nothing is registered for this kind of file, and the file does not exist either: the call returns (no
  // box waits for an answer) and raises nothing.
  EXPECT_NO_THROW(host.ShellOpen(Utf8(dir / "missing.scaleboot-no-viewer")));
}

}  // namespace
}  // namespace scaleboot::platform
