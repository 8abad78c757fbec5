#include "main/qt/TForm1.h"

#include "main/qt/EjectMenu.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOption>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>
#include <QWindow>
#include <array>

#include "card/DriveScan.h"
#include "images/FirmwareImages.h"
#include "ui/Contents.h"
#include "ui/Documents.h"
#include "ui/ScaledLayout.h"
#include "ui/WindowLayout.h"
#include "ui/WindowTexts.h"
#include "ui/WriteResult.h"

namespace scaleboot::qt {
namespace {

constexpr QRect Rect(const layout::Bounds& bounds) {
  return {bounds.left, bounds.top, bounds.width, bounds.height};
}

// Room a push button needs beside its caption on either side.
constexpr int kButtonTextMargin = 6;
// The smallest character height the window's font may shrink to for the texts to fit.
constexpr int kSmallestWindowFontPixels = 9;

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Hint timing of the application, on top of whatever style the desktop chose.
class HintTimingStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    switch (hint) {
      case SH_ToolTip_WakeUpDelay:
        return kHintShowDelayMs;
      case SH_ToolTip_FallAsleepDelay:
        // While a hint is up, the next widget's hint follows without the show pause.
        return kHintHideDelayMs;
      default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
  }
};

// Swallows user input while it is installed.
class InputDiscarder : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
        return true;
      default:
        return false;
    }
  }
};

// Draws a list's items with the list's own delegate, each the given number of pixels high.
class FixedItemHeightDelegate : public QAbstractItemDelegate {
 public:
  FixedItemHeightDelegate(QAbstractItemDelegate* drawing, int height, QObject* parent)
      : QAbstractItemDelegate(parent), drawing_(drawing), height_(height) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    drawing_->paint(painter, option, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {drawing_->sizeHint(option, index).width(), height_};
  }

 private:
  QAbstractItemDelegate* drawing_;  // a child of the list, which keeps it
  int height_;
};

void SetItemHeight(QComboBox& list, int height) {
  list.setItemDelegate(new FixedItemHeightDelegate(list.itemDelegate(), height, &list));
}

bool WindowTextsFit(const QFont& font) {
  const QFontMetrics metrics(font);
  for (const LanguageIndex language : {kEnglish, kRussian}) {
    const int label = metrics.horizontalAdvance(Q(Text(language, Msg::SelectCard)));
    if (DriveListLeft(layout::kLabel1.left, label) + layout::kComboBox1.width > layout::kComboBoxEx1.left)
      return false;
    const int caption = metrics.horizontalAdvance(Q(Text(language, Msg::WriteButtonText)));
    if (caption + 2 * kButtonTextMargin > layout::kButton1.width) return false;
  }
  return true;
}

}  // namespace

QFont WindowFont() {
  QFont font;
  // Arial-metric faces first, the closest to the classic dialog font; DejaVu as the fallback every desktop
  // has.
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"),
                    QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  for (int pixels = layout::kFontPixels; pixels >= kSmallestWindowFontPixels; --pixels) {
    font.setPixelSize(pixels);
    if (WindowTextsFit(font)) break;
  }
  return font;
}

QPoint CentredFramePosition(const QRect& available, const QSize& client, const QMargins& frame) {
  const QSize whole = client.grownBy(frame);
  return {available.left() + (available.width() - whole.width()) / 2,
          available.top() + (available.height() - whole.height()) / 2};
}

// --- TSpeedButton ---------------------------------------------------------------------------------------

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent) {
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void TSpeedButton::SetGlyph(const QString& resourcePath) {
  const QIcon glyph = ScaledBitmapIcon(resourcePath, true);
  setIcon(glyph);
  setIconSize(glyph.actualSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)));
}

void TSpeedButton::ShowHint(const QPoint& globalPos) {
  if (toolTip().isEmpty()) return;
  QToolTip::showText(globalPos, toolTip(), this, rect(), hintHideTime_);
  hintShownHere_ = true;
}

bool TSpeedButton::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ToolTip:
      if (hintShownHere_ && !QToolTip::isVisible()) {
        // Shown and then hidden (timed out or clicked): it stays away while the mouse is here.
        event->ignore();
      } else {
        ShowHint(static_cast<QHelpEvent*>(event)->globalPos());
      }
      return true;
    case QEvent::Enter:
      if (QToolTip::isVisible()) ShowHint(static_cast<QEnterEvent*>(event)->globalPosition().toPoint());
      break;
    case QEvent::Leave:
      hintShownHere_ = false;
      break;
    default:
      break;
  }
  return QToolButton::event(event);
}

// --- TDriveComboBox -------------------------------------------------------------------------------------

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setInsertPolicy(QComboBox::NoInsert);
}

void TDriveComboBox::showPopup() {
  int widest = 0;
  for (int i = 0; i < count(); ++i) widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
  // Room for the item's own margins and a scroll bar beside the text.
  const int margins = 4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8 +
                      style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  view()->setMinimumWidth(std::max(width(), widest + margins));
  QComboBox::showPopup();
}

void TDriveComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  // The end of a mount path names the card; its start is what gives way.
  option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideLeft, field.width() - 2);
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

// --- TForm1 ---------------------------------------------------------------------------------------------

// The window parts a write run drives, the bar repainting inside the run; then its input and message box.
class TForm1::GaugeView : public WriteWindow {
 public:
  explicit GaugeView(TForm1& form) : form_(form) {}
  void SetWriteEnabled(bool enabled) override { form_.Button1->setEnabled(enabled); }
  void SetGaugeRange(int minimum, int maximum) override {
    form_.Gauge1->SetMinimum(minimum);
    form_.Gauge1->SetMaximum(maximum);
  }
  void SetGaugePosition(int position) override { form_.Gauge1->SetPosition(position); }
  void AddGaugeProgress(int delta) override { form_.Gauge1->AddProgress(delta); }
  void DiscardPendingInput() override { form_.DiscardInputOfRun(); }
  void ShowBox(const MessageBoxSpec& box) override { form_.reporter_.ShowBox(box); }

 private:
  TForm1& form_;
};

TForm1::TForm1(platform::DriveSource& drives, platform::ByteFileSystem& files,
               platform::DocumentHost& documents, ErrorReporter& reporter,
               std::span<const FirmwareImage> images)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      drives_(drives),
      files_(files),
      documents_(documents),
      reporter_(reporter),
      images_(images) {
  reporter_.SetOwner(this);
  CreateControls();
  reporter_.Run([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  setFont(WindowFont());
  setFixedSize(layout::kClientWidth, layout::kClientHeight);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  setWindowIcon(QIcon(QStringLiteral(":/icon/scaleboot.png")));

  Label1 = new QLabel(this);
  Label1->setTextFormat(Qt::PlainText);
  Label1->setGeometry(Rect(layout::kLabel1));

  ComboBox1 = new TDriveComboBox(this);
  ComboBox1->setGeometry(Rect(layout::kComboBox1));
  SetItemHeight(*ComboBox1, layout::kComboBox1ItemHeight);

  ComboBoxEx1 = new QComboBox(this);
  ComboBoxEx1->setGeometry(Rect(layout::kComboBoxEx1));
  SetItemHeight(*ComboBoxEx1, layout::kComboBoxEx1ItemHeight);
  ComboBoxEx1->setIconSize({layout::kFlagWidth, layout::kFlagHeight});
  ComboBoxEx1->setMaxVisibleItems(layout::kLanguageListRows);
  ComboBoxEx1->setFocusPolicy(Qt::ClickFocus);  // never reached by Tab
  ComboBoxEx1->addItem(ScaledBitmapIcon(QStringLiteral(":/flags/uk.bmp"), false),
                       Q(kLanguageItems[kEnglish]));
  ComboBoxEx1->addItem(ScaledBitmapIcon(QStringLiteral(":/flags/russia.bmp"), false),
                       Q(kLanguageItems[kRussian]));

  Gauge1 = new TGauge(this);
  Gauge1->setGeometry(Rect(layout::kGauge1));

  Button1 = new QPushButton(this);
  Button1->setGeometry(Rect(layout::kButton1));
  Button1->setEnabled(false);

  SpeedButton2 = new TSpeedButton(this);
  SpeedButton2->setGeometry(Rect(layout::kSpeedButton2));
  SpeedButton2->SetGlyph(QStringLiteral(":/glyphs/manual.bmp"));
  SpeedButton3 = new TSpeedButton(this);
  SpeedButton3->setGeometry(Rect(layout::kSpeedButton3));
  SpeedButton3->SetGlyph(QStringLiteral(":/glyphs/changes.bmp"));
  SpeedButton1 = new TSpeedButton(this);
  SpeedButton1->setGeometry(Rect(layout::kSpeedButton1));
  SpeedButton1->SetGlyph(QStringLiteral(":/glyphs/contents.bmp"));

  setTabOrder(Button1, ComboBox1);
  ComboBox1->setFocus();

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
  // activated: the user's choice only, so selecting in code does not run the handler.
  connect(ComboBoxEx1, &QComboBox::activated, this, [this](int index) { ComboBoxEx1Change(index); });

  Timer1 = new QTimer(this);
  Timer1->setInterval(kDriveScanIntervalMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  Timer1->start();

  CentreOnScreen();
}

void TForm1::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  centredFrame_ = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
  // A window's position is that of its frame.
  move(CentredFramePosition(screen->availableGeometry(), size(), centredFrame_));
}

void TForm1::CentreOnceFrameKnown() {
  if (!awaitingFrame_ || windowHandle() == nullptr) return;
  const QMargins frame = windowHandle()->frameMargins();
  if (frame == centredFrame_) return;
  awaitingFrame_ = false;
  CentreOnScreen();
}

bool TForm1::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  // The window system tells the frame after the window is shown, with the move that puts it in its frame.
  if (event->type() == QEvent::Show || event->type() == QEvent::Move) CentreOnceFrameKnown();
  return handled;
}

void TForm1::FormCreate() {
  state_ = StartProgram(images_);  // CorruptCount from the checksum test of the images
  ApplyHintTiming();
  ComboBoxEx1->setCurrentIndex(kInitialLanguageItem);
  state_.Language = LanguageForItem(ComboBoxEx1->currentIndex());
  ApplyLanguage();
}

void TForm1::ApplyHintTiming() {
  if (dynamic_cast<HintTimingStyle*>(QApplication::style()) != nullptr) return;
  // The proxy owns a style of its own: the application's current one is deleted when it is replaced.
  QApplication::setStyle(new HintTimingStyle(QStyleFactory::create(QApplication::style()->name())));
}

void TForm1::ApplyLanguage() {
  const WindowTexts texts = ComposeWindowTexts(
      state_.Language, FormatProgramVersion(platform::ReadOwnFileVersion()), IsTestBuild());
  setWindowTitle(Q(texts.caption));
  reporter_.SetApplicationTitle(texts.caption);
  Label1->setText(Q(texts.label));
  Label1->resize(Label1->fontMetrics().horizontalAdvance(Label1->text()), layout::kLabel1.height);
  Button1->setText(Q(texts.button));
  ComboBox1->move(DriveListLeft(Label1->x(), Label1->width()), ComboBox1->y());
  SpeedButton1->setToolTip(Q(texts.versionsHint));
  SpeedButton2->setToolTip(BoxTextForDisplay(texts.manualHint));
  SpeedButton3->setToolTip(BoxTextForDisplay(texts.changesHint));
  SpeedButton1->setAccessibleName(Q(texts.versionsName));
  SpeedButton2->setAccessibleName(Q(texts.manualName));
  SpeedButton3->setAccessibleName(Q(texts.changesName));
  ComboBox1->setAccessibleName(Q(texts.driveListName));
}

void TForm1::Timer1Timer() {
  reporter_.Run([this] {
    const std::optional<DriveListUpdate> update =
        RescanDrives(drives_, state_.LastDriveStringsLength, state_.CorruptCount);
    if (!update) return;
    ComboBox1->clear();
    for (const std::string& drive : update->drives) ComboBox1->addItem(Q(drive));
    ComboBox1->setCurrentIndex(update->selectedIndex);
    Button1->setEnabled(update->writeEnabled);
  });
}

void TForm1::Button1Click() {
  reporter_.Run([this] {
    GaugeView window(*this);
    // With no drive selected the text is empty, which the writer refuses.
    WriteAndReport(ComboBox1->currentText().toStdString(), images_, files_, state_.Language, window);
  });
}

void TForm1::DiscardInputOfRun() {
  InputDiscarder discarder;
  QCoreApplication::instance()->installEventFilter(&discarder);
  QCoreApplication::processEvents();
  QCoreApplication::instance()->removeEventFilter(&discarder);
}

void TForm1::SpeedButton1Click() {
  reporter_.Run(
      [this] { reporter_.ShowBox(ShowModuleContents(state_.Language, state_.CorruptCount, IsTestBuild())); });
}

void TForm1::SpeedButton2Click() {
  reporter_.Run([this] { OpenDocument(ManualDocument(state_.Language), documents_); });
}

void TForm1::SpeedButton3Click() {
  reporter_.Run([this] { OpenDocument(ChangesDocument(), documents_); });
}

void TForm1::SetEjector(platform::Ejector& ejector) {
  AttachEjectMenu(*ComboBox1, ejector, reporter_, [this] { return state_.Language; });
}

void TForm1::SetStation(const station::Services& services) {
  stationServices_ = services;
  AttachEjectMenu(*ComboBox1, *services.ejector, reporter_, [this] { return state_.Language; },
                  {[this] { return state_.CorruptCount == 0; }, [this] { StationItemClick(); }});
}

void TForm1::StationItemClick() {
  reporter_.Run([this] {
    if (station_ || state_.CorruptCount != 0) return;
    const std::string selected =
        ComboBox1->currentIndex() < 0 ? std::string() : ComboBox1->currentText().toStdString();
    station_ = new TStationWindow(this, stationServices_, state_.Language, selected, reporter_);
    // Its boxes, errors escaping its handlers included, are its own while it is open; this window takes no
    // input meanwhile, and goes on rescanning the drives.
    reporter_.SetOwner(station_);
    connect(station_, &QDialog::finished, this, [this] {
      reporter_.SetOwner(this);
      station_->deleteLater();
      station_.clear();
    });
    station_->show();
  });
}

void TForm1::ComboBoxEx1Change(int index) {
  reporter_.Run([this, index] {
    state_.Language = LanguageForItem(index);
    ApplyLanguage();
    ComboBox1->setFocus(Qt::OtherFocusReason);
  });
}

}  // namespace scaleboot::qt
