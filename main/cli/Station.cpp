#include "main/cli/Station.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <nlohmann/json.hpp>
#include <thread>
#include <variant>

#include "main/cli/CliJson.h"
#include "main/cli/CliTexts.h"
#include "main/cli/StationJournal.h"
#include "main/cli/StationStatus.h"
#include "station/CardStation.h"
#include "ui/StationTexts.h"
#include "ui/TestMark.h"

namespace scaleboot::cli {
namespace {

using Stream = platform::Console::Stream;
namespace ev = station::event;

constexpr int kTick = 100;  // the station looks at the readers by itself; a tick takes what it found

// The station on a terminal: its events as lines on standard error, the bells, the waiting line and --json.
class Station {
 public:
  Station(Environment& environment, const CommandLine& line, LanguageIndex language,
          platform::AppendFile* log)
      : env_(environment),
        line_(line),
        language_(language),
        log_(log),
        noEjector_(std::string(StationWords(language, StationText::EjectUnavailable))) {}

  int Run() {
    station::Options options{line_.roots, !line_.noEject};
    options.noEjector = &noEjector_;
    options.record = log_;
    station::CardStation core(env_.services, options);
    // The journal's entry of the start comes first and names what is watched, whatever the first look finds;
    // the watching line that look gives would say it again.
    if (env_.journal != nullptr) {
      const station::Event start =
          line_.roots.empty() ? station::Event{ev::WatchingAny{}} : station::Event{ev::Watching{line_.roots}};
      startJournaled_ = Journaled(start, EventText(language_, start));
    }
    Say(core.Start());
    bool stop = false;
    // A reader slow to answer the first look: its lines come before the hint, as they do at once otherwise.
    while (!core.Started() && !stop) {
      stop = env_.waitOrStop(kTick);
      Say(core.Tick());
    }
    Line(std::string(StationWords(language_, StationText::StopHint)));
    while (!stop) {
      stop = env_.waitOrStop(kTick);
      Say(core.Tick());
    }
    // Every card in progress that answers is finished: none is left half-written because the station was
    // stopped. One that stopped answering is ended as such once the station's stop bound is past.
    Say(core.Stop());
    while (!core.Finished()) {
      // The pause itself: once a stop was asked for, waitOrStop no longer waits.
      std::this_thread::sleep_for(std::chrono::milliseconds(kTick / 10));
      Say(core.Tick());
    }
    const ev::Stopped stopped = core.Stopped();
    Say({stopped});
    if (line_.json) {
      nlohmann::ordered_json document{{"command", "station"},
                                      {"exit_status", status_},
                                      {"written", stopped.written},
                                      {"failed", stopped.failed},
                                      {"text", EventText(language_, stopped)}};
      PrintJson(env_, document.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) + "\n");
    }
    return status_;
  }

 private:
  void Say(const std::vector<station::Event>& events) {
    for (const station::Event& event : events) {
      relay_.Take(event);
      const auto* present = std::get_if<ev::Present>(&event);
      if (const auto* waiting = std::get_if<ev::Waiting>(&event)) {
        ShowWaiting(waiting->show, waiting->written, waiting->failed);
      } else if ((std::holds_alternative<ev::Watching>(event) ||
                  std::holds_alternative<ev::WatchingAny>(event)) &&
                 startJournaled_) {
        // Said by the start's entry.
      } else if (const auto* ended = std::get_if<ev::CardEnded>(&event)) {
        End(event, ended->card);
      } else {
        ShowWaiting(false);
        Tell(event, EventText(language_, event));
        // A card there at the start: neither written nor counted, nor recorded; given its object with --json.
        if (present != nullptr && line_.json)
          PrintJson(env_,
                    StationPresentJson(language_, present->root, present->verdict, present->deviceCompared,
                                       station::UtcTimestamp(std::time(nullptr))));
      }
    }
  }

  void Line(const std::string& text) { env_.console.Write(Stream::Err, "scaleboot-cli: " + text + "\n"); }

  // Where standard error is the journal, the events of their own kind there are its entries; any other, and
  // one the journal did not take, is a line.
  bool Journaled(const station::Event& event, const std::string& text) {
    if (env_.journal == nullptr) return false;
    const std::vector<platform::JournalField> entry =
        StationJournalEntry(event, text, env_.services.recordFacts);
    return !entry.empty() && env_.journal->Send(entry);
  }
  void Tell(const station::Event& event, const std::string& text) {
    if (!Journaled(event, text)) Line(text);
  }

  // The waiting line, on a terminal only; cleared before anything else is written.
  void ShowWaiting(bool show, std::size_t written = 0, std::size_t failed = 0) {
    if (line_.quiet || !env_.console.IsTerminal(Stream::Err)) return;
    const std::string text = show ? WaitingText(language_, written, failed) : "";
    if (text == shown_) return;
    const std::size_t width = Characters(shown_);
    env_.console.Write(
        Stream::Err, "\r" + text + std::string(width > Characters(text) ? width - Characters(text) : 0, ' ') +
                         (text.empty() ? "\r" : ""));
    shown_ = text;
  }

  void End(const station::Event& event, const station::CardEnd& card) {
    ShowWaiting(false);
    status_ = WorstStatus(status_, StatusOf(card.result.outcome));
    // The record was appended before this line: a card that was written is recorded even when the terminal
    // has gone.
    if (card.recordFailed) {
      Line(Filled(StationWords(language_, StationText::RecordFailed), {line_.logPath}));
      status_ = WorstStatus(status_, kExitIoError);
    }
    // Once for a card to take away; three times for one that needs the user. None in the journal, which
    // would keep them as bytes in the text.
    const std::string text = CardEndText(language_, card);
    const std::string bells = env_.journal != nullptr ? "" : station::MayTakeAway(card) ? "\a" : "\a\a\a";
    if (!Journaled(event, text)) env_.console.Write(Stream::Err, text + bells + "\n");
    if (env_.testFirmware) Line(std::string(TestWords(language_, TestMark::Line)));
    if (!card.result.deviceCompared)
      env_.console.Write(Stream::Err, std::string(StationWords(language_, StationText::CacheOnly)) + "\n");
    if (line_.json) {
      CardResult ended = card.result;
      ended.eject = card.eject;
      const std::string object = StationCardJson(language_, ended, station::UtcTimestamp(card.ended));
      PrintJson(env_, object);
    }
  }

  Environment& env_;
  const CommandLine& line_;
  LanguageIndex language_;
  platform::AppendFile* log_;
  station::UnavailableEjector noEjector_;
  StationStatusRelay relay_{env_.feedback, language_};
  int status_ = kExitSuccess;
  std::string shown_;
  bool startJournaled_ = false;
};

}  // namespace

int RunStation(Environment& environment, const CommandLine& line, LanguageIndex language,
               platform::AppendFile* log) {
  if (environment.services.cardSlots == nullptr || !environment.waitOrStop) {
    environment.console.Write(
        Stream::Err, "scaleboot-cli: " + std::string(StationWords(language, StationText::NoReaders)) + "\n");
    return kExitUsage;
  }
  return Station(environment, line, language, log).Run();
}

}  // namespace scaleboot::cli
