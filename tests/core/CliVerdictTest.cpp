// What verify says a folder holds, one folder per case: this module, an intact module of another version, or
// a damaged or incomplete one, or no module at all, in both languages and in JSON.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "CliHarness.h"

namespace scaleboot::cli {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using json = nlohmann::json;
using Files = scaleboot::testing::FakeFileSystem;
using Op = Files::Op;

// Each file of another firmware version: a payload of its own, one file longer, each with its sum trailer.
void PutOtherVersion(Files& fs, const std::string& folder) {
  for (auto& [path, bytes] : fs.files) {
    if (!path.starts_with(folder)) continue;
    if (path.ends_with("/32yk936.bin")) bytes.resize(16000);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i + 4 < bytes.size(); ++i) sum += bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (int k = 0; k < 4; ++k) bytes[bytes.size() - 4 + k] = static_cast<std::uint8_t>(sum >> (8 * k));
  }
}

// A folder holding the module but for `file`, which `edit` changes (null: the file is missing); no `file`: a
// module of another version; "*" without `edit`: none of the files.
struct VerdictCase {
  const char* file;
  std::function<void(std::vector<std::uint8_t>&)> edit;
  int status;
  const char* verdict;
  const char* intact;  // per file: T true, F false, - no key
  std::string line;    // the English line of `file`
  std::string ruLine;  // the end of its Russian line
};

struct CliVerdict : scaleboot::testing::CliHarness {};

TEST_F(CliVerdict, VerifySaysWhetherTheCardHoldsThisModuleAnotherVersionOrADamagedOne) {
  const auto keep = [](auto&) {};
  const VerdictCase cases[] = {
      {"yk936.bin", keep, kExitSuccess, "this-module", "TTTT", "yk936.bin: identical\n",
       "yk936.bin: совпадает\n"},
      {"", keep, kExitMismatch, "other-version", "TTTT",
       "32yk936.bin: longer than the image (16000 bytes instead of 15750), and differs at byte 0 (differing "
       "bytes: 15692); another version, intact\n",
       "; другая версия, без повреждений\n"},
      {"yk2368.bin", [](auto& d) { d[1000] ^= 4; }, kExitMismatch, "damaged", "TTFT",
       "yk2368.bin: differs at byte 1000 (differing bytes: 1); damaged: its checksum does not hold\n",
       "; повреждён: контрольная сумма не сходится\n"},
      {"32yk936.bin", [](auto& d) { d.resize(8000); }, kExitMismatch, "damaged", "TFTT",
       "32yk936.bin: shorter than the image (8000 of 15750 bytes); damaged: its checksum does not hold\n",
       "(8000 из 15750 байтов); повреждён: контрольная сумма не сходится\n"},
      {"yk936.bin", nullptr, kExitMismatch, "damaged", "TTT-", "yk936.bin: missing\n",
       "yk936.bin: отсутствует\n"},
      {"yk2368.bin", [](auto& d) { d[5] ^= 1; }, kExitIoError, "damaged", "TT-T",
       "yk2368.bin: differs at byte 5 (differing bytes: 1); its checksum cannot be read: I/O error 21.\n",
       "; контрольная сумма не читается: I/O error 21.\n"},
      {"*", nullptr, kExitMismatch, "no-module", "----", "32yk2368.bin: missing\n",
       "yk936.bin: отсутствует\n"},
  };
  const std::map<std::string, std::pair<std::string, std::string>> verdictLines{
      {"this-module", {"Verdict: the card holds this module.\n", "Итог: на карте этот модуль.\n"}},
      {"other-version",
       {"Verdict: the card holds an intact module of another version.\n",
        "Итог: на карте целый модуль другой версии.\n"}},
      {"damaged",
       {"Verdict: the card is damaged or incomplete.\n",
        "Итог: карта повреждена или модуль на ней неполный.\n"}},
      {"no-module", {"Verdict: the card holds no module.\n", "Итог: на карте нет модуля.\n"}},
  };
  inspect = true;
  int folderNumber = 0;
  for (const VerdictCase& c : cases) {
    const std::string folder = "/cards/" + std::to_string(++folderNumber) + "/";
    SCOPED_TRACE(folder);
    PutModule(folder);
    if (!*c.file) PutOtherVersion(files, folder);
    if (*c.file && c.edit) c.edit(files.files[folder + c.file]);
    if (!c.edit)
      std::erase_if(files.files, [&](const auto& file) {
        return file.first.starts_with(folder) && (*c.file == '*' || file.first == folder + c.file);
      });
    // The last case's checksum read (each file's second read past the cache) fails: the drive is no longer
    // ready.
    std::map<std::string, int> deviceReads;
    files.fault = [&](Op op, const std::string& path, std::size_t) {
      return op == Op::PastCache && ++deviceReads[path] % 2 == 0 && c.status == kExitIoError ? 21 : 0;
    };
    const auto& [english, russian] = verdictLines.at(c.verdict);
    EXPECT_EQ(Run({"verify", folder, "--lang", "en"}), c.status);
    EXPECT_THAT(console.out, HasSubstr(c.line));
    EXPECT_THAT(console.out, EndsWith(" this module.\n" + english)) << "the verdict follows the last line";
    EXPECT_EQ(Run({"verify", folder, "--lang", "ru"}), c.status);
    EXPECT_THAT(console.out, HasSubstr(c.ruLine));
    EXPECT_THAT(console.out, EndsWith(".\n" + russian));
    EXPECT_EQ(Run({"verify", folder, "--json"}), c.status);
    const json document = json::parse(console.out);
    EXPECT_EQ(document["verdict"], c.verdict);
    for (std::size_t i = 0; i < 4; ++i) {
      const json& file = document["files"][i];
      EXPECT_EQ(file.contains("intact") ? file["intact"] ? 'T' : 'F' : '-', c.intact[i]) << i;
    }
  }
}

