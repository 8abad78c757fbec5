#include "main/cli/Station.h"

#include <array>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "BuildInfo.h"
#include "card/CardWatch.h"
#include "card/SameCard.h"
#include "main/cli/CardLog.h"
#include "main/cli/CliJson.h"
#include "main/cli/CliTexts.h"
#include "ui/EjectTexts.h"

namespace scaleboot::cli {
namespace {

using Stream = platform::Console::Stream;
using EjectStatus = platform::EjectResult::Status;

constexpr int kTicksPerPoll = 10;  // the readers are looked at once a second, in pauses of 100 ms
constexpr int kTick = 100;

enum class Say {
  LeftAlone,
  Watching,
  WatchingAny,
  StopHint,
  Writing,
  RemoveCard,
  NotEjected,
  Waiting,
  Stopping,
  Summary,
  NoReaders,
  EjectUnavailable,
  Count,
};

constexpr std::size_t kSayCount = static_cast<std::size_t>(Say::Count);

constexpr std::array<std::array<std::string_view, kSayCount>, 2> kTexts{{
    {
        "left alone (there before the start): {}",
        "watching: {}",
        "watching every removable drive that appears",
        "insert a card to write it; stop with Ctrl+C",
        "{} writing...",
        "remove the card",
        "not ejected: {}",
        "Waiting for a card... {} written, {} failed",
        "stopping: finishing {} card(s) in progress...",
        "{} written, {} failed",
        "the station cannot watch card readers on this system",
        "ejecting is not available",
    },
    {
        "не трогаю (были до запуска): {}",
        "слежу за: {}",
        "слежу за всеми съёмными дисками, которые появятся",
        "вставьте карту, чтобы записать её; остановка — Ctrl+C",
        "{} запись...",
        "выньте карту",
        "не извлечена: {}",
        "Жду карту... записано {1}, ошибок {2}",
        "остановка: завершаю карт в работе: {}...",
        "записано {1}, ошибок {2}",
        "станция не умеет следить за картридерами в этой системе",
        "извлечение недоступно",
    },
}};

std::string_view Words(LanguageIndex language, Say say) {
  return kTexts[language == kRussian ? 1 : 0][static_cast<std::size_t>(say)];
}

// Russian puts the counts after their words: the pattern numbers them instead of taking them in order.
std::string Counted(LanguageIndex language, Say say, std::size_t first, std::size_t second) {
  std::string text(Words(language, say));
  const std::string a = std::to_string(first), b = std::to_string(second);
  for (auto at = text.find("{1}"); at != std::string::npos; at = text.find("{1}")) text.replace(at, 3, a);
  for (auto at = text.find("{2}"); at != std::string::npos; at = text.find("{2}")) text.replace(at, 3, b);
  return Format(text, {a, b});
}

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : ", ") + word;
  return out;
}

// "E:" for a drive letter, otherwise the root without its trailing separator followed by ":".
std::string Label(const std::string& root) {
  const std::string key = RootKey(root);
  return key.size() == 2 && key[1] == ':' ? key : key + ":";
}

// The card's label, or, for a card under several names, every one of them ("E: and F: are the same card:").
std::string Names(LanguageIndex language, const CardResult& card) {
  if (card.alsoNamed.empty()) return Label(card.root);
  std::string first = RootKey(card.root);
  for (std::size_t i = 0; i + 1 < card.alsoNamed.size(); ++i) first += ", " + RootKey(card.alsoNamed[i]);
  return Format(Text(language, CliText::SameCard), {first, RootKey(card.alsoNamed.back())}) + ":";
}

class NoView : public WriterView {
 public:
  void SetWriteEnabled(bool) override {}
  void SetGaugeRange(int, int) override {}
  void SetGaugePosition(int) override {}
  void AddGaugeProgress(int) override {}
};

class Station {
 public:
  Station(Environment& environment, const CommandLine& line, LanguageIndex language,
          platform::AppendFile* log)
      : env_(environment), line_(line), language_(language), log_(log) {}

