// How the window shows errors: the error classes and their text rule, and the title of an error box shown
// before the first language is applied.
#pragma once
#include <string>
#include <string_view>

#include "common/Errors.h"

namespace scaleboot {

// The application title before the first language is applied: the executable's file name without its folder,
// cut at its first full stop, first character kept and the rest in lower case ("ScaleBoot.exe" ->
// "Scaleboot").
std::string FallbackApplicationTitle(std::string_view executablePath);

}  // namespace scaleboot
