#include "main/win32/StandardControls.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "ui/Errors.h"

namespace scaleboot::win32 {

RECT RectOf(const layout::Bounds& bounds) {
  return {bounds.left, bounds.top, bounds.right(), bounds.bottom()};
}

HWND CreateControl(const wchar_t* className, DWORD style, const layout::Bounds& bounds, int dropDownHeight,
                   HWND parent, int id, HINSTANCE instance) {
  HWND control = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
                                 bounds.width, bounds.height + dropDownHeight, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (!control) throw RaisedError("Cannot create control " + std::to_string(id));
  return control;
}

int DropDownHeight(int items, int itemHeight) {
  return std::clamp(items, 1, layout::kLanguageListRows) * itemHeight + 2;
}

void SetDropDownSize(HWND combo, const layout::Bounds& closed, int items, int itemHeight) {
  SetWindowPos(combo, nullptr, 0, 0, closed.width, closed.height + DropDownHeight(items, itemHeight),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A closed combo box is as high as its selection field makes it. Set the field once to learn the frame the
// control adds around it, then set it so the whole box is `height` pixels high.
void FitComboHeight(HWND combo, int height) {
  auto boxHeight = [combo] {
    RECT rect;
    GetWindowRect(combo, &rect);
    return static_cast<int>(rect.bottom - rect.top);
  };
  if (boxHeight() == height) return;
  const LRESULT field = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  if (field == CB_ERR) return;
  SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  const int frame = boxHeight() - static_cast<int>(field);
  SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - frame);
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

int DrawnTextWidth(HDC dc, HFONT font, const std::wstring& text) {
  if (text.empty()) return 0;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ oldFont = SelectObject(memory, font);
  RECT extent{0, 0, 0, 0};
  DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &extent,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  int width = extent.right;

  // Draw black on white into a bitmap with room on the right, and find the rightmost column with ink.
  const int bitmapWidth = extent.right + extent.bottom + 8;
  const int bitmapHeight = extent.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = bitmapWidth;
  info.bmiHeader.biHeight = -bitmapHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    RECT all{0, 0, bitmapWidth, bitmapHeight};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(memory, RGB(0, 0, 0));
    SetBkMode(memory, TRANSPARENT);
    DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &all, DT_SINGLELINE | DT_NOPREFIX);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int x = bitmapWidth - 1; x >= width; --x) {
      bool ink = false;
      for (int y = 0; y < bitmapHeight && !ink; ++y) {
        ink = (pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmapWidth) +
                      static_cast<std::size_t>(x)] &
               0xFFFFFFu) != 0xFFFFFFu;
      }
      if (ink) {
        width = x + 1;
        break;
      }
    }
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
  }
  SelectObject(memory, oldFont);
  DeleteDC(memory);
  return width;
}

}  // namespace scaleboot::win32
