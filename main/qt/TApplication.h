// The application object: delivers every event through the error reporter, so that an error escaping any
// event handler is shown in a box and the program goes on.
#pragma once
#include <QApplication>

#include "main/qt/ErrorReporter.h"

namespace scaleboot::qt {

class TApplication : public QApplication {
 public:
  // Qt's own command-line options are not honoured: the program reads no command line.
  TApplication(ErrorReporter& reporter, const char* programName);

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  ErrorReporter& reporter_;
};

}  // namespace scaleboot::qt
