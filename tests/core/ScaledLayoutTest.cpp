#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/ScaledLayout.h"

namespace scaleboot::layout {
namespace {

// Rounded to the nearest pixel, halves away from zero, like the system's MulDiv.
TEST(ScaledLayout, ScalesAndRoundsLikeMulDiv) {
  const struct {
    int pixels, dpi, expected;
  } cases[] = {
      {311, 96, 311},  {83, 96, 83},    // unchanged at 100 %
      {311, 120, 389}, {83, 120, 104},  // 388.75, 103.75
      {311, 144, 467}, {83, 144, 125},  // 466.5, 124.5: halves go up
      {311, 192, 622}, {83, 192, 166},  //
      {11, 120, 14},   {25, 120, 31},   // 13.75, 31.25
      {21, 144, 32},   {13, 144, 20},   // 31.5, 19.5
      {7, 72, 5},      {2, 72, 2},      // below 96 DPI: 5.25, 1.5
      {0, 144, 0},     {-3, 144, -5},   // -4.5: away from zero
      {1, 480, 5},     {5000, 288, 15000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleForDpi(c.pixels, c.dpi), c.expected) << c.pixels << " px at " << c.dpi << " DPI";
  }
}

TEST(ScaledLayout, At96DpiEveryLengthIsTheLayoutsOwn) {
  const WindowGeometry g = GeometryForDpi(96);
  auto same = [](const Bounds& a, const Bounds& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
  };
  EXPECT_EQ(g.clientWidth, kClientWidth);
  EXPECT_EQ(g.clientHeight, kClientHeight);
  EXPECT_TRUE(same(g.label1, kLabel1) && same(g.comboBox1, kComboBox1) && same(g.comboBoxEx1, kComboBoxEx1) &&
              same(g.gauge1, kGauge1) && same(g.button1, kButton1) && same(g.speedButton2, kSpeedButton2) &&
              same(g.speedButton3, kSpeedButton3) && same(g.speedButton1, kSpeedButton1));
  EXPECT_EQ(g.comboBox1ItemHeight, kComboBox1ItemHeight);
  EXPECT_EQ(g.comboBoxEx1ItemHeight, kComboBoxEx1ItemHeight);
  EXPECT_EQ(g.fontPixels, kFontPixels);
  EXPECT_EQ(g.DriveListLeft(120), DriveListLeft(kLabel1.left, 120));
}

// At any usual scale every control stays inside the client area, the drive list still fits between a label as
// wide as at 96 DPI (scaled) and the language selector, and the bottom row keeps its order.
TEST(ScaledLayout, EveryControlStaysInsideTheClientAreaInItsOrder) {
  for (int dpi = 72; dpi <= 480; dpi += 12) {
    const WindowGeometry g = GeometryForDpi(dpi);
    const std::vector<Bounds> controls = {g.comboBoxEx1,  g.gauge1,       g.button1,
                                          g.speedButton2, g.speedButton3, g.speedButton1};
    for (const Bounds& b : controls) {
      EXPECT_TRUE(b.left >= 0 && b.top >= 0 && b.right() <= g.clientWidth && b.bottom() <= g.clientHeight)
          << dpi << " DPI: " << b.left << "," << b.top << "," << b.width << "," << b.height;
    }
    const int label = ScaleForDpi(kComboBox1.left - kDriveListGap - kLabel1.left, dpi);
    EXPECT_LE(g.DriveListLeft(label) + g.comboBox1.width, g.comboBoxEx1.left) << dpi << " DPI";
    EXPECT_LE(g.button1.right(), g.speedButton2.left) << dpi << " DPI";
    EXPECT_TRUE(g.speedButton2.left < g.speedButton3.left && g.speedButton3.left < g.speedButton1.left)
        << dpi << " DPI";
    EXPECT_LE(g.gauge1.bottom(), g.button1.top) << dpi << " DPI";
  }
}

// The image buttons keep their scaled widths, overlap by exactly one pixel and end with the progress bar at
// every scale, as at 96 DPI (scaled one by one, they overlapped by two at 150 and 200 %).
TEST(ScaledLayout, ImageButtonsOverlapByOnePixelAndEndWithTheBar) {
  for (int dpi = 72; dpi <= 480; dpi += 6) {
    const WindowGeometry g = GeometryForDpi(dpi);
    const int w = ScaleForDpi(kSpeedButton1.width, dpi);
    EXPECT_TRUE(g.speedButton2.width == w && g.speedButton3.width == w && g.speedButton1.width == w) << dpi;
    EXPECT_TRUE(g.speedButton2.right() - g.speedButton3.left == 1 &&
                g.speedButton3.right() - g.speedButton1.left == 1 &&
                g.speedButton1.right() == g.gauge1.right())
        << dpi << " DPI: " << g.speedButton2.left << " " << g.speedButton3.left << " " << g.speedButton1.left;
  }
}

// The glyphs, flags and icon are drawn for 100, 125, 150 and 200 %: a display gets the largest drawing that
// is not larger than its scale asks for.
TEST(ScaledLayout, BitmapsComeFromTheLargestSetNotAboveTheDisplaysScale) {
  const struct {
    int dpi, scale;
  } cases[] = {{72, 100},  {96, 100},  {119, 100}, {120, 125}, {143, 125},
               {144, 150}, {168, 150}, {191, 150}, {192, 200}, {288, 200}};
  for (const auto& c : cases) EXPECT_EQ(kBitmapScales[BitmapSetForDpi(c.dpi)], c.scale) << c.dpi << " DPI";
}

}  // namespace
}  // namespace scaleboot::layout
