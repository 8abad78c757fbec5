// The program: the Linux services, the window, and the event loop until the window is closed.
#include <QApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "BuildInfo.h"

#include "main/qt/ErrorReporter.h"
#include "main/qt/TApplication.h"
#include "main/qt/TForm1.h"
#include "platform/Embedded.h"
#include "platform/linux/CardMounter.h"
#include "platform/linux/CardSlots.h"
#include "platform/linux/LinuxEjector.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/LogindInhibitor.h"
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
  platform::LinuxCardSlots cardSlots(drives);
  platform::CardMounter mounter;
  station::Services station;
  station.cardSlots = &cardSlots;
  station.images = FirmwareImages();
  // Each card the station writes gets a file layer of its own, on the card's worker thread.
  station.newFiles = [] { return std::make_unique<platform::PosixByteFileSystem>(); };
  station.ejector = &ejector;
  station.mounter = &mounter;
  station.identifyFolder = platform::IdentifyFolder;
  platform::LogindInhibitor awake("ScaleBoot", "writing a memory card");
  station.stayAwake = &awake;
  station.recordFacts = {FirmwareImages(), EmbeddedFirmwareSha256(), build::kVersionText, "scaleboot",
                         IsTestBuild()};
  station.recordFacts.clockSynchronised = platform::ClockSynchronised;

  qt::TForm1 form(drives, files, documents, reporter);
  form.SetStation(station);
  form.show();
  // SIGTERM and SIGHUP (a logout, a service manager, a closed terminal) and SIGINT end the program as the
  // station's Stop does: the cards in progress are finished, shown and recorded first, then the window goes.
  platform::InstallStopHandlers();
  QTimer ending;
  QObject::connect(&ending, &QTimer::timeout, [&form] {
    if (!platform::WaitOrStop(0)) return;
    if (qt::TStationWindow* open = form.stationWindow()) {
      open->StopButtonClick();
    } else {
      QApplication::quit();
    }
  });
  ending.start(qt::kEndingCheckMs);
  return application.exec();
}
