// The window on a real removable card (run under tests/linux/removable-card.sh, offscreen): the program lists
// the card itself, and when the card is unmounted between two files of a run, the window shows
// "I/O error 21." and nothing is left in the mount folder that stays behind on the computer's disk.
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <vector>

#include "RemovableCard.h"
#include "main/qt/ErrorReporter.h"
#include "main/qt/TApplication.h"
#include "main/qt/TForm1.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Errors.h"

using namespace scaleboot;
using namespace scaleboot::qt;

class UnmountedCardTest : public QObject {
  Q_OBJECT

 public:
  explicit UnmountedCardTest(ErrorReporter& reporter) : reporter_(reporter) {}

 private slots:
  void cardUnmountedBetweenTwoFilesGivesIoError21AndLeavesNothingBehind();

 private:
  ErrorReporter& reporter_;
};

void UnmountedCardTest::cardUnmountedBetweenTwoFilesGivesIoError21AndLeavesNothingBehind() {
  const testing::HarnessCard card = testing::HarnessCard::FromEnvironment();
  if (card.root.empty()) QSKIP("needs the card of tests/linux/removable-card.sh");
  QCOMPARE(QString::fromStdString(card.MountEmpty()), QString());
  std::vector<MessageBoxSpec> boxes;
  reporter_.SetPresenter([&](const MessageBoxSpec& box, QWidget*) { boxes.push_back(box); });

  // The program's own services, the card pulled as soon as its first file is closed.
  platform::MountDriveSource drives;
  testing::UnmountingFileSystem files(card, 1);
  QTemporaryDir programFolder;
  platform::LinuxDocumentHost documents(programFolder.path().toStdString() + "/", nullptr);
  TForm1 form(drives, files, documents, reporter_);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));

  form.Timer1Timer();
  const int index = form.ComboBox1->findText(QString::fromStdString(card.root));
  QVERIFY2(index >= 0, "the card is listed");
  form.ComboBox1->setCurrentIndex(index);
  QVERIFY(form.Button1->isEnabled());

  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QVERIFY(files.unmounted);
  QCOMPARE(boxes.size(), std::size_t{1});
  QCOMPARE(QString::fromStdString(boxes[0].text), QStringLiteral("I/O error 21."));
  QCOMPARE(QString::fromStdString(boxes[0].caption), form.windowTitle());
  QCOMPARE(boxes[0].icon, BoxIcon::Error);
  QVERIFY(!form.Button1->isEnabled());
  QCOMPARE(files.deletes, 0);
  QVERIFY(!card.Mounted());
  QVERIFY2(std::filesystem::is_empty(card.root), "nothing written onto the computer's disk");

  // The next scan no longer lists the card.
  form.Timer1Timer();
  QCOMPARE(form.ComboBox1->findText(QString::fromStdString(card.root)), -1);
}

int main(int argc, char** argv) {
  ErrorReporter reporter(FallbackApplicationTitle(platform::OwnExecutablePath()));
  TApplication application(reporter, argv[0]);
  UnmountedCardTest test(reporter);
  return QTest::qExec(&test, argc, argv);
}

#include "UnmountedCardTest.moc"
