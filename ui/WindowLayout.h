// The window's fixed geometry and colours, shared by both front ends and their window tests so that a test
// checks the program's own table instead of a copy of it.
#pragma once
#include <cstdint>

namespace scaleboot::layout {

// A control's rectangle in client pixels.
struct Bounds {
  int left, top, width, height;
  constexpr int right() const { return left + width; }
  constexpr int bottom() const { return top + height; }
};

struct Colour {
  std::uint8_t red, green, blue;
};

inline constexpr int kClientWidth = 311;
inline constexpr int kClientHeight = 83;

inline constexpr Bounds kLabel1{8, 8, 0, 13};  // the width follows the text
inline constexpr Bounds kComboBox1{136, 5, 81, 21};
inline constexpr Bounds kComboBoxEx1{224, 5, 81, 22};
inline constexpr Bounds kGauge1{8, 32, 297, 12};
inline constexpr Bounds kButton1{8, 52, 217, 25};
inline constexpr Bounds kSpeedButton2{232, 52, 25, 25};
inline constexpr Bounds kSpeedButton3{256, 52, 25, 25};
inline constexpr Bounds kSpeedButton1{280, 52, 25, 25};

inline constexpr int kComboBox1ItemHeight = 13;
inline constexpr int kComboBoxEx1ItemHeight = 16;
inline constexpr int kLanguageListRows = 8;  // at most this many items dropped down
inline constexpr int kFlagWidth = 24;
inline constexpr int kFlagHeight = 16;

// "MS Sans Serif" 8 pt: 11 pixels character height.
inline constexpr int kFontPixels = 11;

inline constexpr Colour kGaugeFill{0, 128, 128};
inline constexpr Colour kGaugeBackground{255, 255, 255};
inline constexpr Colour kGaugeFrame{0, 0, 0};

}  // namespace scaleboot::layout
