// A message box to show: text, caption, icon and an OK button, modal for the whole program.
#pragma once
#include <string>

namespace scaleboot {

enum class BoxIcon { Information, Error };

struct MessageBoxSpec {
  std::string text;
  std::string caption;
  BoxIcon icon = BoxIcon::Information;

  bool operator==(const MessageBoxSpec&) const = default;
};

}  // namespace scaleboot
