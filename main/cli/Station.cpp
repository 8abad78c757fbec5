#include "main/cli/Station.h"

#include <array>
#include <chrono>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>

#include "BuildInfo.h"
#include "card/CardWatch.h"
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
  FileSystemLeftAlone,
  NotMounted,
  StillMounted,
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
        "{}: left alone: its file system ({}) is neither FAT nor exFAT",
        "{}: not mounted: {}",
        "still mounted at {}: {}",
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
        "{}: не трогаю: её файловая система ({}) — не FAT и не exFAT",
        "{}: не подключена: {}",
        "осталась подключённой в {}: {}",
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
      for (const platform::CardSlot& slot : watch.Poll(env_.cardSlots->Poll(line_.roots))) Begin(slot);
      for (const platform::RefusedCard& card : env_.cardSlots->TakeRefused()) Refused(card);
      ShowWaiting(watch.Running() == 0);
    }
    ShowWaiting(false);
    if (watch.Running() != 0)
      Line(Format(Words(language_, Say::Stopping), {std::to_string(watch.Running())}));
    // Every card in progress is finished: none is left half-written because the station was stopped.
    while (watch.Running() != 0) {
      // The pause itself: once a stop was asked for, waitOrStop no longer waits.
      std::this_thread::sleep_for(std::chrono::milliseconds(kTick / 10));
      Report(watch);
    }
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

  void Refused(const platform::RefusedCard& card) {
    ShowWaiting(false);
    Line(card.failure.empty()
             ? Format(Words(language_, Say::FileSystemLeftAlone), {card.device, card.fileSystem})
             : Format(Words(language_, Say::NotMounted), {card.device, card.failure}));
    ShowWaiting(true);
  }

  // One card's run: written, ejected, and whatever the slots did for it undone; never raises.
  struct Job {
    std::string identity;
    CardRecord record;
    std::unique_ptr<platform::ByteFileSystem> files;
    std::string filesFailure;
  };

  void Begin(const platform::CardSlot& slot) {
    ShowWaiting(false);
    Line(Format(Words(language_, Say::Writing), {Label(slot.root)}));
    auto job = std::make_shared<Job>();
    job->identity = slot.identity;
    job->record.result.root = slot.root;
    try {
      job->record.volume = env_.cardSlots->Describe(slot.root);
      job->files = env_.newFiles();
      if (!job->files) job->filesFailure = "out of memory";
    } catch (const std::exception& error) {
      job->filesFailure = error.what();
    }
    try {
      workers_.emplace(slot.identity, std::thread([this, job] { RunJob(*job); }));
    } catch (const std::system_error&) {
      // No thread to be had: the card is written here, as a batch of one.
      RunJob(*job);
    }
  }

  void RunJob(Job& job) noexcept {
    CardRecord& record = job.record;
    const std::string root = record.result.root;
    try {
      if (job.files) {
        NoView view;
        record.result = WriteCard(root, env_.images, *job.files, view);
      } else {
        record.result.outcome = CardOutcome::IoError;
        record.result.errorText = Format(Text(language_, CliText::CardFilesUnavailable), {job.filesFailure});
      }
      if (!line_.noEject) record.eject = Eject(root);
      // A card the station mounted itself is unmounted again, even one kept in.
      record.unmountFailure = env_.cardSlots->Finished(root);
    } catch (const std::exception& error) {
      if (record.result.outcome == CardOutcome::Verified) {
        record.result.outcome = CardOutcome::IoError;
        record.result.errorText = error.what();
      }
    }
    const std::lock_guard lock(mutex_);
    ended_.push_back({job.identity, std::move(record)});
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
    std::deque<std::pair<std::string, CardRecord>> ended;
    {
      const std::lock_guard lock(mutex_);
      ended.swap(ended_);
    }
    for (auto& [identity, record] : ended) {
      // The worker has nothing left to do but return.
      if (const auto worker = workers_.find(identity); worker != workers_.end()) {
        worker->second.join();
        workers_.erase(worker);
      }
      watch.Finished(identity);
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
    // The record first: a card that was written is recorded even if the terminal has gone.
    if (log_ != nullptr &&
        !log_->Append(CardLogLine(record, env_.images, env_.imageSha256, build::kVersionText))) {
      Line(Format(Text(language_, CliText::LogFailed), {line_.logPath}));
      status_ = WorstStatus(status_, kExitIoError);
    }
    std::string text = LocalClock(record.ended) + " " + Label(card.root) + " " + CardText(language_, card);
    text += "; ";
    text += ejectFailed
                ? Format(Words(language_, Say::NotEjected), {EjectReasonText(language_, *record.eject)})
                : std::string(Words(language_, Say::RemoveCard));
    if (!record.unmountFailure.empty())
      text += "; " + Format(Words(language_, Say::StillMounted), {card.root, record.unmountFailure});
    // Once for a card to take away; three times for one that needs the user.
    const bool taken = verified && !ejectFailed && record.unmountFailure.empty();
    env_.console.Write(Stream::Err, text + (taken ? "\a" : "\a\a\a") + "\n");
    if (line_.json) {
      CardResult ended = card;
      ended.eject = record.eject;
      env_.console.Write(Stream::Out, StationCardJson(language_, ended, UtcTimestamp(record.ended)));
    }
    ShowWaiting(true);
  }

  Environment& env_;
  const CommandLine& line_;
  LanguageIndex language_;
  platform::AppendFile* log_;
  std::map<std::string, std::thread> workers_;  // by the card's identity, until its run has been reported
  std::mutex mutex_, ejectMutex_;
  std::deque<std::pair<std::string, CardRecord>> ended_;  // identity and record, guarded by mutex_
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
