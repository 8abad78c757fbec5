#include "main/qt/ErrorReporter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "ui/Errors.h"

namespace scaleboot::qt {

QString BoxTextForDisplay(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

void PresentMessageBox(const MessageBoxSpec& box, QWidget* parent) {
  QMessageBox dialog(box.icon == BoxIcon::Error ? QMessageBox::Critical : QMessageBox::Information,
                     QString::fromStdString(box.caption), BoxTextForDisplay(box.text), QMessageBox::Ok,
                     parent);
  // The texts are shown as they are: a path or message that looks like markup is not interpreted.
  dialog.setTextFormat(Qt::PlainText);
  dialog.setWindowModality(Qt::ApplicationModal);
  const QPointer<QWidget> activeWindow = QApplication::activeWindow();
  const QPointer<QWidget> focus = QApplication::focusWidget();
  dialog.exec();
  // The window that was active before the box gets the activation and its keyboard focus back.
  if (activeWindow) activeWindow->activateWindow();
  if (focus) focus->setFocus(Qt::ActiveWindowFocusReason);
}

ErrorReporter::ErrorReporter(std::string applicationTitle, BoxPresenter presenter)
    : title_(std::move(applicationTitle)), presenter_(std::move(presenter)) {}

void ErrorReporter::ShowBox(const MessageBoxSpec& box) {
  presenter_(box, owner_.data());
}

void ErrorReporter::Report(const std::exception& error) noexcept {
  try {
    ShowBox({ErrorBoxText(error.what()), title_, BoxIcon::Error});
  } catch (...) {
    // The box itself could not be shown (out of memory); there is no other place to put the message, and
    // the program goes on as it would after the box.
  }
}

}  // namespace scaleboot::qt
