// The drive list's context menu: one item, Eject, for the selected drive, from a right click, the menu key or
// Shift+F10.
#pragma once
#include <QComboBox>
#include <functional>

#include "main/qt/ErrorReporter.h"
#include "platform/Eject.h"
#include "ui/MessageTable.h"

namespace scaleboot::qt {

// Gives `list` the menu. Eject (greyed when no drive is selected) ejects the selected drive through `ejector`
// and shows the box that reports it through `reporter`, in the language `language` returns at that moment.
void AttachEjectMenu(QComboBox& list, platform::Ejector& ejector, ErrorReporter& reporter,
                     std::function<LanguageIndex()> language);

}  // namespace scaleboot::qt
