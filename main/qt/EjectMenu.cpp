#include "main/qt/EjectMenu.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

#include "ui/EjectTexts.h"
#include "ui/StationTexts.h"

namespace scaleboot::qt {
namespace {

// Opens the menu from the keyboard: the menu key and Shift+F10, which Qt does not turn into a context menu
// on every platform.
class MenuKeys : public QObject {
 public:
  MenuKeys(QComboBox& list, std::function<void(QPoint)> show)
      : QObject(&list), list_(list), show_(std::move(show)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &list_ || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool menuKey = key->key() == Qt::Key_Menu;
    const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10) return false;
    show_(QPoint(0, list_.height()));
    return true;
  }

 private:
  QComboBox& list_;
  std::function<void(QPoint)> show_;
};

}  // namespace

void AttachEjectMenu(QComboBox& list, platform::Ejector& ejector, ErrorReporter& reporter,
                     std::function<LanguageIndex()> language, StationMenuItem station) {
  const auto show = [&list, &ejector, &reporter, language, station](QPoint at) {
    const std::string root = list.currentIndex() < 0 ? std::string() : list.currentText().toStdString();
    const LanguageIndex lang = language();
    QMenu menu(&list);
    QAction* eject = menu.addAction(
        QString::fromUtf8(EjectMenuText(lang).data(), static_cast<qsizetype>(EjectMenuText(lang).size())));
    eject->setEnabled(!root.empty());
    QAction* watch = nullptr;
    if (station.open) {
      const std::string_view text = StationWords(lang, StationText::MenuItem);
      watch = menu.addAction(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
      watch->setEnabled(!station.enabled || station.enabled());
    }
    QAction* chosen = menu.exec(list.mapToGlobal(at));
    if (chosen != nullptr && chosen == watch) {
      reporter.Run(station.open);
      return;
    }
    if (chosen != eject || root.empty()) return;
    reporter.Run([&] { reporter.ShowBox(EjectResultBox(lang, root, ejector.Eject(root, {}))); });
  };
  list.setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(&list, &QWidget::customContextMenuRequested, &list, show);
  list.installEventFilter(new MenuKeys(list, show));
}

}  // namespace scaleboot::qt
