// Gauge1's window: a progress bar drawn by the program itself from the core's gauge rule.
#pragma once
#include <windows.h>

#include "main/win32/WindowObject.h"
#include "ui/Gauge.h"

namespace scaleboot::win32 {

class TGauge final : public WindowObject {
 public:
  static void Register(HINSTANCE instance);

  TGauge() = default;

  HWND Create(HWND parent, int id, const RECT& bounds, HINSTANCE instance);
  const GaugeModel& Model() const { return model_; }

  // Each setter repaints the bar before it returns when the gauge rule asks for a redraw, without going
  // through the message loop: the writer holds the thread while it moves the bar.
  void SetMinimum(int value);
  void SetMaximum(int value);
  void SetPosition(int value);
  void AddProgress(int delta);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;
  void Paint(HDC dc) const;
  void RedrawNow(bool needed);

  GaugeModel model_;
};

}  // namespace scaleboot::win32
