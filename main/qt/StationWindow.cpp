#include "main/qt/StationWindow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "images/FirmwareImages.h"
#include "main/qt/TForm1.h"
#include "ui/StationTexts.h"
#include "ui/TestMark.h"

namespace scaleboot::qt {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

enum Column { kTime, kDrive, kOutcome, kCard, kColumns };

}  // namespace

TStationWindow::TStationWindow(QWidget* owner, const station::Services& services, LanguageIndex language,
                               const std::string& selectedRoot, ErrorReporter& reporter)
    : QDialog(owner),
      services_(services),
      language_(language),
      reporter_(reporter),
      record_(language, platform::OpenAppendFile) {
  choices_ = StationChoices(language_, *services_.cardSlots, selectedRoot);
  CreateControls(choices_);
  BeginSession(choices_.front().reader);
  Ticker->start();
}

// The session waits here for the cards still in progress, which only a failed start leaves.
TStationWindow::~TStationWindow() = default;

void TStationWindow::CreateControls(const std::vector<StationChoice>& choices) {
  const auto words = [this](StationText text) { return Q(StationWords(language_, text)); };
  setFont(WindowFont());
  setWindowTitle(Q(MarkedTitle(language_, StationWords(language_, StationText::WindowTitle), IsTestBuild())));
  setWindowModality(Qt::WindowModal);
  setSizeGripEnabled(true);

  WatchLabel = new QLabel(words(StationText::WatchLabel), this);
  WatchList = new QComboBox(this);
  for (const StationChoice& choice : choices) WatchList->addItem(Q(choice.text));
  WatchLabel->setBuddy(WatchList);
  WatchList->setAccessibleName(WatchLabel->text());
  WatchingLine = new QLabel(this);
  WatchingLine->setWordWrap(true);
  WatchingLine->setTextFormat(Qt::PlainText);

  CardList = new QTreeWidget(this);
  CardList->setColumnCount(kColumns);
  CardList->setHeaderLabels({words(StationText::ColumnTime), words(StationText::ColumnDrive),
                             words(StationText::ColumnOutcome), words(StationText::ColumnCard)});
  CardList->setRootIsDecorated(false);
  CardList->setUniformRowHeights(true);
  CardList->setAlternatingRowColors(true);
  CardList->setSelectionMode(QAbstractItemView::SingleSelection);
  CardList->setAccessibleName(windowTitle());

  StatusLine = new QLabel(this);
  StatusLine->setTextFormat(Qt::PlainText);
  EjectBox = new QCheckBox(words(StationText::EjectEach), this);
  EjectBox->setChecked(true);
  RecordButton = new QPushButton(words(StationText::KeepRecord), this);
  RecordLine = new QLabel(this);
  RecordLine->setTextFormat(Qt::PlainText);
  StopButton = new QPushButton(words(StationText::StopButton), this);
  // Enter in the list neither asks for a record file nor stops the station.
  RecordButton->setAutoDefault(false);
  StopButton->setAutoDefault(false);

  // Sizes in characters of the window's font, which Qt draws at the display's device pixel ratio.
  const QFontMetrics metrics(font());
  const int character = metrics.averageCharWidth();
  const int gap = metrics.height() / 2;
  auto* top = new QHBoxLayout;
  top->addWidget(WatchLabel);
  top->addWidget(WatchList, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(EjectBox);
  bottom->addSpacing(gap);
  bottom->addWidget(RecordButton);
  bottom->addWidget(RecordLine, 1);
  bottom->addWidget(StopButton);
  auto* whole = new QVBoxLayout(this);
  whole->setContentsMargins(gap, gap, gap, gap);
  whole->setSpacing(gap);
  whole->addLayout(top);
  whole->addWidget(WatchingLine);
  whole->addWidget(CardList, 1);
  whole->addWidget(StatusLine);
  whole->addLayout(bottom);
  WatchList->setMinimumWidth(character * 40);
  StopButton->setMinimumWidth(metrics.horizontalAdvance(StopButton->text()) + 4 * character);
  CardList->setColumnWidth(kTime, metrics.horizontalAdvance(QStringLiteral("00:00:00")) + 3 * character);
  CardList->setColumnWidth(kDrive, character * 22);
  CardList->setColumnWidth(kOutcome, character * 48);
  CardList->setMinimumHeight(metrics.height() * 8);
  resize(character * 124, metrics.height() * 30);

  Ticker = new QTimer(this);
  Ticker->setInterval(kStationTickMs);
  beepGap_ = new QTimer(this);
  beepGap_->setInterval(kStationBeepGapMs);

  connect(Ticker, &QTimer::timeout, this, [this] { TickerTimer(); });
  connect(beepGap_, &QTimer::timeout, this, [this] {
    if (--beepsDue_ <= 0) beepGap_->stop();
    reporter_.Run([this] { beep(); });
  });
  // activated: the user's choice only.
  connect(WatchList, &QComboBox::activated, this, [this](int index) { WatchListChange(index); });
  connect(EjectBox, &QCheckBox::toggled, this, [this](bool on) {
    if (session_) session_->SetEject(on);
  });
  connect(RecordButton, &QPushButton::clicked, this, [this] { RecordButtonClick(); });
  connect(StopButton, &QPushButton::clicked, this, [this] { StopButtonClick(); });
  WatchList->setFocus();
}

QString TStationWindow::AskRecordPath(QWidget* parent, const QString& caption) {
  // Lines are added at the end of the file chosen, so an existing one is what the user may well want.
  return QFileDialog::getSaveFileName(parent, caption, QString(), QString(), nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

void TStationWindow::BeginSession(const std::string& reader) {
  station::Options options;
  if (!reader.empty()) options.readers = {reader};
  options.checkPresent = !std::exchange(presentChecked_, true);
  auto session = std::make_unique<StationSession>(language_, services_, std::move(options));
  session->SetEject(EjectBox->isChecked());
  record_.Attach(*session);
  const StationUpdate update = session->Start();
  // The session it replaces has no card in progress: the drop-down is greyed while it has.
  session_ = std::move(session);
  Apply(update);
}

void TStationWindow::TickerTimer() {
  if (ticking_ || !session_) return;
  ticking_ = true;
  reporter_.Run([this] { Apply(session_->Tick()); });
  ticking_ = false;
}

void TStationWindow::WatchListChange(int index) {
  reporter_.Run([this, index] {
    if (index < 0 || static_cast<std::size_t>(index) >= choices_.size()) return;
    if (!session_->MayChangeReader()) return;
    try {
      BeginSession(choices_[static_cast<std::size_t>(index)].reader);
      watched_ = index;
    } catch (...) {
      // The session before goes on watching what it watched.
      WatchList->setCurrentIndex(watched_);
      throw;
    }
  });
}

void TStationWindow::RecordButtonClick() {
  reporter_.Run([this] {
    const QString chosen = askRecordPath(this, Q(StationWords(language_, StationText::RecordDialogTitle)));
    const auto refused = record_.Choose(chosen.toStdString(), *session_, reporter_.applicationTitle());
    if (refused) {
      reporter_.ShowBox(*refused);
      return;
    }
    RecordLine->setText(Q(record_.Line()));
    RecordLine->setToolTip(RecordLine->text());
  });
}

void TStationWindow::StopButtonClick() {
  reporter_.Run([this] {
    if (finished_ || !session_ || session_->Stopping()) return;
    // Only the end of the cards in progress is awaited now.
    QWidget* const controls[] = {WatchList, EjectBox, RecordButton, StopButton};  // in StationControl's order
    for (const StationControl control : kDisabledByStop)
      controls[static_cast<int>(control)]->setEnabled(false);
    Apply(session_->Stop());
  });
}

void TStationWindow::reject() {
  StopButtonClick();
}

void TStationWindow::Apply(const StationUpdate& update) {
  if (update.watching) WatchingLine->setText(Q(*update.watching));
  for (const StationRow& row : update.rows) {
    auto* item = new QTreeWidgetItem(CardList, {Q(row.time), Q(row.drive), Q(row.outcome), Q(row.removal)});
    const std::optional<std::uint32_t> colour = RowColour(row);
    for (int column = 0; column < kColumns; ++column) {
      item->setToolTip(column, item->text(column));
      // A card that needs the user stands out.
      if (colour) {
        QFont bold = item->font(column);
        bold.setBold(true);
        item->setFont(column, bold);
        item->setForeground(column, QColor(static_cast<QRgb>(*colour)));
      }
    }
    CardList->scrollToItem(item);
  }
  if (!update.rows.empty()) {
    const int character = CardList->fontMetrics().averageCharWidth();
    // The columns widen to their texts, a character apart, and never narrow, so rows already read stay where
    // they were.
    for (int column = kTime; column < kCard; ++column) {
      const int before = CardList->columnWidth(column);
      CardList->resizeColumnToContents(column);
      CardList->setColumnWidth(column, std::max(before, CardList->columnWidth(column) + character));
    }
  }
  if (update.status) {
    StatusLine->setText(Q(*update.status));
    StatusLine->setAccessibleName(StatusLine->text());
  }
  for (const StationSound sound : update.sounds) Beep(sound == StationSound::Once ? 1 : 3);
  WatchList->setEnabled(session_->MayChangeReader());
  if (update.finished && !finished_) {
    finished_ = true;
    Ticker->stop();
    QDialog::done(QDialog::Rejected);
  }
}

void TStationWindow::Beep(int count) {
  beepsDue_ += count;
  if (beepGap_->isActive()) return;
  // The first at once, the rest at the pace of the gap timer.
  beep();
  if (--beepsDue_ > 0) beepGap_->start();
}

}  // namespace scaleboot::qt
