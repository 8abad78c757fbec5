#include "ui/StationWindow.h"

#include <ctime>
#include <mutex>
#include <utility>
#include <variant>

#include "common/Overloaded.h"
#include "ui/StationTexts.h"

namespace scaleboot {

using EjectStatus = platform::EjectResult::Status;

namespace {

// The drive column names the card without the colon that joins it to the words of a line ("/media/card",
// "E: and F: are the same card"); a drive letter keeps its own.
std::string RowDrive(LanguageIndex language, const std::string& root,
                     const std::vector<std::string>& alsoNamed = {}) {
  std::string label = CardLabel(language, root, alsoNamed);
  if (label.size() > 2 && label.back() == ':') label.pop_back();
  return label;
}

}  // namespace

std::vector<StationChoice> StationChoices(LanguageIndex language, platform::CardSlotSource& slots,
                                          const std::string& selectedRoot) {
  std::vector<StationChoice> choices;
  if (!selectedRoot.empty()) {
    const std::string reader = slots.ReaderOf(selectedRoot);
    if (!reader.empty()) choices.push_back({reader, reader});
  }
  choices.push_back({"", std::string(StationWords(language, StationText::EveryRemovableDrive))});
  return choices;
}

std::optional<std::uint32_t> RowColour(const StationRow& row) {
  if (row.good) return std::nullopt;
  return kNeedsUserColour;
}

// The record file the user chose, swapped in on the window's thread while the cards' workers append to it;
// lines go nowhere until one is chosen.
class StationSession::Record : public platform::AppendFile {
 public:
  // The append itself is made outside the lock: a slow disk never holds up the window's choice of a file.
  bool Append(std::string_view line) override {
    std::shared_ptr<platform::AppendFile> target;
    {
      const std::lock_guard lock(mutex_);
      target = target_;
    }
    return !target || target->Append(line);
  }
  void Set(std::unique_ptr<platform::AppendFile> target) {
    const std::lock_guard lock(mutex_);
    target_ = std::move(target);
  }
  bool Kept() const {
    const std::lock_guard lock(mutex_);
    return target_ != nullptr;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<platform::AppendFile> target_;
};

StationSession::StationSession(LanguageIndex language, const station::Services& services,
                               station::Options options)
    : language_(language),
      reader_(options.readers.empty() ? std::string() : options.readers.front()),
      record_(std::make_unique<Record>()),
      unavailable_(std::string(StationWords(language, StationText::EjectUnavailable))),
      station_(services, [&] {
        options.eject = true;
        options.ejectEach = [this] { return eject_.load(); };
        options.noEjector = &unavailable_;
        options.record = record_.get();
        return options;
      }()) {}

StationSession::~StationSession() = default;

void StationSession::SetRecord(std::unique_ptr<platform::AppendFile> file, std::string path) {
  record_->Set(std::move(file));
  recordPath_ = std::move(path);
  recordFailing_ = false;
}

std::string StationSession::WaitingStatus(std::size_t written, std::size_t failed) const {
  std::string status = WaitingText(language_, written, failed);
  if (recordFailing_)
    status += "; " + Filled(StationWords(language_, StationText::RecordFailed), {recordPath_});
  return status;
}

StationUpdate StationSession::Start() {
  StationUpdate update;
  Apply(station_.Start(), update);
  StartedLine(update);
  update.status = WaitingStatus(0, 0);
  return update;
}

// Once the first look is done (at the start, or at a later tick when a reader is slow to answer): what is
// watched, when the station said nothing of it.
void StationSession::StartedLine(StationUpdate& update) {
  if (station_.Started() && !watchingSaid_ && !update.watching)
    update.watching = Filled(StationWords(language_, StationText::Watching), {reader_});
  watchingSaid_ = station_.Started();
}

StationUpdate StationSession::Tick() {
  StationUpdate update;
  Apply(station_.Tick(), update);
  StartedLine(update);
  update.finished = station_.Finished();
  return update;
}

StationUpdate StationSession::Stop() {
  StationUpdate update;
  stopping_ = true;
  Apply(station_.Stop(), update);
  update.finished = station_.Finished();
  return update;
}

// A card's row and sound; while the station stops, what is left of it.
void StationSession::Ended(const station::CardEnd& card, StationUpdate& update) {
  const auto words = [this](StationText text) { return StationWords(language_, text); };
  StationRow row{station::LocalClock(card.ended),
                 RowDrive(language_, card.result.root, card.result.alsoNamed),
                 CardEndOutcomeText(language_, card), CardRemovalText(language_, card), MayTakeAway(card)};
  // A check that could not reach past the system's cache is said: the card may be worse than it reads.
  if (!card.result.deviceCompared) row.outcome += "; " + std::string(words(StationText::CacheOnly));
  if (record_->Kept()) {
    // A card that is not in the record is not one to take away without a word (MayTakeAway): it says why.
    recordFailing_ = card.recordFailed;
    if (card.recordFailed) row.removal += "; " + Filled(words(StationText::RecordFailed), {recordPath_});
  }
  update.sounds.push_back(row.good ? StationSound::Once : StationSound::Thrice);
  update.rows.push_back(std::move(row));
  if (stopping_) {
    const station::event::Stopped counts = station_.Stopped();
    update.status = station_.Running() != 0
                        ? EventText(language_, station::event::Stopping{station_.Running()})
                        : WaitingStatus(counts.written, counts.failed);
  }
}

void StationSession::Apply(const std::vector<station::Event>& events, StationUpdate& update) {
  namespace ev = station::event;
  const LanguageIndex language = language_;
  const auto said = [&](const station::Event& event) {
    update.watching =
        (update.watching ? *update.watching + "; " : std::string()) + EventText(language, event);
  };
  // A row of its own, neither written nor counted, in the words of the command line's line.
  const auto row = [&](const std::string& drive, const station::Event& event) {
    update.rows.push_back(
        {station::LocalClock(std::time(nullptr)), drive, EventText(language, event), "", false});
  };
  for (const station::Event& event : events) {
    std::visit(Overloaded{
                   [&](const ev::LeftAlone&) { said(event); },
                   [&](const ev::Watching&) { said(event); },
                   [&](const ev::WatchingAny&) { said(event); },
                   [&](const ev::CardStarted&) { update.status = EventText(language, event); },
                   [&](const ev::CardEnded& ended) { Ended(ended.card, update); },
                   [&](const ev::Present& present) { row(RowDrive(language, present.root), event); },
                   [&](const ev::FileSystemRefused& refused) { row(refused.device, event); },
                   [&](const ev::MountFailed& failed) { row(failed.device, event); },
                   [&](const ev::Unreadable& unreadable) { row(unreadable.device, event); },
                   [&](const ev::ReaderNotRemovable& reader) { row(reader.reader, event); },
                   [&](const ev::Waiting& waiting) {
                     if (waiting.show && !stopping_)
                       update.status = WaitingStatus(waiting.written, waiting.failed);
                   },
                   [&](const ev::Stopping&) { update.status = EventText(language, event); },
                   [](const ev::Stopped&) {},
               },
               event);
  }
}

// The session's view of the record file, which the window keeps for the sessions that follow.
class StationRecord::Forwarder : public platform::AppendFile {
 public:
  explicit Forwarder(std::shared_ptr<platform::AppendFile> file) : file_(std::move(file)) {}
  bool Append(std::string_view line) override { return file_->Append(line); }

