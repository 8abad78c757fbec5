#include <gtest/gtest.h>

#include "TestFiles.h"
#include "ui/WindowTexts.h"

namespace scaleboot::platform {
namespace {

using testing::TempDir;
using testing::Utf8;
using testing::WriteAll;

std::string ProgramFolder() {
  const std::string path = OwnExecutablePath();
  return path.substr(0, path.find_last_of('\\') + 1);
}

TEST(Version, TheFileVersionsMajorAndMinorNumbersAreRead) {
  // The probe module carries file version 3.7.1.2 (and product version 9.9.9.9).
  EXPECT_EQ(ReadFileVersionOf(ProgramFolder() + VERSION_PROBE_NAME), 0x00030007u);
  EXPECT_EQ(FormatProgramVersion(ReadFileVersionOf(ProgramFolder() + VERSION_PROBE_NAME)), "3.7");
  EXPECT_FALSE(ReadFileVersionOf(ProgramFolder() + VERSION_PROBE_NAME, VersionCalls{}).has_value());
}

TEST(Version, AProgramWithoutVersionInformationFallsBackTo65535) {
  // This test program has no version resource.
  EXPECT_FALSE(ReadOwnFileVersion().has_value());
  EXPECT_EQ(FormatProgramVersion(ReadOwnFileVersion()), "65535.65535");

  TempDir dir;
  EXPECT_FALSE(ReadFileVersionOf(Utf8(dir / "missing.exe")).has_value());
  WriteAll(dir / "not-a-program.exe", {'M', 'Z', 0, 0, 1, 2, 3});
  EXPECT_FALSE(ReadFileVersionOf(Utf8(dir / "not-a-program.exe")).has_value());
}

}  // namespace
}  // namespace scaleboot::platform
