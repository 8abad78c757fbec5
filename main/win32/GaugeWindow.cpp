#include "main/win32/GaugeWindow.h"

#include "main/win32/ControlIds.h"
#include "ui/WindowLayout.h"

namespace scaleboot::win32 {
namespace {

constexpr COLORREF ColourRef(layout::Colour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

constexpr COLORREF kFrameColour = ColourRef(layout::kGaugeFrame);
constexpr COLORREF kBackColour = ColourRef(layout::kGaugeBackground);
constexpr COLORREF kFillColour = ColourRef(layout::kGaugeFill);

void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
  if (area.right <= area.left || area.bottom <= area.top) return;
  SetBkColor(dc, colour);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

}  // namespace

void TGauge::Register(HINSTANCE instance) {
  RegisterChildClass(instance, kGaugeClassName);
}

HWND TGauge::Create(HWND parent, int id, const RECT& bounds, HINSTANCE instance) {
  hwnd_ = CreateWindowExW(0, kGaugeClassName, nullptr, WS_CHILD | WS_VISIBLE, bounds.left, bounds.top,
                          bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
  return hwnd_;
}

void TGauge::RedrawNow(bool needed) {
  if (needed && hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

// A one-pixel black frame; inside it, teal from the left edge over the percentage done, white after it.
void TGauge::Paint(HDC dc) const {
  RECT client;
  GetClientRect(hwnd_, &client);
  const COLORREF savedBack = GetBkColor(dc);
  FillSolid(dc, {client.left, client.top, client.right, client.top + 1}, kFrameColour);
  FillSolid(dc, {client.left, client.bottom - 1, client.right, client.bottom}, kFrameColour);
  FillSolid(dc, {client.left, client.top + 1, client.left + 1, client.bottom - 1}, kFrameColour);
  FillSolid(dc, {client.right - 1, client.top + 1, client.right, client.bottom - 1}, kFrameColour);
  RECT inner{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
  const int fill = model_.FillWidth(inner.right - inner.left);
  FillSolid(dc, {inner.left, inner.top, inner.left + fill, inner.bottom}, kFillColour);
  FillSolid(dc, {inner.left + fill, inner.top, inner.right, inner.bottom}, kBackColour);
  SetBkColor(dc, savedBack);
}

LRESULT TGauge::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
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
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace scaleboot::win32
