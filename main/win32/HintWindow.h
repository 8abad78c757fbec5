// The hints of the image buttons: one tooltip window owned by the form, a tool per button, texts that may
// break at CR LF.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

namespace scaleboot::win32 {

class THintWindow {
 public:
  // Creates the tooltip window for the `tools`, children of `owner`. Raises RaisedError when it cannot be
  // created. The owner destroys it with itself.
  void Create(HWND owner, HINSTANCE instance, std::initializer_list<HWND> tools);
  void SetTiming(int showDelayMs, int hideDelayMs, int reshowDelayMs);
  void SetText(HWND tool, const std::string& text);

 private:
  HWND owner_ = nullptr;
  HWND hwnd_ = nullptr;
};

}  // namespace scaleboot::win32
