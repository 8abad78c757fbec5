// The drive list's Eject menu item of the Windows window, driven as a user would: the menu opened for the
// selected drive (from the keyboard, as Shift+F10 and the menu key do), the item chosen, the box it returns;
// the eject itself goes to a stand-in, never to a real volume.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "main/win32/EjectMenu.h"

namespace scaleboot::win32 {
namespace {

using Status = platform::EjectResult::Status;

struct RecordingEjector : platform::Ejector {
  platform::EjectResult answer;
  std::vector<std::string> roots;
  platform::EjectResult Eject(const std::string& root, const platform::EjectOptions&) override {
    roots.push_back(root);
    return answer;
  }
};

std::wstring menuItem;  // the text of the menu's item, read while the menu is open

// Runs while the menu's own loop waits: reads the item, then chooses it with the keyboard.
void CALLBACK ChooseFirstItem(HWND window, UINT, UINT_PTR timer, DWORD) {
  KillTimer(window, timer);
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (!menu) return;
  HMENU items = reinterpret_cast<HMENU>(SendMessageW(menu, 0x01E1 /* MN_GETHMENU */, 0, 0));
  wchar_t text[64] = {};
  GetMenuStringW(items, 0, text, 64, MF_BYPOSITION);
  menuItem = text;
  PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
}

TEST(Win32EjectMenu, EjectsTheSelectedDriveAndReturnsItsBox) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr,
                               nullptr, nullptr);
  HWND list = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 10, 10, 120, 100,
                              owner, nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner && list);
  ShowWindow(owner, SW_SHOW);
  SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"E:\\"));
  SendMessageW(list, CB_SETCURSEL, 0, 0);

  const struct {
    LanguageIndex language;
    platform::EjectResult answer;
    std::wstring item;
    std::string text;
    BoxIcon icon;
  } cases[] = {
      {kEnglish, {Status::Ejected}, L"Eject", "The card in E:\\ may be removed.", BoxIcon::Information},
      {kRussian,
       {Status::AccessDenied},
       L"\u0418\u0437\u0432\u043b\u0435\u0447\u044c",
       "Карту в E:\\ не удалось извлечь: доступ запрещён.",
       BoxIcon::Error},
  };
  RecordingEjector ejector;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ejector.answer = c.answer;
    menuItem.clear();
    SetTimer(owner, 1, 200, ChooseFirstItem);
    const auto box = RunEjectMenu(owner, list, -1, c.language, ejector, true,
                                  [](const std::string&) { ADD_FAILURE() << "station opened"; });
    EXPECT_EQ(menuItem, c.item);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, c.text);
    EXPECT_EQ(box->icon, c.icon);
  }
  EXPECT_EQ(ejector.roots, std::vector<std::string>(2, "E:\\"));
  DestroyWindow(owner);
}

}  // namespace
}  // namespace scaleboot::win32
