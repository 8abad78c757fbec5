// Gauge1's window: a progress bar drawn by the program itself from the core's gauge rule.
#pragma once
#include <windows.h>

#include "main/win32/WindowObject.h"
#include "ui/Gauge.h"

namespace scaleboot::win32 {

class TGauge final : public WindowObject, public GaugeControl<TGauge> {
 public:
  static void Register(HINSTANCE instance);

  TGauge() = default;

  HWND Create(HWND parent, int id, const RECT& bounds, HINSTANCE instance);
  const GaugeModel& Model() const { return model_; }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;
  void Paint(HDC dc) const;
  friend class GaugeControl<TGauge>;
  // Repaints the bar before it returns, without going through the message loop: the writer holds the thread
  // while it moves the bar.
  void RedrawNow(bool needed);
};

}  // namespace scaleboot::win32
