#include "main/qt/TApplication.h"

namespace scaleboot::qt {
namespace {

// QApplication keeps references to its argument count and vector for its whole life.
int gArgc = 1;
char* gArgv[2] = {nullptr, nullptr};

int& ArgcFor(const char* programName) {
  gArgv[0] = const_cast<char*>(programName);
  return gArgc;
}

}  // namespace

TApplication::TApplication(ErrorReporter& reporter, const char* programName)
    : QApplication(ArgcFor(programName), gArgv), reporter_(reporter) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    reporter_.Report(error);
    return false;
  }
}

}  // namespace scaleboot::qt