 private:
  std::shared_ptr<platform::AppendFile> file_;
};

std::optional<MessageBoxSpec> StationRecord::Choose(const std::string& path, StationSession& session,
                                                    std::string_view caption) {
  if (path.empty() || session.Stopping()) return std::nullopt;
  platform::AppendRefusal refusal;
  std::unique_ptr<platform::AppendFile> file = open_(path, refusal);
  // The file kept so far, if any, stays the record.
  if (!file) return RecordRefusedBox(language_, path, refusal, caption);
  file_ = std::move(file);
  path_ = path;
  Attach(session);
  return std::nullopt;
}

void StationRecord::Attach(StationSession& session) const {
  if (file_) session.SetRecord(std::make_unique<Forwarder>(file_), path_);
}

std::string StationRecord::Line() const {
  return file_ ? Filled(StationWords(language_, StationText::RecordingTo), {path_}) : std::string();
}

MessageBoxSpec RecordRefusedBox(LanguageIndex language, const std::string& path,
                                const platform::AppendRefusal& refusal, std::string_view caption) {
  // The system's words may end in a full stop and a line break of their own.
  std::string why = RefusalText(language, refusal);
  while (!why.empty() && (why.back() == '.' || why.back() == '\n' || why.back() == '\r' || why.back() == ' '))
    why.pop_back();
  return {Filled(StationWords(language, StationText::RecordRefused), {path, why}), std::string(caption),
          BoxIcon::Error};
}

}  // namespace scaleboot
