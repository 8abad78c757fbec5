// Event handlers of the program's windows: nothing they raise may cross the window procedure.
#pragma once
#include <exception>

namespace scaleboot::win32 {

// Runs `handler`; whatever it raises goes to `report` with its message, and no further.
template <class Handler, class Report>
void RunGuarded(Handler&& handler, Report&& report) noexcept {
  try {
    handler();
  } catch (const std::exception& e) {
    report(e.what());
  } catch (...) {
    report("Unknown error");
  }
}

}  // namespace scaleboot::win32
