#include "station/CardStation.h"

#include <exception>
#include <memory>
#include <system_error>
#include <utility>

namespace scaleboot::station {

using EjectStatus = platform::EjectResult::Status;

// One card's run: written, ejected, whatever the station mounted for it undone; never raises.
struct CardStation::Job {
  std::string identity;
  CardEnd end;
};

CardStation::CardStation(StationParts parts) : parts_(std::move(parts)) {
  if (parts_.mounter != nullptr) mountRule_.emplace(parts_.mountGrace);
}

CardStation::~CardStation() {
  for (auto& [identity, worker] : workers_) worker.join();
}

std::vector<Event> CardStation::Start() {
  std::vector<Event> events;
  if (mountRule_) mountRule_->Begin(parts_.mounter->Candidates());
  const CardWatchStart start = watch_.Begin(parts_.slots.Poll(parts_.readers));
  if (!start.leftAlone.empty()) events.push_back({Event::Kind::LeftAlone, start.leftAlone});
  if (parts_.readers.empty()) {
    events.push_back({Event::Kind::WatchingAny});
  } else if (!start.watched.empty()) {
    events.push_back({Event::Kind::Watching, start.watched});
  }
  return events;
}

std::vector<Event> CardStation::Tick(bool look) {
  std::vector<Event> events;
  std::deque<std::pair<std::string, CardEnd>> ended;
  {
    const std::lock_guard lock(mutex_);
    ended.swap(ended_);
  }
  for (auto& [identity, end] : ended) {
    // The worker has nothing left to do but return.
    if (const auto worker = workers_.find(identity); worker != workers_.end()) {
      worker->second.join();
      workers_.erase(worker);
    }
    watch_.Finished(identity);
    (end.result.outcome == CardOutcome::Verified ? written_ : failed_) += 1;
    // The record first: a card that was written is recorded whatever becomes of its owner's output.
    if (parts_.record != nullptr)
      end.recordFailed = !parts_.record->Append(CardLogLine(end, parts_.recordFacts));
    Event event{Event::Kind::CardEnded};
    event.card = std::move(end);
    events.push_back(std::move(event));
    Event waiting{Event::Kind::Waiting};
    waiting.show = true;
    waiting.written = written_;
    waiting.failed = failed_;
    events.push_back(waiting);
  }
  if (!look) return events;
  LookForCardsToMount(events);
  for (const platform::CardSlot& slot : watch_.Poll(parts_.slots.Poll(parts_.readers))) Begin(slot, events);
  Event waiting{Event::Kind::Waiting};
  waiting.show = watch_.Running() == 0;
  waiting.written = written_;
  waiting.failed = failed_;
  events.push_back(waiting);
  return events;
}

std::vector<Event> CardStation::Stop() {
  std::vector<Event> events;
  Event hidden{Event::Kind::Waiting};
  events.push_back(hidden);
  if (watch_.Running() != 0) {
    Event stopping{Event::Kind::Stopping};
    stopping.running = watch_.Running();
    events.push_back(stopping);
  }
  return events;
}

Event CardStation::Stopped() const {
  Event stopped{Event::Kind::Stopped};
  stopped.written = written_;
  stopped.failed = failed_;
  return stopped;
}

void CardStation::LookForCardsToMount(std::vector<Event>& events) {
  if (!mountRule_) return;
  const MountDecision due = mountRule_->Due(parts_.mounter->Candidates(),
                                            parts_.mounter->ScopeOf(parts_.readers), MountRule::Clock::now());
  for (const UnmountedCandidate& card : due.refused) {
    Event refused{Event::Kind::FileSystemRefused};
    refused.device = card.device;
    refused.fileSystem = card.fileSystem;
    events.push_back(refused);
  }
  for (const UnmountedCandidate& card : due.mount) {
    // Said once: the rule does not offer this card again while it stays in.
    if (std::string why = parts_.mounter->Mount(card); !why.empty()) {
      Event failed{Event::Kind::MountFailed};
      failed.device = card.device;
      failed.failure = std::move(why);
      events.push_back(failed);
    }
  }
}

void CardStation::Begin(const platform::CardSlot& slot, std::vector<Event>& events) {
  events.push_back({Event::Kind::CardStarted, {slot.root}});
  auto job = std::make_shared<Job>();
  job->identity = slot.identity;
  job->end.result.root = slot.root;
  try {
    job->end.volume = parts_.slots.Describe(slot.root);
  } catch (const std::exception&) {
  }
  try {
    workers_.emplace(slot.identity, std::thread([this, job] { Run(*job); }));
  } catch (const std::system_error&) {
    // No thread to be had: the card is written here, as a batch of one.
    Run(*job);
  }
}

void CardStation::Run(Job& job) noexcept {
  CardEnd& end = job.end;
  const std::string root = end.result.root;
  try {
    end.result = parts_.writeCard(root);
    if (parts_.ejector != nullptr) {
      // One eject at a time: the system's eject services are not asked from several threads at once.
      const std::lock_guard lock(ejectMutex_);
      end.eject = parts_.ejector->Eject(root, {});
    }
    // A card the station mounted itself is unmounted again, even one kept in.
    if (parts_.mounter != nullptr) end.unmountFailure = parts_.mounter->Release(root);
  } catch (const std::exception& error) {
    if (end.result.outcome == CardOutcome::Verified) {
      end.result.outcome = CardOutcome::IoError;
      end.result.errorText = error.what();
    }
  }
  const std::lock_guard lock(mutex_);
  ended_.push_back({job.identity, std::move(end)});
}

}  // namespace scaleboot::station