  int Run() {
    CardWatch watch;
    const CardWatchStart start = watch.Begin(env_.cardSlots->Poll(line_.roots));
    if (!start.leftAlone.empty()) Line(Format(Words(language_, Say::LeftAlone), {Joined(start.leftAlone)}));
    if (line_.roots.empty()) {
      Line(std::string(Words(language_, Say::WatchingAny)));
    } else if (!start.watched.empty()) {
      Line(Format(Words(language_, Say::Watching), {Joined(start.watched)}));
    }
    Line(std::string(Words(language_, Say::StopHint)));
    bool stop = false;
    while (!stop) {
      for (int tick = 0; tick < kTicksPerPoll && !stop; ++tick) {
        stop = env_.waitOrStop(kTick);
        Report(watch);
      }
      if (stop) break;
      const std::vector<platform::CardSlot> polled = env_.cardSlots->Poll(line_.roots);
      const std::vector<platform::CardSlot> begun = watch.Poll(polled);
      for (const std::string& reader : watch.NewlyRefused(polled))
        Line(Format(Text(language_, CliText::NotRemovable), {reader}));
      // A card under two names (a subst letter, two mount folders) gets one worker.
      std::vector<std::optional<platform::FolderIdentity>> folders;
      for (const platform::CardSlot& slot : begun)
        folders.push_back(env_.identifyFolder ? env_.identifyFolder(slot.root).identity : std::nullopt);
      for (const SlotGroup& card : GroupSameCards(begun, folders, polled)) Begin(card);
      ShowWaiting(watch.Running() == 0);
    }
    ShowWaiting(false);
    if (watch.Running() != 0)
      Line(Format(Words(language_, Say::Stopping), {std::to_string(watch.Running())}));
    // Every card in progress is finished: none is left half-written because the station was stopped.
    for (std::thread& worker : workers_) worker.join();
    Report(watch);
    const std::string summary = Counted(language_, Say::Summary, written_, failed_);
    Line(summary);
    if (line_.json) {
      nlohmann::ordered_json document{{"command", "station"},
                                      {"exit_status", status_},
                                      {"written", written_},
                                      {"failed", failed_},
                                      {"text", summary}};
      env_.console.Write(Stream::Out,
                         document.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) + "\n");
    }
    return status_;
  }

 private:
  void Line(const std::string& text) { env_.console.Write(Stream::Err, "scaleboot-cli: " + text + "\n"); }

  // The waiting line, on a terminal only; cleared before anything else is written.
  void ShowWaiting(bool show) {
    if (line_.quiet || !env_.console.IsTerminal(Stream::Err)) return;
    const std::string text = show ? Counted(language_, Say::Waiting, written_, failed_) : "";
    if (text == shown_) return;
    const std::size_t width = Characters(shown_);
    env_.console.Write(
        Stream::Err, "\r" + text + std::string(width > Characters(text) ? width - Characters(text) : 0, ' ') +
                         (text.empty() ? "\r" : ""));
    shown_ = text;
  }

  void Begin(const SlotGroup& card) {
    ShowWaiting(false);
    CardRecord record;
    record.result.root = card.slot.root;
    record.result.alsoNamed = card.alsoNamed;
    Line(Format(Words(language_, Say::Writing), {Names(language_, record.result)}));
    record.volume = env_.cardSlots->Describe(card.slot.root);
    std::unique_ptr<platform::ByteFileSystem> files;
    try {
      files = env_.newFiles();
    } catch (const std::exception&) {
    }
    workers_.emplace_back([this, record, identities = card.identities, files = std::move(files)]() mutable {
      NoView view;
      if (files) {
        std::vector<std::string> alsoNamed = std::move(record.result.alsoNamed);
        record.result = WriteCard(record.result.root, env_.images, *files, view);
        record.result.alsoNamed = std::move(alsoNamed);
      } else {
        record.result.outcome = CardOutcome::IoError;
      }
      if (!line_.noEject) record.eject = Eject(record.result.root);
      // A card the station mounted itself is unmounted again, even one kept in.
      env_.cardSlots->Finished(record.result.root);
      const std::lock_guard lock(mutex_);
      ended_.push_back({identities, std::move(record)});
    });
  }

  platform::EjectResult Eject(const std::string& root) {
    if (env_.ejector == nullptr)
      return {EjectStatus::Failed, true, {}, std::string(Words(language_, Say::EjectUnavailable))};
    // One eject at a time: the system's eject services are not asked from several threads at once.
    const std::lock_guard lock(ejectMutex_);
    return env_.ejector->Eject(root, {});
  }

  // The cards whose runs ended since the last look: their lines, bells, JSON objects and log lines.
  void Report(CardWatch& watch) {
    std::deque<std::pair<std::vector<std::string>, CardRecord>> ended;
    {
      const std::lock_guard lock(mutex_);
      ended.swap(ended_);
    }
    for (auto& [identities, record] : ended) {
      for (const std::string& identity : identities) watch.Finished(identity);
      record.ended = std::time(nullptr);
      End(record);
    }
  }

  void End(const CardRecord& record) {
    ShowWaiting(false);
    const CardResult& card = record.result;
    const bool verified = card.outcome == CardOutcome::Verified;
    const bool ejectFailed = record.eject && record.eject->status != EjectStatus::Ejected;
    (verified ? written_ : failed_) += 1;
    status_ = WorstStatus(status_, StatusOf(card.outcome));
    std::string text =
        LocalClock(record.ended) + " " + Names(language_, card) + " " + CardText(language_, card);
    text += "; ";
    text += ejectFailed
                ? Format(Words(language_, Say::NotEjected), {EjectReasonText(language_, *record.eject)})
                : std::string(Words(language_, Say::RemoveCard));
    // Once for a card to take away; three times for one that needs the user.
    const std::string bell = verified && !ejectFailed ? "\a" : "\a\a\a";
    env_.console.Write(Stream::Err, text + bell + "\n");
    if (line_.json) {
      CardResult ended = card;
      ended.eject = record.eject;
      env_.console.Write(Stream::Out, StationCardJson(language_, ended, UtcTimestamp(record.ended)));
    }
    if (log_ != nullptr &&
        !log_->Append(CardLogLine(record, env_.images, env_.imageSha256, build::kVersionText))) {
      Line(Format(Text(language_, CliText::LogFailed), {line_.logPath}));
      status_ = WorstStatus(status_, kExitIoError);
    }
    ShowWaiting(true);
  }

  Environment& env_;
  const CommandLine& line_;
  LanguageIndex language_;
  platform::AppendFile* log_;
  std::vector<std::thread> workers_;
  std::mutex mutex_, ejectMutex_;
  std::deque<std::pair<std::vector<std::string>, CardRecord>> ended_;  // identities and record, by mutex_
  std::size_t written_ = 0, failed_ = 0;
  int status_ = kExitSuccess;
  std::string shown_;
};

}  // namespace

int RunStation(Environment& environment, const CommandLine& line, LanguageIndex language,
               platform::AppendFile* log) {
  if (environment.cardSlots == nullptr || !environment.waitOrStop) {
    environment.console.Write(Stream::Err,
                              "scaleboot-cli: " + std::string(Words(language, Say::NoReaders)) + "\n");
    return kExitUsage;
  }
  return Station(environment, line, language, log).Run();
}

}  // namespace scaleboot::cli
