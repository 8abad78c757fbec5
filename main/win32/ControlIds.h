// Identifiers of the main window's controls and window classes. The window tests find the controls by them.
#pragma once

namespace scaleboot::win32 {

enum ControlId : int {
  kLabel1Id = 101,
  kComboBox1Id,
  kComboBoxEx1Id,
  kGauge1Id,
  kButton1Id,
  kSpeedButton1Id,
  kSpeedButton2Id,
  kSpeedButton3Id,
};

inline constexpr unsigned kTimer1Id = 1;

inline constexpr wchar_t kFormClassName[] = L"TForm1";
inline constexpr wchar_t kGaugeClassName[] = L"TGauge";
inline constexpr wchar_t kSpeedButtonClassName[] = L"TSpeedButton";

}  // namespace scaleboot::win32
