// The hand-written documents of the command line name every option of their system, every JSON error code and
// every exit status of the table --help is printed from.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "main/cli/CliWords.h"

namespace scaleboot::cli {
namespace {

struct Document {
  const char* path;      // from the source folder
  Systems system;        // the options of the other system need not be there
  std::size_t copies;    // languages it is written in, each naming everything
  const char* statusAt;  // how a status's row begins: "{}" stands for the number
};

// The text as a reader sees it: a manual page's "\-" is "-".
std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string out = text.str();
  for (std::size_t at = 0; (at = out.find("\\-", at)) != std::string::npos;) out.erase(at, 1);
  return out;
}

// Occurrences of `word` not continued by another letter, digit or hyphen ("--eject" is not in "--eject-all").
std::size_t Count(const std::string& text, std::string_view word) {
  std::size_t n = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    const std::size_t end = at + word.size();
    const bool continued = end < text.size() && std::isalnum(static_cast<unsigned char>(word.back())) &&
                           (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-');
    n += !continued;
  }
  return n;
}

TEST(CliDocuments, NameEveryOptionErrorCodeAndExitStatusOfTheTable) {
  const Document documents[] = {
      {"packaging/linux/scaleboot-cli.1.in", Systems::Linux, 1, "\n.B {}\n"},
      {"packaging/windows/README.txt", Systems::Windows, 2, "   {} — "},
      {"docs/command-line.md", Systems::Both, 1, "| {} |"},
  };
  for (const Document& document : documents) {
    SCOPED_TRACE(document.path);
    const std::string text = Read(std::string(SCALEBOOT_SOURCE_DIR) + "/" + document.path);
    ASSERT_FALSE(text.empty());
    for (const OptionWords& option : OptionTable()) {
      if (document.system != Systems::Both && option.systems != Systems::Both &&
          option.systems != document.system)
        continue;
      EXPECT_GE(Count(text, option.longName), document.copies) << option.longName;
    }
    for (const ErrorCodeWords& code : ErrorCodeTable())
      EXPECT_GE(Count(text, code.name), document.copies) << code.name;
    for (const StatusWords& status : StatusTable()) {
      std::string row = document.statusAt;
      row.replace(row.find("{}"), 2, std::to_string(status.status));
      EXPECT_GE(Count(text, row), document.copies) << row;
    }
  }
}

}  // namespace
}  // namespace scaleboot::cli
