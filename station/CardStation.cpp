#include "station/CardStation.h"

#include <algorithm>
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
  for (std::thread& checker : checkers_) checker.join();
  for (auto& [identity, worker] : workers_) worker.join();
  // Whatever ended the session, every card that ended gets its record line.
  for (auto& [identities, end] : ended_) Ended(identities, std::move(end));
  if (parts_.stayAwake != nullptr) parts_.stayAwake->Hold(false);
}

std::vector<Event> CardStation::Start() {
  std::vector<Event> events;
  std::vector<UnmountedCandidate> candidates;
  if (mountRule_) {
    candidates = parts_.mounter->Candidates();
    mountRule_->Begin(candidates);
  }
  const std::vector<platform::CardSlot> polled = parts_.cardSlots.Poll(parts_.readers);
  CardWatchStart start = watch_.Begin(polled);
  std::vector<std::string> leftAlone = parts_.checkPresent ? CheckPresent(polled) : start.leftAlone;
  if (parts_.checkPresent) {
    const std::vector<std::string> unmounted = UnmountedAtStart(candidates, start.watched);
    leftAlone.insert(leftAlone.end(), unmounted.begin(), unmounted.end());
  }
  if (!leftAlone.empty()) events.push_back({Event::Kind::LeftAlone, leftAlone});
  if (parts_.readers.empty()) {
    events.push_back({Event::Kind::WatchingAny});
  } else if (!start.watched.empty()) {
    events.push_back({Event::Kind::Watching, start.watched});
  }
  return events;
}

std::vector<std::string> CardStation::CheckPresent(std::span<const platform::CardSlot> slots) {
  std::vector<std::string> unchecked;
  for (const platform::CardSlot& slot : slots) {
    if (slot.identity.empty()) continue;
    // A card the system lists without a readable root is named by its reader, as before.
    if (slot.root.empty()) {
      unchecked.push_back(slot.reader);
      continue;
    }
    auto check = [this, root = slot.root] {
      Event present{Event::Kind::Present, {root}};
      const PresentCheck found = parts_.checkPresent(root);
      present.verdict = found.verdict;
      present.deviceCompared = found.deviceCompared;
      const std::lock_guard lock(mutex_);
      checked_.push_back(std::move(present));
    };
    ++checking_;
    try {
      checkers_.emplace_back(check);
    } catch (const std::system_error&) {
      check();
    }
  }
  return unchecked;
}

// The cards there at the start that nobody mounted: named by their device, since no root holds them. A
// reader named by its device that holds one is not an empty reader being watched.
std::vector<std::string> CardStation::UnmountedAtStart(std::span<const UnmountedCandidate> candidates,
                                                       std::vector<std::string>& watched) {
  std::vector<std::string> devices;
  const MountScope scope = candidates.empty() ? MountScope{} : parts_.mounter->ScopeOf(parts_.readers);
  for (const UnmountedCandidate& card : candidates) {
    if (card.mounted || !card.hasFileSystem) continue;
    if (!scope.any && std::ranges::find(scope.readers, card.diskNumber) == scope.readers.end()) continue;
    devices.push_back(card.device);
    std::erase_if(watched, [&](const std::string& reader) {
      const MountScope one = parts_.mounter->ScopeOf(std::span(&reader, 1));
      return !one.any && std::ranges::find(one.readers, card.diskNumber) != one.readers.end();
    });
  }
  return devices;
}

Event CardStation::Ended(const std::vector<std::string>& identities, CardEnd end) {
  for (const std::string& identity : identities) watch_.Finished(identity);
  (end.result.outcome == CardOutcome::Verified ? written_ : failed_) += 1;
  // The record first: a card that was written is recorded whatever becomes of its owner's output.
  if (parts_.record != nullptr)
    end.recordFailed = !parts_.record->Append(CardLogLine(end, parts_.recordFacts));
  Event event{Event::Kind::CardEnded};
  event.card = std::move(end);
  return event;
}

std::vector<Event> CardStation::Tick(bool look) {
  std::vector<Event> events;
  std::deque<std::pair<std::vector<std::string>, CardEnd>> ended;
  std::vector<Event> checked;
  {
    const std::lock_guard lock(mutex_);
    ended.swap(ended_);
    checked.swap(checked_);
  }
  events.insert(events.end(), checked.begin(), checked.end());
  checking_ -= checked.size();
  for (auto& [identities, end] : ended) {
    // The worker has nothing left to do but return.
    if (const auto worker = workers_.find(identities.front()); worker != workers_.end()) {
      worker->second.join();
      workers_.erase(worker);
    }
    --jobs_;
    events.push_back(Ended(identities, std::move(end)));
    Event waiting{Event::Kind::Waiting};
    waiting.show = true;
    waiting.written = written_;
    waiting.failed = failed_;
    events.push_back(waiting);
  }
  HoldAwake();
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
  HoldAwake();
  Event waiting{Event::Kind::Waiting};
  waiting.show = Running() == 0;
  waiting.written = written_;
  waiting.failed = failed_;
  events.push_back(waiting);
  return events;
}

std::vector<Event> CardStation::Stop() {
  std::vector<Event> events;
  Event hidden{Event::Kind::Waiting};
  events.push_back(hidden);
  if (Running() != 0) {
    Event stopping{Event::Kind::Stopping};
    stopping.running = Running();
    events.push_back(stopping);
  }
  return events;
}

void CardStation::HoldAwake() const {
  if (parts_.stayAwake != nullptr) parts_.stayAwake->Hold(jobs_ != 0);
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
  ++jobs_;
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
