#include "main/win32/FormScale.h"

#include <commctrl.h>

#include <string>

#include "common/Errors.h"
#include "main/win32/Dpi.h"
#include "main/win32/DriveList.h"
#include "main/win32/Form1.h"
#include "main/win32/ResourceIds.h"
#include "main/win32/StandardControls.h"
#include "ui/MessageTable.h"
#include "ui/ScaledLayout.h"
#include "ui/WindowTexts.h"

namespace scaleboot::win32 {
// Russian charset, so that a system whose own MS Sans Serif has no Cyrillic letters maps the Russian texts to
// a face that has them.
HFONT CreateFormFont(int pixels) {
  return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

namespace {

HBITMAP LoadBitmapResource(HINSTANCE instance, int id) {
  auto* bitmap = static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!bitmap) throw RaisedError("Bitmap resource " + std::to_string(id) + " not found");
  return bitmap;
}

// The bitmap `id100` (an identifier of the 100 % set) as drawn for the display scale of `dpi`.
int BitmapForDpi(int id100, int dpi) {
  static_assert(IDB_GLYPH_CONTENTS_125 == IDB_GLYPH_CONTENTS + IDB_SET_STEP &&
                IDB_FLAG_RUSSIA_150 == IDB_FLAG_RUSSIA + 2 * IDB_SET_STEP &&
                IDB_GLYPH_MANUAL_200 == IDB_GLYPH_MANUAL + 3 * IDB_SET_STEP && layout::kBitmapSets == 4);
  return id100 + IDB_SET_STEP * layout::BitmapSetForDpi(dpi);
}

}  // namespace

HICON LoadMainIcon(HINSTANCE instance, int widthMetric, int heightMetric, int dpi, UINT flags) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAINICON), IMAGE_ICON,
                                       SystemMetricForDpi(widthMetric, dpi),
                                       SystemMetricForDpi(heightMetric, dpi), flags));
}

// The window's frame around the client area of `dpi`, centred on the desktop.
RECT TForm1::CentredFrame(int dpi) const {
  const layout::WindowGeometry geometry = layout::GeometryForDpi(dpi);
  const SIZE frame =
      FrameSizeForClient(geometry.clientWidth, geometry.clientHeight, kFormStyle, kFormExStyle, dpi);
  const int left = (GetSystemMetrics(SM_CXSCREEN) - frame.cx) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - frame.cy) / 2;
  return {left, top, left + frame.cx, top + frame.cy};
}

void TForm1::ApplyDpi() {
  const layout::WindowGeometry& g = geometry_;
  HFONT font = CreateFormFont(g.fontPixels);
  for (HWND control : {Button1_, ComboBox1_, ComboBoxEx1_, Label1_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (font_) DeleteObject(font_);
  font_ = font;

  const struct {
    HWND control;
    const layout::Bounds& bounds;
  } placed[] = {{Button1_, g.button1},
                {Gauge1_.Handle(), g.gauge1},
                {SpeedButton2_.Handle(), g.speedButton2},
                {SpeedButton3_.Handle(), g.speedButton3},
                {SpeedButton1_.Handle(), g.speedButton1}};
  for (const auto& p : placed) {
    SetWindowPos(p.control, nullptr, p.bounds.left, p.bounds.top, p.bounds.width, p.bounds.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SpeedButton2_.SetGlyph(instance_, BitmapForDpi(IDB_GLYPH_MANUAL, g.dpi));
  SpeedButton3_.SetGlyph(instance_, BitmapForDpi(IDB_GLYPH_CHANGES, g.dpi));
  SpeedButton1_.SetGlyph(instance_, BitmapForDpi(IDB_GLYPH_CONTENTS, g.dpi));

  // ComboBox1: 21 pixels high when closed at 96 DPI; its left edge follows the label.
  SizeDriveList(ComboBox1_, g);
  PlaceLabel(WindowText(Label1_));

  // ComboBoxEx1 with ImageList1: the two flags of the DPI's set. When a flag cannot be loaded, the new list
  // is destroyed and the window keeps the one it has.
  BITMAP flagSize{};
  HIMAGELIST flags = nullptr;
  try {
    for (const int flag : {IDB_FLAG_UK, IDB_FLAG_RUSSIA}) {
      HBITMAP bitmap = LoadBitmapResource(instance_, BitmapForDpi(flag, g.dpi));
      if (!flags) {
        GetObjectW(bitmap, sizeof(flagSize), &flagSize);
        flags = ImageList_Create(flagSize.bmWidth, flagSize.bmHeight, ILC_COLOR24, 2, 0);
      }
      ImageList_Add(flags, bitmap, nullptr);
      DeleteObject(bitmap);
    }
  } catch (...) {
    if (flags) ImageList_Destroy(flags);
    throw;
  }
  SendMessageW(ComboBoxEx1_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(flags));
  if (ImageList1_) ImageList_Destroy(ImageList1_);
  ImageList1_ = flags;
  SetWindowPos(ComboBoxEx1_, nullptr, g.comboBoxEx1.left, g.comboBoxEx1.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetDropDownSize(ComboBoxEx1_, g.comboBoxEx1, static_cast<int>(kLanguageItems.size()),
                  g.comboBoxEx1ItemHeight);
  SendMessageW(ComboBoxEx1_, CB_SETITEMHEIGHT, 0, g.comboBoxEx1ItemHeight);
  FitComboHeight(ComboBoxEx1_, g.comboBoxEx1.height);

  SetIcons();
}

void TForm1::ChangeDpi(int dpi, const RECT& suggested) {
  if (dpi <= 0) return;
  geometry_ = layout::GeometryForDpi(dpi);
  // The suggested frame is the old one scaled as a whole, but the caption and borders do not grow in
  // proportion (on Windows 8.1 they keep their size): the window goes where it says, and its size is then
  // corrected by what its client area lacks or has too much.
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int wider = geometry_.clientWidth - client.right;
  const int higher = geometry_.clientHeight - client.bottom;
  if (wider != 0 || higher != 0) {
    RECT frame{};
    GetWindowRect(hwnd_, &frame);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left + wider, frame.bottom - frame.top + higher,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ApplyDpi();
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The main icon at the sizes the window's DPI asks for, from the images of those sizes in the icon resource.
void TForm1::SetIcons() {
  HICON big = LoadMainIcon(instance_, SM_CXICON, SM_CYICON, geometry_.dpi, 0);
  HICON small = LoadMainIcon(instance_, SM_CXSMICON, SM_CYSMICON, geometry_.dpi, 0);
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  bigIcon_ = big;
  smallIcon_ = small;
}

}  // namespace scaleboot::win32
