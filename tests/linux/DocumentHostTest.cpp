#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "TempDir.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Documents.h"
#include "ui/Errors.h"
#include "ui/Words.h"

namespace scaleboot {
namespace {

using platform::DocumentHost;
using platform::LinuxDocumentHost;
using testing::Bytes;
using testing::ReadAll;
using testing::TempDir;
using testing::TmpfsMount;
using testing::WriteAll;
using SaveStatus = DocumentHost::SaveStatus;

// Sets (or, given nullptr, removes) an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (saved_) {
      ::setenv(name_, saved_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(LinuxDocuments, TheThreeDocumentsAreFoundByTheirExactNames) {
  LinuxDocumentHost host("/unused/", nullptr);
  for (const std::string name : {"Instruction", "Instruction_eng", "Changes"}) {
    const auto found = host.FindDocumentData(name);
    ASSERT_TRUE(found.has_value()) << name;
    const auto file = ReadAll(std::string(SCALEBOOT_DOCUMENTS_DIR) + "/" + name + ".pdf");
    ASSERT_FALSE(file.empty()) << name;
    EXPECT_TRUE(std::equal(found->begin(), found->end(), file.begin(), file.end())) << name;
    EXPECT_EQ(std::string(found->begin(), found->begin() + 5), "%PDF-") << name;
  }
  for (const char* missing : {"instruction", "Changes.pdf", "Instruction_en", "", "Changes "}) {
    EXPECT_FALSE(host.FindDocumentData(missing).has_value()) << '"' << missing << '"';
  }
  try {
    OpenDocument({"Manual", "Manual.pdf"}, host);
    FAIL() << "a missing resource must raise";
  } catch (const RaisedError& error) {
    EXPECT_STREQ(error.what(), "Resource Manual not found");
  }
}

TEST(LinuxDocuments, SavingWritesExactBytesAndASecondSaveReplacesALongerFile) {
  TempDir dir;
  LinuxDocumentHost host(dir.root(), nullptr);
  const std::string path = dir / "Changes.pdf";
  WriteAll(path, std::string(10000, 'o'));
  const auto first = Bytes("%PDF-1.5 first copy, longer than the second");
  EXPECT_EQ(host.SaveFile(path, first).status, SaveStatus::Saved);
  EXPECT_EQ(ReadAll(path), first);
  const auto second = Bytes("%PDF-1.5 2nd");
  EXPECT_EQ(host.SaveFile(path, second).status, SaveStatus::Saved);
  EXPECT_EQ(ReadAll(path), second);
  EXPECT_EQ(host.SaveFile(path, {}).status, SaveStatus::Saved);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(LinuxDocuments, OpenDocumentSavesTheEmbeddedCopyNextToTheProgramAndOpensIt) {
  TempDir dir;
  std::vector<std::string> opened;
  LinuxDocumentHost host(dir.root(), [&](const std::string& path) { opened.push_back(path); });
  OpenDocument(ManualDocument(kRussian), host);
  OpenDocument(ManualDocument(kEnglish), host);
  OpenDocument(ChangesDocument(), host);
  EXPECT_EQ(opened, (std::vector<std::string>{dir / "Instruction.pdf", dir / "Instruction_eng.pdf",
                                              dir / "Changes.pdf"}));
  for (const std::string name : {"Instruction", "Instruction_eng", "Changes"}) {
    const auto embedded = *host.FindDocumentData(name);
    const auto saved = ReadAll(dir / (name + ".pdf"));
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), embedded.begin(), embedded.end())) << name;
  }
}

TEST(LinuxDocuments, AFolderThatCannotBeWrittenGivesCannotCreateWithTheSystemsWords) {
  TempDir dir;
  WriteAll(dir / "regular", "x");
  const ScopedEnvironment noCache("XDG_CACHE_HOME", (dir / "regular/cache").c_str());
  bool opened = false;
  LinuxDocumentHost host(dir / "regular/", [&](const std::string&) { opened = true; });
  const auto result = host.SaveFile(dir / "regular/Changes.pdf", Bytes("%PDF"));
  EXPECT_EQ(result.status, SaveStatus::CannotCreate);
  EXPECT_EQ(result.systemMessage, std::strerror(ENOTDIR));
  try {
    OpenDocument(ChangesDocument(), host);
    FAIL() << "must raise";
  } catch (const RaisedError& error) {
    EXPECT_EQ(ErrorBoxText(error.what()),
              "Cannot create file \"" + dir / "regular/Changes.pdf" + "\". Not a directory.");
  }
  EXPECT_FALSE(opened) << "a document that was not saved is not opened";

  // A FIFO under the document's name would block the write: refused at once.
  ASSERT_EQ(::mkfifo((dir / "Instruction.pdf").c_str(), 0644), 0);
  EXPECT_EQ(host.SaveFile(dir / "Instruction.pdf", Bytes("%PDF")).status, SaveStatus::CannotCreate);
}

TEST(LinuxDocuments, AProgramFolderThatCannotBeWrittenSendsTheDocumentsToTheUsersCacheFolder) {
  // A read-only file system stops root too, as a folder of the system stops an ordinary user.
  TmpfsMount installed("size=1m");
  if (!installed.mounted()) GTEST_SKIP() << "this process may not mount a tmpfs";
  ASSERT_TRUE(installed.RemountReadOnly());
  TempDir unpacked;
  TempDir home;
  WriteAll(home / "file", "x");

  struct Case {
    const char* what;
    std::string programFolder;
    const char* cacheHome;  // XDG_CACHE_HOME, or nullptr for unset
    std::string savedIn;
  };
  const std::string cacheHome = home / "xdg/cache";
  const Case cases[] = {
      {"a writable program folder keeps its documents", unpacked.root(), cacheHome.c_str(), unpacked.root()},
      {"XDG_CACHE_HOME, made with its parents", installed.dir().root(), cacheHome.c_str(),
       cacheHome + "/scaleboot/"},
      {"unset: ~/.cache", installed.dir().root(), nullptr, home / ".cache/scaleboot/"},
      {"relative: ignored", installed.dir().root(), "relative/cache", home / ".cache/scaleboot/"},
  };
  const ScopedEnvironment homeVariable("HOME", home.path().c_str());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScopedEnvironment cacheVariable("XDG_CACHE_HOME", c.cacheHome);
    std::vector<std::string> opened;
    LinuxDocumentHost host(c.programFolder, [&](const std::string& path) { opened.push_back(path); });
    OpenDocument(ManualDocument(kEnglish), host);
    EXPECT_EQ(opened, std::vector<std::string>{c.savedIn + "Instruction_eng.pdf"});
    const auto embedded = *host.FindDocumentData("Instruction_eng");
    const auto saved = ReadAll(c.savedIn + "Instruction_eng.pdf");
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), embedded.begin(), embedded.end()));
  }
  EXPECT_TRUE(std::filesystem::is_empty(installed.dir().path()));
  EXPECT_FALSE(std::filesystem::exists("relative"));
  // Made private to the user, as the cache folder's rules ask.
  struct stat st {};
  ASSERT_EQ(::stat((cacheHome + "/scaleboot").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat((home / "xdg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // When the cache folder cannot be made either, the program folder's failure is reported as it always was.
  const ScopedEnvironment blocked("XDG_CACHE_HOME", (home / "file/cache").c_str());
  LinuxDocumentHost host(installed.dir().root(), nullptr);
  try {
    OpenDocument(ManualDocument(kEnglish), host);
    FAIL() << "must raise";
  } catch (const RaisedError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + installed.dir() / "Instruction_eng.pdf" +
                                             "\". Read-only file system");
  }
}

TEST(LinuxDocuments, ForAnOrdinaryUserASystemProgramFolderIsNotWritable) {
  if (::getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
  // As installed: the program folder belongs to root; the user "nobody" has a home of its own.
  TempDir system;
  TempDir home;
  ASSERT_EQ(::chmod(system.path().c_str(), 0755), 0);
  ASSERT_EQ(::chown(home.path().c_str(), 65534, 65534), 0);
  const ScopedEnvironment homeVariable("HOME", home.path().c_str());
  const ScopedEnvironment cacheVariable("XDG_CACHE_HOME", nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    LinuxDocumentHost host(system.root(), nullptr);
    ::_exit(host.ProgramFolder() == home / ".cache/scaleboot/" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: another folder was chosen, 2: could not become nobody";
  EXPECT_TRUE(std::filesystem::is_directory(home / ".cache/scaleboot"));
}

TEST(LinuxDocuments, AnInstalledProgramNeverSavesIntoItsFolderEvenWhereItMayWrite) {
  // A stand-in for /usr: this process (root, too) may write into every folder here.
  TempDir tree;
  TempDir home;
  for (const char* folder : {"usr", "usr/bin", "usr2", "usr2/bin"}) {
    ASSERT_TRUE(std::filesystem::create_directory(tree / folder)) << folder;
  }
  WriteAll(home / "file", "x");
  const ScopedEnvironment homeVariable("HOME", home.path().c_str());
  const ScopedEnvironment cacheVariable("XDG_CACHE_HOME", nullptr);
  const std::string cache = home / ".cache/scaleboot/";
  const std::string installed = tree / "usr/bin/";

  struct Case {
    const char* what;
    std::string programFolder;
    std::vector<std::string> systemFolders;
    std::string savedIn;
  };
  const Case cases[] = {
      {"installed under a system folder: the user's cache folder", installed, {tree / "usr/"}, cache},
      {"the same folder run as its own copy: beside the program", installed, {}, installed},
      {"a folder whose name only begins like a system folder's",
       tree / "usr2/bin/",
       {tree / "usr/"},
       tree / "usr2/bin/"},
      {"one of several system folders", installed, {tree / "opt/", tree / "usr/"}, cache},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> opened;
    LinuxDocumentHost host(
        c.programFolder, [&](const std::string& path) { opened.push_back(path); }, c.systemFolders);
    OpenDocument(ManualDocument(kEnglish), host);
    EXPECT_EQ(opened, std::vector<std::string>{c.savedIn + "Instruction_eng.pdf"});
    EXPECT_TRUE(std::filesystem::is_regular_file(c.savedIn + "Instruction_eng.pdf"));
    std::filesystem::remove(c.savedIn + "Instruction_eng.pdf");
  }
  EXPECT_TRUE(std::filesystem::is_empty(installed));

  // The real system folders, by default: only the choice of folder is looked at here.
  for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/opt/scaleboot/"}) {
    EXPECT_EQ(LinuxDocumentHost(folder, nullptr).ProgramFolder(), cache) << folder;
  }

  // With no cache folder to be had, an installed program's save is refused, not made into its folder.
  const ScopedEnvironment blocked("XDG_CACHE_HOME", (home / "file/cache").c_str());
  bool opened = false;
  LinuxDocumentHost host(installed, [&](const std::string&) { opened = true; }, {tree / "usr/"});
  try {
    OpenDocument(ChangesDocument(), host);
    FAIL() << "must raise";
  } catch (const RaisedError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot create file \"" + installed + "Changes.pdf\". " + SystemPhrase(std::strerror(EACCES)));
  }
  EXPECT_FALSE(opened);
  EXPECT_TRUE(std::filesystem::is_empty(installed));
}

TEST(LinuxDocuments, ACopyLockedByAnotherProcessIsNeitherCutNorReplaced) {
  TempDir dir;
  const std::string path = dir / "Changes.pdf";
  WriteAll(path, "held by a viewer");
  const int viewer = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(viewer, 0);
  ASSERT_EQ(::flock(viewer, LOCK_SH), 0);
  LinuxDocumentHost host(dir.root(), nullptr);
  const auto result = host.SaveFile(path, Bytes("%PDF new"));
  EXPECT_EQ(result.status, SaveStatus::CannotCreate);
  EXPECT_EQ(result.systemMessage, std::strerror(EWOULDBLOCK));
  EXPECT_EQ(ReadAll(path), Bytes("held by a viewer"));
  ::close(viewer);
  EXPECT_EQ(host.SaveFile(path, Bytes("%PDF new")).status, SaveStatus::Saved);
  EXPECT_EQ(ReadAll(path), Bytes("%PDF new"));
}

// Limits the size of files this process may write for the life of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of killing us
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST(LinuxDocuments, AWriteThatStoresFewerBytesIsAStreamWriteErrorAndThePartialFileStays) {
  TempDir dir;
  bool opened = false;
  LinuxDocumentHost host(dir.root(), [&](const std::string&) { opened = true; });
  const auto embedded = *host.FindDocumentData("Changes");
  const std::size_t cut = embedded.size() / 2;
  ASSERT_GT(cut, 0u);
  {
    FileSizeLimit limit(cut);
    try {
      OpenDocument(ChangesDocument(), host);
      FAIL() << "must raise";
    } catch (const RaisedError& error) {
      EXPECT_EQ(ErrorBoxText(error.what()), "Stream write error.");
    }
  }
  EXPECT_FALSE(opened);
  const auto partial = ReadAll(dir / "Changes.pdf");
  EXPECT_EQ(partial.size(), cut);
  EXPECT_TRUE(std::equal(partial.begin(), partial.end(), embedded.begin()));
}

TEST(LinuxDocuments, ShellOpenHandsThePathToTheOpenerAndNeverThrows) {
  std::vector<std::string> paths;
  LinuxDocumentHost recording("/opt/sb/", [&](const std::string& path) { paths.push_back(path); });
  recording.ShellOpen("/opt/sb/Changes.pdf");
  EXPECT_EQ(paths, std::vector<std::string>{"/opt/sb/Changes.pdf"});

  LinuxDocumentHost none("/opt/sb/", nullptr);
  EXPECT_NO_THROW(none.ShellOpen("/opt/sb/Changes.pdf"));
  LinuxDocumentHost failing("/opt/sb/", [](const std::string&) { throw std::runtime_error("no viewer"); });
  EXPECT_NO_THROW(failing.ShellOpen("/opt/sb/Changes.pdf"));
}

TEST(LinuxDocuments, TheProgramFolderIsTheFolderOfThisExecutable) {
  const std::string folder = platform::OwnProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "linux_platform_tests")) << folder;
}

}  // namespace
}  // namespace scaleboot
