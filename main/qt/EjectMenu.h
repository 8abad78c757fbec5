// The drive list's context menu, from a right click, the menu key or Shift+F10: Eject for the selected drive,
// then the item that opens the station window.
#pragma once
#include <QComboBox>
#include <functional>

#include "main/qt/ErrorReporter.h"
#include "platform/Eject.h"
#include "ui/MessageTable.h"

namespace scaleboot::qt {

// The menu's second item; left out when `open` is empty.
struct StationMenuItem {
  std::function<bool()> enabled;  // asked each time the menu opens
  std::function<void()> open;     // run under the error reporter
};

// Gives `list` the menu. Eject (greyed when no drive is selected) ejects the selected drive through `ejector`
// and shows the box that reports it through `reporter`, in the language `language` returns at that moment.
// `station`, when given, is the item after it.
void AttachEjectMenu(QComboBox& list, platform::Ejector& ejector, ErrorReporter& reporter,
                     std::function<LanguageIndex()> language, StationMenuItem station = {});

}  // namespace scaleboot::qt
