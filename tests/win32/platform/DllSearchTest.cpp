#include <gtest/gtest.h>

#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

// The calls a row lets succeed or fail, and what SetDllDirectoryW was given.
struct Fake {
  static inline BOOL defaultResult = FALSE, directoryResult = FALSE;
  static inline std::wstring directory = L"(not called)";
  static BOOL WINAPI SetDefault(DWORD) { return defaultResult; }
  static BOOL WINAPI SetDirectory(const wchar_t* folder) {
    directory = folder ? folder : L"(null)";
    return directoryResult;
  }
};

TEST(DllSearch, FallsBackToTakingOutTheCurrentFolderWhereTheSystemFolderAloneCannotBeSet) {
  struct Row {
    bool hasDefault;
    BOOL defaultResult, directoryResult;
    DllSearch expected;
    const wchar_t* directory;
  };
  for (const Row& row : {
           Row{true, TRUE, TRUE, DllSearch::kSystemFolderOnly, L"(not called)"},
           Row{false, FALSE, TRUE, DllSearch::kNoCurrentFolder, L""},  // Windows 7 without KB2533623
           Row{true, FALSE, TRUE, DllSearch::kNoCurrentFolder, L""},
           Row{true, FALSE, FALSE, DllSearch::kUnchanged, L""},
       }) {
    Fake::defaultResult = row.defaultResult;
    Fake::directoryResult = row.directoryResult;
    Fake::directory = L"(not called)";
    const DllSearchCalls calls{row.hasDefault ? &Fake::SetDefault : nullptr, &Fake::SetDirectory};
    EXPECT_EQ(RestrictDllSearch(calls), row.expected) << row.hasDefault << row.defaultResult;
    EXPECT_EQ(Fake::directory, row.directory) << row.hasDefault << row.defaultResult;
  }
}

TEST(DllSearch, NoDllBesideTheProgramIsLoadedByNameOnceTheSearchIsRestricted) {
  const std::wstring probe = Widen(VERSION_PROBE_NAME);
  // Before, the probe beside this program is found by its name: the check below can see a load.
  const HMODULE before = ::LoadLibraryW(probe.c_str());
  ASSERT_NE(before, nullptr);
  ::FreeLibrary(before);
  EXPECT_EQ(LoadSystemLibrary(probe.c_str()), nullptr);

  EXPECT_EQ(RestrictDllSearch(), DllSearch::kSystemFolderOnly);
  EXPECT_EQ(::LoadLibraryW(probe.c_str()), nullptr);
  EXPECT_NE(LoadSystemLibrary(L"version.dll"), nullptr);
  // The version information is still read, through the system's version.dll.
  const std::string self = OwnExecutablePath();
  EXPECT_EQ(ReadFileVersionOf(self.substr(0, self.find_last_of('\\') + 1) + VERSION_PROBE_NAME), 0x00030007u);
}

}  // namespace
}  // namespace scaleboot::platform