// The verdict follows the bytes read past the cache: a card whose store changed a byte behind a right cache
// is damaged. Where the file system allows no such read, write and verify say so in a line of their own.
TEST_F(CliVerdict, TheVerdictFollowsTheBytesReadPastTheCacheAndACacheOnlyCheckSaysSo) {
  const std::string note =
      "Note: this card's file system reads only through the system's cache, so the "
      "check could not reach past it: the bytes compared may have come from memory.\n";
  files.onDevice = [](const std::string& path, auto& bytes) {
    if (path.ends_with("/32yk2368.bin")) bytes[100] ^= 1;
  };
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "refused" : "read past the cache");
    files.pastCacheRefused = refused;
    PutModule("/cards/");
    EXPECT_EQ(Run({"verify", "/cards/"}), refused ? kExitSuccess : kExitMismatch);
    EXPECT_THAT(console.out, HasSubstr(refused ? "32yk2368.bin: identical\n"
                                               : "32yk2368.bin: differs at byte 100 (differing bytes: 1); "
                                                 "damaged: its checksum does not hold\n"));
    EXPECT_THAT(console.out, EndsWith(" this module.\n" + (refused ? note : "") +
                                      (refused ? "Verdict: the card holds this module.\n"
                                               : "Verdict: the card is damaged or incomplete.\n")));
    Run({"verify", "/cards/", "--lang", "ru"});
    EXPECT_EQ(console.out.find("\nПримечание: файловая система этой карты") != std::string::npos, refused);
    Run({"verify", "/cards/", "--json"});
    EXPECT_EQ(json::parse(console.out)["device_compared"], !refused);
    Run({"write", "E:"});
    if (refused) EXPECT_EQ(console.out, "Module creation completed successfully\n" + note);
    Run({"write", "E:", "--json"});
    EXPECT_EQ(json::parse(console.out)["cards"][0]["device_compared"], !refused);
  }
}

}  // namespace
}  // namespace scaleboot::cli
