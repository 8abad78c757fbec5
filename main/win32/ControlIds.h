// Identifiers of the windows' controls and window classes. The window tests find the controls by them.
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

// The station window's controls. Stop is IDCANCEL, so that Esc presses it.
enum StationControlId : int {
  kStationWatchLabelId = 201,
  kStationWatchId,
  kStationWatchingId,
  kStationListId,
  kStationStatusId,
  kStationRecordId,
  kStationEjectId,
  kStationKeepRecordId,
  kStationStopId = 2,  // IDCANCEL
};

inline constexpr unsigned kTimer1Id = 1;

inline constexpr wchar_t kFormClassName[] = L"TForm1";
inline constexpr wchar_t kGaugeClassName[] = L"TGauge";
inline constexpr wchar_t kSpeedButtonClassName[] = L"TSpeedButton";
inline constexpr wchar_t kStationClassName[] = L"ScaleBootStation";

}  // namespace scaleboot::win32
