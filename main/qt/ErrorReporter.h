// Message boxes of the window and the handler for errors that escape an event handler.
#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <exception>
#include <functional>
#include <string>

#include "ui/MessageBox.h"

namespace scaleboot::qt {

// Shows `box` modally for the whole application, over `parent` when it is given, and returns when the box has
// been closed.
using BoxPresenter = std::function<void(const MessageBoxSpec& box, QWidget* parent)>;

// The default presenter: an application-modal QMessageBox with the box's text (CR LF shown as line breaks),
// caption and icon, and an OK button only.
void PresentMessageBox(const MessageBoxSpec& box, QWidget* parent);

// Box text for Qt: the program's texts separate lines with CR LF.
QString BoxTextForDisplay(const std::string& text);

// Every message box of the program goes through here, so that the error boxes carry the application title
// and tests can replace the presenter. An error escaping an event handler is shown under the application
// title with the full-stop rule applied to its message, and the program goes on.
class ErrorReporter {
 public:
  explicit ErrorReporter(std::string applicationTitle, BoxPresenter presenter = PresentMessageBox);

  // The application title: the caption of the error boxes, kept equal to the window caption.
  const std::string& applicationTitle() const { return title_; }
  void SetApplicationTitle(std::string title) { title_ = std::move(title); }

  // The window the boxes are shown over (none: centred on the screen).
  void SetOwner(QWidget* owner) { owner_ = owner; }
  void SetPresenter(BoxPresenter presenter) { presenter_ = std::move(presenter); }

  void ShowBox(const MessageBoxSpec& box);
  // Shows the error's message in an error box. Never throws.
  void Report(const std::exception& error) noexcept;

  // Runs an event handler; an error escaping it is reported here and goes no further.
  template <typename Handler>
  void Run(Handler&& handler) noexcept {
    try {
      handler();
    } catch (const std::exception& error) {
      Report(error);
    }
  }

 private:
  std::string title_;
  BoxPresenter presenter_;
  QPointer<QWidget> owner_;
};

}  // namespace scaleboot::qt
