// InspectPath on what only a Linux card can hold: symbolic links (never followed, whatever they point at)
// and special files, which verify names instead of reporting "access denied".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/AppendFile.h"
#include "platform/Platform.h"

namespace scaleboot::platform {
namespace {

namespace fs = std::filesystem;
using Kind = PathInfo::Kind;

TEST(InspectPath, NamesLinksAndSpecialFilesWithoutFollowingThem) {
  const fs::path folder =
      fs::temp_directory_path() /
      ("scaleboot-special-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::ofstream(folder / "module.bin", std::ios::binary) << std::string(1234, 'x');
  fs::create_symlink("module.bin", folder / "to-file");
  fs::create_directory_symlink(".", folder / "to-folder");
  fs::create_symlink("nothing", folder / "dangling");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    Kind kind;
  } cases[] = {
      {(folder / "to-file").string(), Kind::SymbolicLink},
      {(folder / "to-folder").string(), Kind::SymbolicLink},
      {(folder / "dangling").string(), Kind::SymbolicLink},
      {(folder / "fifo").string(), Kind::Other},
      {"/dev/null", Kind::Other},
  };
  for (const auto& c : cases) {
    const PathInfo info = InspectPath(c.path);
    EXPECT_EQ(info.kind, c.kind) << c.path;
    EXPECT_EQ(info.size, 0u) << c.path;
  }
  fs::remove_all(folder);
}

// The card log is opened only where it is a regular file; as root, never through a symbolic link. A FIFO
// nobody reads is refused at once instead of hanging the program.
TEST(OpenAppendFile, TakesOnlyARegularFileAndAsRootNoLink) {
  using Reason = AppendRefusal::Reason;
  const fs::path folder =
      fs::temp_directory_path() /
      ("scaleboot-log-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::ofstream(folder / "system.conf") << "kept\n";
  fs::create_symlink("system.conf", folder / "link");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  const struct {
    std::string path;
    std::optional<Reason> refused;  // none: opened, and a line lands in the file
  } cases[] = {
      {(folder / "new.log").string(), std::nullopt},
      {(folder / "link").string(), root ? std::optional<Reason>(Reason::SymbolicLink) : std::nullopt},
      {(folder / "fifo").string(), Reason::NoReader},
      {"/dev/null", Reason::NotRegularFile},
      {folder.string(), Reason::NotRegularFile},
      {(folder / "missing" / "a.log").string(), Reason::System},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    AppendRefusal refusal;
    const std::unique_ptr<AppendFile> log = OpenAppendFile(c.path, refusal);
    EXPECT_EQ(log == nullptr, c.refused.has_value());
    if (c.refused) EXPECT_EQ(refusal.reason, *c.refused);
    if (log) EXPECT_TRUE(log->Append("line\n"));
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace scaleboot::platform
