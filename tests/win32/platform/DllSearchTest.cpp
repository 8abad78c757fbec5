#include <gtest/gtest.h>

#include "platform/win32/Win32Platform.h"
using namespace scaleboot::platform;

struct Fake {
  static BOOL WINAPI Fails(DWORD) { return FALSE; }
  static BOOL WINAPI TakesOutTheCurrentFolder(const wchar_t* folder) { return folder && !*folder; }
};

TEST(DllSearch, WithoutSetDefaultDllDirectoriesTheCurrentFolderIsTakenOut) {
  EXPECT_EQ(RestrictDllSearch({nullptr, &Fake::TakesOutTheCurrentFolder}), DllSearch::kNoCurrentFolder);
  EXPECT_EQ(RestrictDllSearch({&Fake::Fails, &Fake::TakesOutTheCurrentFolder}), DllSearch::kNoCurrentFolder);
  EXPECT_EQ(RestrictDllSearch({&Fake::Fails, nullptr}), DllSearch::kUnchanged);
}

TEST(DllSearch, NoDllBesideTheProgramIsLoadedByNameOnceTheSearchIsRestricted) {
  const std::wstring probe = Widen(VERSION_PROBE_NAME);  // beside this program
  const HMODULE before = ::LoadLibraryW(probe.c_str());
  ASSERT_NE(before, nullptr);
  ::FreeLibrary(before);
  EXPECT_EQ(LoadSystemLibrary(probe.c_str()), nullptr);
  EXPECT_EQ(RestrictDllSearch(), DllSearch::kSystemFolderOnly);
  EXPECT_EQ(::LoadLibraryW(probe.c_str()), nullptr);
  EXPECT_NE(LoadSystemLibrary(L"version.dll"), nullptr);
}
