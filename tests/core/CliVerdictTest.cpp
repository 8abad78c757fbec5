// What verify says a folder holds, one folder per case: this module, an intact module of another version, or
// a damaged or incomplete one, in both languages and in JSON.
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
using Bytes = std::vector<std::uint8_t>;

// A file of another firmware version: its own payload of `length` - 4 bytes with its correct sum trailer.
Bytes OtherVersion(std::size_t length, unsigned seed) {
  Bytes bytes(length - 4);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) sum += bytes[i] = static_cast<std::uint8_t>(i * seed + 3);
  for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<std::uint8_t>(sum >> (8 * k)));
  return bytes;
}

struct VerdictCase {
  const char* name;
  std::function<void(std::map<std::string, Bytes>&, const std::string&)> change;
  int status;
  std::string verdict;
  json intact;         // per file; null where the key is absent
  std::string line;    // the English line of the file that changed most
  std::string ruLine;  // its Russian line
};

struct CliVerdict : scaleboot::testing::CliHarness {};

TEST_F(CliVerdict, VerifySaysWhetherTheCardHoldsThisModuleAnotherVersionOrADamagedOne) {
  const VerdictCase cases[] = {
      {"this module",
       [](auto&, auto&) {},
       kExitSuccess,
       "this-module",
       {true, true, true, true},
       "yk936.bin: identical\n",
       "yk936.bin: совпадает\n"},
      {"all four of another version, one of another length",
       [](auto& files, const std::string& folder) {
         files[folder + "32yk2368.bin"] = OtherVersion(422916, 5);
         files[folder + "32yk936.bin"] = OtherVersion(16000, 7);
         files[folder + "yk2368.bin"] = OtherVersion(422916, 9);
         files[folder + "yk936.bin"] = OtherVersion(15750, 13);
       },
       kExitMismatch,
       "other-version",
       {true, true, true, true},
       "32yk936.bin: longer than the image (16000 bytes instead of 15750), and differs at byte 0 (differing "
       "bytes: 15692); another version, intact\n",
       "32yk936.bin: длиннее образа (16000 байтов вместо 15750), и отличается в байте 0 (отличающихся "
       "байтов: "
       "15692); другая версия, без повреждений\n"},
      {"a byte changed",
       [](auto& files, const std::string& folder) { files[folder + "yk2368.bin"][1000] ^= 4; },
       kExitMismatch,
       "damaged",
       {true, true, false, true},
       "yk2368.bin: differs at byte 1000 (differing bytes: 1); damaged: its checksum does not hold\n",
       "yk2368.bin: отличается в байте 1000 (отличающихся байтов: 1); повреждён: контрольная сумма не "
       "сходится\n"},
      {"a file cut short",
       [](auto& files, const std::string& folder) { files[folder + "32yk936.bin"].resize(8000); },
       kExitMismatch,
       "damaged",
       {true, false, true, true},
       "32yk936.bin: shorter than the image (8000 of 15750 bytes); damaged: its checksum does not hold\n",
       "32yk936.bin: короче образа (8000 из 15750 байтов); повреждён: контрольная сумма не сходится\n"},
      {"a missing file",
       [](auto& files, const std::string& folder) { files.erase(folder + "yk936.bin"); },
       kExitMismatch,
       "damaged",
       {true, true, true, nullptr},
       "yk936.bin: missing\n",
       "yk936.bin: отсутствует\n"},
  };
  // The verdict line in English and Russian, by its JSON code.
  const std::map<std::string, std::pair<std::string, std::string>> verdictLines{
      {"this-module", {"Verdict: the card holds this module.\n", "Итог: на карте этот модуль.\n"}},
      {"other-version",
       {"Verdict: the card holds an intact module of another version.\n",
        "Итог: на карте целый модуль другой версии.\n"}},
      {"damaged",
       {"Verdict: the card is damaged or incomplete.\n",
        "Итог: карта повреждена или модуль на ней неполный.\n"}},
  };
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(c.name);
    inspect = true;
    const std::string folder = "/cards/" + std::string(c.name) + "/";
    PutModule(folder);
    c.change(files.files, folder);

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
    EXPECT_EQ(document["exit_status"], c.status);
    for (std::size_t i = 0; i < 4; ++i) {
      const json& file = document["files"][i];
      EXPECT_EQ(file.contains("intact") ? file["intact"] : json(nullptr), c.intact[i]) << file["name"];
    }
  }
}

TEST_F(CliVerdict, AChecksumThatCannotBeReadIsAnIoErrorAndLeavesTheFileUnjudged) {
  using Op = scaleboot::testing::FakeFileSystem::Op;
  PutModule("E:\\");
  files.files["E:\\yk2368.bin"][5] ^= 1;
  files.fault = [](Op op, const std::string& path, std::size_t) {
    return op == Op::ReadBlock && path == "E:\\yk2368.bin" ? 1117 : 0;
  };
  EXPECT_EQ(Run({"verify", "E:"}), kExitIoError);
  EXPECT_THAT(
      console.out,
      HasSubstr("yk2368.bin: differs at byte 5 (differing bytes: 1); its checksum cannot be read: I/O "
                "error 1117.\n"));
  EXPECT_THAT(console.out, EndsWith("Verdict: the card is damaged or incomplete.\n"));
  EXPECT_EQ(Run({"verify", "E:", "--json"}), kExitIoError);
  const json file = json::parse(console.out)["files"][2];
  EXPECT_FALSE(file.contains("intact"));
  EXPECT_EQ(file["io_code"], 1117);
}

}  // namespace
}  // namespace scaleboot::cli
