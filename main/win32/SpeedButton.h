// The flat image buttons SpeedButton1..3: a glyph centred on the button with its bottom-left pixel's colour
// transparent, a thin raised edge while the mouse is over it and a sunken one while it is pressed. They never
// take the keyboard focus; a click reaches the parent as WM_COMMAND / BN_CLICKED, like a push button's.
#pragma once
#include <windows.h>
// After <windows.h>:
#include <commctrl.h>

#include <string>

#include "main/win32/WindowObject.h"

namespace scaleboot::win32 {

class TSpeedButton final : public WindowObject {
 public:
  static void Register(HINSTANCE instance);

  TSpeedButton() = default;
  ~TSpeedButton();

  // Creates the button, without a glyph until SetGlyph gives it one.
  HWND Create(HWND parent, int id, const RECT& bounds, HINSTANCE instance);
  // Shows the bitmap resource `glyphId` as the glyph (each display scale has its own drawing of it). Raises
  // RaisedError when the bitmap is missing.
  void SetGlyph(HINSTANCE instance, int glyphId);
  // The name a screen reader announces; kept as the window text, which the button never draws.
  void SetAccessibleName(const std::string& name);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;
  void Paint(HDC dc) const;
  bool CursorInside(LPARAM lParam) const;
  void SetState(bool hot, bool down);
  void NotifyClick() const;

  HIMAGELIST glyph_ = nullptr;
  SIZE glyphSize_{};
  bool hot_ = false;      // the mouse is over the button
  bool down_ = false;     // pressed, with the mouse inside
  bool pressed_ = false;  // the left button went down on it and the mouse is captured
};

}  // namespace scaleboot::win32
