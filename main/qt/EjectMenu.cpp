#include "main/qt/EjectMenu.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

#include "ui/EjectTexts.h"

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
                     std::function<LanguageIndex()> language) {
  const auto show = [&list, &ejector, &reporter, language](QPoint at) {
    const std::string root = list.currentIndex() < 0 ? std::string() : list.currentText().toStdString();
    const LanguageIndex lang = language();
    QMenu menu(&list);
    QAction* eject = menu.addAction(
        QString::fromUtf8(EjectMenuText(lang).data(), static_cast<qsizetype>(EjectMenuText(lang).size())));
    eject->setEnabled(!root.empty());
    if (menu.exec(list.mapToGlobal(at)) != eject || root.empty()) return;
    reporter.Run([&] { reporter.ShowBox(EjectResultBox(lang, root, ejector.Eject(root, {}))); });
  };
  list.setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(&list, &QWidget::customContextMenuRequested, &list, show);
  list.installEventFilter(new MenuKeys(list, show));
}

}  // namespace scaleboot::qt
