#include "main/win32/SpeedButton.h"

#include <windowsx.h>

#include <string>

#include "main/win32/ControlIds.h"
#include "platform/win32/Win32Platform.h"
#include "ui/Errors.h"

namespace scaleboot::win32 {
namespace {

// The colour of a bitmap's bottom-left pixel: the glyph's transparent colour.
COLORREF BottomLeftColour(HBITMAP bitmap, const SIZE& size) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const COLORREF colour = GetPixel(dc, 0, size.cy - 1);
  SelectObject(dc, old);
  DeleteDC(dc);
  return colour;
}

}  // namespace

void TSpeedButton::Register(HINSTANCE instance) {
  RegisterChildClass(instance, kSpeedButtonClassName);
}

TSpeedButton::~TSpeedButton() {
  if (glyph_) ImageList_Destroy(glyph_);
}

HWND TSpeedButton::Create(HWND parent, int id, const RECT& bounds, HINSTANCE instance) {
  hwnd_ = CreateWindowExW(0, kSpeedButtonClassName, nullptr, WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                          bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
  return hwnd_;
}

void TSpeedButton::SetGlyph(HINSTANCE instance, int glyphId) {
  auto* bitmap = static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(glyphId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bitmap) throw RaisedError("Bitmap resource " + std::to_string(glyphId) + " not found");
  BITMAP info{};
  GetObjectW(bitmap, sizeof(info), &info);
  const SIZE size{info.bmWidth, info.bmHeight};
  HIMAGELIST glyph = ImageList_Create(size.cx, size.cy, ILC_COLOR24 | ILC_MASK, 1, 0);
  ImageList_AddMasked(glyph, bitmap, BottomLeftColour(bitmap, size));
  DeleteObject(bitmap);
  if (glyph_) ImageList_Destroy(glyph_);
  glyph_ = glyph;
  glyphSize_ = size;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TSpeedButton::SetAccessibleName(const std::string& name) {
  SetWindowTextW(hwnd_, platform::Widen(name).c_str());
}

void TSpeedButton::Paint(HDC dc) const {
  RECT client;
  GetClientRect(hwnd_, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (down_) {
    DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT);
  } else if (hot_) {
    DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
  }
  const int offset = down_ ? 1 : 0;
  const int x = (client.right - glyphSize_.cx) / 2 + offset;
  const int y = (client.bottom - glyphSize_.cy) / 2 + offset;
  ImageList_Draw(glyph_, 0, dc, x, y, ILD_TRANSPARENT);
}

bool TSpeedButton::CursorInside(LPARAM lParam) const {
  RECT client;
  GetClientRect(hwnd_, &client);
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  return PtInRect(&client, point) != FALSE;
}

void TSpeedButton::SetState(bool hot, bool down) {
  if (hot == hot_ && down == down_) return;
  hot_ = hot;
  down_ = down;
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TSpeedButton::NotifyClick() const {
  const HWND parent = GetParent(hwnd_);
  const int id = GetDlgCtrlID(hwnd_);
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd_));
}

LRESULT TSpeedButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_MOUSEMOVE: {
      const bool inside = CursorInside(lParam);
      if (pressed_) {
        SetState(inside, inside);
      } else if (!hot_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, 0};
        TrackMouseEvent(&track);
        SetState(true, false);
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      if (!pressed_) SetState(false, false);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // No SetFocus here: the focus stays where it is.
      pressed_ = true;
      SetCapture(hwnd_);
      SetState(true, true);
      return 0;
    case WM_LBUTTONUP: {
      if (!pressed_) return 0;
      const bool clicked = down_;
      pressed_ = false;
      ReleaseCapture();
      SetState(CursorInside(lParam), false);
      if (clicked) NotifyClick();
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (pressed_) {
        pressed_ = false;
        SetState(false, false);
      }
      return 0;
    case BM_CLICK:
      NotifyClick();
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace scaleboot::win32
