// The program: the Linux services, the window, and the event loop until the window is closed.
#include <QDesktopServices>
#include <QUrl>

#include "main/qt/ErrorReporter.h"
#include "main/qt/TApplication.h"
#include "main/qt/TForm1.h"
#include "platform/linux/LinuxEjector.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Errors.h"

int main(int, char** argv) {
  using namespace scaleboot;
  qt::ErrorReporter reporter(FallbackApplicationTitle(platform::OwnExecutablePath()));
  qt::TApplication application(reporter, argv[0]);

  platform::MountDriveSource drives;
  platform::PosixByteFileSystem files;
  platform::LinuxDocumentHost documents(platform::OwnProgramFolder(), [](const std::string& path) {
    // Whether a viewer opened it is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  });

  platform::LinuxEjector ejector;
  qt::TForm1 form(drives, files, documents, reporter);
  form.SetEjector(ejector);
  form.show();
  return application.exec();
}
