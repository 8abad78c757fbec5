#include "station/CardStation.h"

#include <ctime>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

namespace scaleboot::station {

using EjectStatus = platform::EjectResult::Status;

// One card's run: written, ejected, whatever the station mounted for it undone; never raises.
struct CardStation::Job {
  std::vector<std::string> identities;  // every identity the card showed, its slot's own first
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
  const CardWatchStart start = watch_.Begin(parts_.cardSlots.Poll(parts_.readers));
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
  std::deque<std::pair<std::vector<std::string>, CardEnd>> ended;
  {
    const std::lock_guard lock(mutex_);
    ended.swap(ended_);
  }
  for (auto& [identities, end] : ended) {
    // The worker has nothing left to do but return.
    if (const auto worker = workers_.find(identities.front()); worker != workers_.end()) {
      worker->second.join();
      workers_.erase(worker);
    }
    for (const std::string& identity : identities) watch_.Finished(identity);
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
  const std::vector<platform::CardSlot> polled = parts_.cardSlots.Poll(parts_.readers);
  const std::vector<platform::CardSlot> begun = watch_.Poll(polled);
  for (const std::string& reader : watch_.NewlyRefused(polled))
    events.push_back({Event::Kind::ReaderNotRemovable, {reader}});
  // A card under two names (a subst letter, two mount folders) gets one worker.
  std::vector<std::optional<platform::FolderIdentity>> folders;
  for (const platform::CardSlot& slot : begun)
    folders.push_back(parts_.identifyFolder ? parts_.identifyFolder(slot.root).identity : std::nullopt);
  for (const SlotGroup& card : GroupSameCards(begun, folders, polled)) Begin(card, events);
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

void CardStation::Begin(const SlotGroup& card, std::vector<Event>& events) {
  const platform::CardSlot& slot = card.slot;
  Event started{Event::Kind::CardStarted, {slot.root}};
  started.names.insert(started.names.end(), card.alsoNamed.begin(), card.alsoNamed.end());
  events.push_back(std::move(started));
  auto job = std::make_shared<Job>();
  job->identities = card.identities;
  job->end.result.root = slot.root;
  job->end.result.alsoNamed = card.alsoNamed;
  try {
    job->end.volume = parts_.cardSlots.Describe(slot.root);
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
    std::vector<std::string> alsoNamed = std::move(end.result.alsoNamed);
    end.result = parts_.writeCard(root);
    end.result.alsoNamed = std::move(alsoNamed);
    if (parts_.ejector != nullptr && (!parts_.ejectEach || parts_.ejectEach())) {
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
  end.ended = std::time(nullptr);
  const std::lock_guard lock(mutex_);
  ended_.push_back({job.identities, std::move(end)});
}

}  // namespace scaleboot::station
