// The window at any display scale. The layout of WindowLayout.h is made for 96 dots per inch (100 %); on a
// display set to another scale (120 DPI is 125 %, 144 DPI 150 %, 192 DPI 200 %) every length is scaled by
// DPI / 96, so the window keeps its size in inches and is drawn sharp at the display's own resolution.
#pragma once
#include <cstdint>

#include "ui/WindowLayout.h"
#include "ui/WindowTexts.h"

namespace scaleboot::layout {

inline constexpr int kBaseDpi = 96;

// `pixels` at 96 DPI shown at `dpi`: pixels × dpi / 96, rounded to the nearest whole pixel with halves away
// from zero, as the system's MulDiv rounds.
constexpr int ScaleForDpi(int pixels, int dpi) {
  const std::int64_t product = static_cast<std::int64_t>(pixels) * dpi;
  const std::int64_t half = kBaseDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / kBaseDpi : (product - half) / kBaseDpi);
}

// Each of the four numbers scaled on its own, as the table gives them.
constexpr Bounds ScaleForDpi(const Bounds& bounds, int dpi) {
  return {ScaleForDpi(bounds.left, dpi), ScaleForDpi(bounds.top, dpi), ScaleForDpi(bounds.width, dpi),
          ScaleForDpi(bounds.height, dpi)};
}

// Everything the window's layout sets, at one DPI; at 96 DPI exactly the values of WindowLayout.h.
struct WindowGeometry {
  int dpi = kBaseDpi;
  int clientWidth = 0, clientHeight = 0;
  Bounds label1{};  // its width follows the drawn text
  Bounds comboBox1{}, comboBoxEx1{}, gauge1{}, button1{}, speedButton2{}, speedButton3{}, speedButton1{};
  int comboBox1ItemHeight = 0, comboBoxEx1ItemHeight = 0;
  int fontPixels = 0;    // character height of the window's font
  int driveListGap = 0;  // from the label's drawn text to the drive list
  int textInset = 0;     // from an item's left edge to its text in the drive list

  // The drive list's left edge when the label's text is `labelWidth` pixels wide.
  constexpr int DriveListLeft(int labelWidth) const {
    return scaleboot::DriveListLeft(label1.left, labelWidth, driveListGap);
  }
};

// The drive list draws its items' text two pixels from their left edge at 96 DPI.
inline constexpr int kDriveItemTextInset = 2;

constexpr WindowGeometry GeometryForDpi(int dpi) {
  WindowGeometry g;
  g.dpi = dpi;
  g.clientWidth = ScaleForDpi(kClientWidth, dpi);
  g.clientHeight = ScaleForDpi(kClientHeight, dpi);
  g.label1 = ScaleForDpi(kLabel1, dpi);
  g.comboBox1 = ScaleForDpi(kComboBox1, dpi);
  g.comboBoxEx1 = ScaleForDpi(kComboBoxEx1, dpi);
  g.gauge1 = ScaleForDpi(kGauge1, dpi);
  g.button1 = ScaleForDpi(kButton1, dpi);
  g.speedButton2 = ScaleForDpi(kSpeedButton2, dpi);
  g.speedButton3 = ScaleForDpi(kSpeedButton3, dpi);
  g.speedButton1 = ScaleForDpi(kSpeedButton1, dpi);
  // Scaled one by one, the image buttons would overlap by two pixels at some scales. They keep their scaled
  // widths; the last one ends where the progress bar ends, and each of the others starts one pixel less than
  // its width left of its right-hand neighbour: neighbours overlap by exactly one pixel, as at 96 DPI.
  g.speedButton1.left = g.gauge1.right() - g.speedButton1.width;
  g.speedButton3.left = g.speedButton1.left - (g.speedButton3.width - 1);
  g.speedButton2.left = g.speedButton3.left - (g.speedButton2.width - 1);
  g.comboBox1ItemHeight = ScaleForDpi(kComboBox1ItemHeight, dpi);
  g.comboBoxEx1ItemHeight = ScaleForDpi(kComboBoxEx1ItemHeight, dpi);
  g.fontPixels = ScaleForDpi(kFontPixels, dpi);
  g.driveListGap = ScaleForDpi(kDriveListGap, dpi);
  g.textInset = ScaleForDpi(kDriveItemTextInset, dpi);
  return g;
}

// The display scales, in per cent, for which the glyphs, the flags and the icon are drawn (resources/, by
// tools/make_bitmaps.py); the set of scale kBitmapScales[i] is set number i.
inline constexpr int kBitmapScales[] = {100, 125, 150, 200};
inline constexpr int kBitmapSets = static_cast<int>(sizeof(kBitmapScales) / sizeof(kBitmapScales[0]));

// The set to draw at `dpi`: the largest scale that does not exceed the display's, so that a bitmap is never
// enlarged (and blurred); the 100 % set below 96 DPI.
constexpr int BitmapSetForDpi(int dpi) {
  int set = 0;
  for (int i = 1; i < kBitmapSets; ++i) {
    if (static_cast<std::int64_t>(kBitmapScales[i]) * kBaseDpi <= static_cast<std::int64_t>(dpi) * 100)
      set = i;
  }
  return set;
}

}  // namespace scaleboot::layout
