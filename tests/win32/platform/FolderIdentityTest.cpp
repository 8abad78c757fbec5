// Telling card roots apart on Windows through the system calls' answers: what each root's folder is opened
// as, what GetFileInformationByHandle and GetFinalPathNameByHandleW say of it, and how write groups them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "card/SameCard.h"
#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {
namespace {

// What a root's folder answers: its serial number and file index, its path on its device, and the codes of
// the call that fails (0: none).
struct FolderAnswer {
  DWORD serial = 0x1234ABCD;
  DWORD index = 5;
  std::wstring_view devicePath = L"";
  DWORD failOpen = 0, failPath = 0;
  DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
};

class AnsweringCalls : public Win32FileCalls {
 public:
  std::map<std::wstring, FolderAnswer> folders;
  int open = 0;

  HANDLE CreateFileW(const wchar_t* path, DWORD, DWORD, DWORD, DWORD) override {
    const auto it = folders.find(path);
    if (it == folders.end() || it->second.failOpen != 0) {
      ::SetLastError(it == folders.end() ? ERROR_PATH_NOT_FOUND : it->second.failOpen);
      return INVALID_HANDLE_VALUE;
    }
    ++open;
    return reinterpret_cast<HANDLE>(&it->second);
  }
  BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) override {
    const FolderAnswer& folder = *reinterpret_cast<FolderAnswer*>(file);
    *info = {};
    info->dwFileAttributes = folder.attributes;
    info->dwVolumeSerialNumber = folder.serial;
    info->nFileIndexLow = folder.index;
    return TRUE;
  }
  DWORD GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD size, DWORD flags) override {
    const FolderAnswer& folder = *reinterpret_cast<FolderAnswer*>(file);
    if (folder.failPath != 0 || flags != VOLUME_NAME_NT) {
      ::SetLastError(folder.failPath != 0 ? folder.failPath : ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (folder.devicePath.size() >= size) return static_cast<DWORD>(folder.devicePath.size() + 1);
    folder.devicePath.copy(path, size);
    path[folder.devicePath.size()] = L'\0';
    return static_cast<DWORD>(folder.devicePath.size());
  }
  BOOL CloseHandle(HANDLE) override {
    --open;
    return TRUE;
  }
};

TEST(FolderIdentity, RootsAreOneCardOnlyAtOnePathOfOneDevice) {
  const std::wstring volume7 = L"\\Device\\HarddiskVolume7\\", volume8 = L"\\Device\\HarddiskVolume8\\";
  const std::wstring deep = L"\\Device\\HarddiskVolume9\\" + std::wstring(300, L'd') + L"\\";
  const std::wstring subfolder = volume7 + L"fw\\";
  const struct {
    const char* name;
    FolderAnswer f;
    std::vector<std::string> written;  // the cards: E:\, then F:\ unless it is E:'s card
    int fCode;                         // why F:'s folder cannot be told, so it is not written
  } cases[] = {
      {"cloned cards: equal serial and root index on two devices",
       {.devicePath = volume8},
       {"E:\\", "F:\\"},
       0},
      {"two letters of one device", {.devicePath = volume7}, {"E:\\"}, 0},
      {"a subst letter to a subfolder", {.index = 9, .devicePath = subfolder}, {"E:\\", "F:\\"}, 0},
      {"a path longer than MAX_PATH", {.devicePath = deep}, {"E:\\", "F:\\"}, 0},
      {"F: cannot be opened", {.failOpen = ERROR_NOT_READY}, {"E:\\", "F:\\"}, ERROR_NOT_READY},
      {"F:'s path cannot be read",
       {.devicePath = volume7, .failPath = ERROR_NOT_SUPPORTED},
       {"E:\\", "F:\\"},
       ERROR_NOT_SUPPORTED},
      {"F: is a file",
       {.devicePath = volume8, .attributes = FILE_ATTRIBUTE_ARCHIVE},
       {"E:\\", "F:\\"},
       ERROR_DIRECTORY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AnsweringCalls calls;
    calls.folders[L"E:\\"].devicePath = volume7;
    calls.folders[L"F:\\"] = c.f;
    const std::vector<std::string> roots = {"E:\\", "F:\\"};
    const OneRootPerFolder same =
        OnePerFolder(roots, [&](const std::string& root) { return IdentifyFolderWith(root, calls); });
    EXPECT_EQ(same.roots, c.written);
    EXPECT_EQ(same.unidentified.back(), same.roots.size() == 2 ? c.fCode : 0);
    EXPECT_EQ(calls.open, 0) << "every folder opened is closed again";
  }
}

}  // namespace
}  // namespace scaleboot::platform
