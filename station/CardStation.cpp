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

// What one look at the readers found, on the looker.
struct CardStation::Look {
  bool first = false;
  std::vector<UnmountedCandidate> candidates;  // with a mounter only
  MountScope scope;
  std::vector<MountScope> readerScopes;  // the first look's: each reader's own, in the order named
  std::vector<platform::CardSlot> polled;
  // By root, of each slot with a card.
  std::map<std::string, std::optional<platform::FolderIdentity>> folders;
};

namespace {
// How long a tick waits for the look it asked for: a healthy reader answers well within it, and its cards
// are begun in the same tick; a slower look is taken by a later tick.
constexpr std::chrono::milliseconds kQuickLook{50};
}  // namespace

CardStation::CardStation(StationParts parts) : parts_(std::move(parts)) {
  if (parts_.mounter != nullptr) mountRule_.emplace(parts_.mountGrace, parts_.probeRetry);
}

CardStation::~CardStation() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  lookAsked_.notify_all();
  if (looker_.joinable()) looker_.join();
  for (std::thread& checker : checkers_) checker.join();
  for (auto& [identity, worker] : workers_) worker.join();
  for (auto& [number, mount] : mounting_) mount.join();
  if (parts_.stayAwake != nullptr) parts_.stayAwake->Hold(false);
}

std::vector<Event> CardStation::Start() {
  try {
    looker_ = std::thread([this] { Looker(); });
  } catch (const std::system_error&) {
    // No thread to be had: every look is made by the tick that asks for it, as a last resort.
  }
  return Tick(false);
}

void CardStation::Looker() noexcept {
  std::unique_lock lock(mutex_);
  for (;;) {
    lookAsked_.wait(lock, [this] { return quit_ || (asked_ && !answered_); });
    if (quit_) return;
    const bool first = firstAsked_;
    lock.unlock();
    std::optional<Look> look = LookNow(first);
    lock.lock();
    found_ = look ? std::make_unique<Look>(std::move(*look)) : nullptr;
    answered_ = true;
    lookDone_.notify_all();
  }
}

// Everything that may wait on a card or on the system: the mounter's look, the readers' poll and the folder
// identity of each card. A look that fails is no look: taken as an empty one, it would end every card's run.
std::optional<CardStation::Look> CardStation::LookNow(bool first) noexcept {
  try {
    Look look;
    look.first = first;
    if (parts_.mounter != nullptr) {
      parts_.mounter->ReleaseGone();
      look.candidates = parts_.mounter->Candidates();
      look.scope = parts_.mounter->ScopeOf(parts_.readers);
      if (first)
        for (const std::string& reader : parts_.readers)
          look.readerScopes.push_back(parts_.mounter->ScopeOf(std::span(&reader, 1)));
    }
    look.polled = parts_.cardSlots.Poll(parts_.readers);
    std::erase_if(folders_, [&](const auto& entry) {
      return std::ranges::none_of(look.polled, [&](const platform::CardSlot& slot) {
        return slot.root == entry.first && slot.identity == entry.second.first;
      });
    });
    for (const platform::CardSlot& slot : look.polled) {
      if (slot.root.empty() || slot.identity.empty() || !parts_.identifyFolder) continue;
      auto known = folders_.find(slot.root);
      if (known == folders_.end())
        known =
            folders_.emplace(slot.root, std::pair(slot.identity, parts_.identifyFolder(slot.root).identity))
                .first;
      look.folders[slot.root] = known->second.second;
    }
    return look;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The result of the look under way, when it is done; with `ask`, a look is asked for first unless one is
// under way, and awaited a moment.
std::optional<CardStation::Look> CardStation::TakeLook(bool ask) {
  std::unique_lock lock(mutex_);
  if (ask && !asked_) {
    asked_ = true;
    firstAsked_ = !started_;
    if (!looker_.joinable()) {
      lock.unlock();
      std::optional<Look> look = LookNow(!started_);
      lock.lock();
      asked_ = false;
      return look;
    }
    lookAsked_.notify_one();
    lookDone_.wait_for(lock, kQuickLook, [this] { return answered_; });
  }
  if (!answered_) return std::nullopt;
  asked_ = answered_ = false;
  std::unique_ptr<Look> found = std::move(found_);
  if (!found) return std::nullopt;
  return std::move(*found);
}

std::vector<Event> CardStation::StartEvents(const Look& look) {
  std::vector<Event> events;
  if (mountRule_) mountRule_->Begin(look.candidates);
  CardWatchStart start = watch_.Begin(look.polled);
  std::vector<std::string> leftAlone = parts_.checkPresent ? CheckPresent(look.polled) : start.leftAlone;
  if (parts_.checkPresent) {
    const std::vector<std::string> unmounted = UnmountedAtStart(look, start.watched);
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
std::vector<std::string> CardStation::UnmountedAtStart(const Look& look, std::vector<std::string>& watched) {
  std::vector<std::string> devices;
  for (const UnmountedCandidate& card : look.candidates) {
    if (card.mounted || !card.hasFileSystem) continue;
    if (!look.scope.any && std::ranges::find(look.scope.readers, card.diskNumber) == look.scope.readers.end())
      continue;
    devices.push_back(card.device);
    for (std::size_t i = 0; i < look.readerScopes.size() && i < parts_.readers.size(); ++i) {
      const MountScope& one = look.readerScopes[i];
      if (!one.any && std::ranges::find(one.readers, card.diskNumber) != one.readers.end())
        std::erase(watched, parts_.readers[i]);
    }
  }
  return devices;
}

Event CardStation::Ended(const std::vector<std::string>& identities, CardEnd end) {
  for (const std::string& identity : identities) watch_.Finished(identity);
  (end.result.outcome == CardOutcome::Verified ? written_ : failed_) += 1;
  Event event{Event::Kind::CardEnded};
  event.card = std::move(end);
  return event;
}

std::vector<Event> CardStation::Tick(bool look) {
  std::vector<Event> events;
  std::optional<Look> found = TakeLook(look || !started_);
  if (found && found->first) {
    events = StartEvents(*found);
    started_ = true;
    found.reset();
  }
  std::deque<std::pair<std::vector<std::string>, CardEnd>> ended;
  std::vector<Event> checked, said;
  std::vector<std::thread> mounts;
  {
    const std::lock_guard lock(mutex_);
    ended.swap(ended_);
    checked.swap(checked_);
    said.swap(mountSaid_);
    for (const std::size_t number : mounted_) {
      mounts.push_back(std::move(mounting_.at(number)));
      mounting_.erase(number);
    }
    mounted_.clear();
  }
  // Each of these has nothing left to do but return.
  for (std::thread& mount : mounts) mount.join();
  events.insert(events.end(), checked.begin(), checked.end());
  events.insert(events.end(), said.begin(), said.end());
  checking_ -= checked.size();
  for (auto& [identities, end] : ended) {
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
  // Once a stop was asked for, a look that was under way begins nothing.
  if (found && !stopping_) Apply(*found, events);
  HoldAwake();
  return events;
}

// A later look: the cards to mount, and a run for each card that appeared.
void CardStation::Apply(const Look& look, std::vector<Event>& events) {
  if (mountRule_) {
    const MountDecision due = mountRule_->Due(look.candidates, look.scope, MountRule::Clock::now());
    for (const UnmountedCandidate& card : due.refused) {
      Event refused{Event::Kind::FileSystemRefused};
      refused.device = card.device;
      refused.fileSystem = card.fileSystem;
      events.push_back(refused);
    }
    for (const UnmountedCandidate& card : due.unreadable) {
      Event unreadable{Event::Kind::Unreadable};
      unreadable.device = card.device;
      events.push_back(unreadable);
    }
    for (const UnmountedCandidate& card : due.mount) MountOnWorker(card);
  }
  const std::vector<platform::CardSlot> begun = watch_.Poll(look.polled);
  for (const std::string& reader : watch_.NewlyRefused(look.polled))
    events.push_back({Event::Kind::ReaderNotRemovable, {reader}});
  // A card under two names (a subst letter, two mount folders) gets one worker.
  std::vector<std::optional<platform::FolderIdentity>> folders;
  for (const platform::CardSlot& slot : begun) {
    const auto folder = look.folders.find(slot.root);
    folders.push_back(folder != look.folders.end() ? folder->second : std::nullopt);
  }
  for (const SlotGroup& card : GroupSameCards(begun, folders, look.polled)) Begin(card, events);
  Event waiting{Event::Kind::Waiting};
  waiting.show = Running() == 0;
  waiting.written = written_;
  waiting.failed = failed_;
  events.push_back(waiting);
}

// Mounts `card` on a worker of its own: the system's mount may take long, and other cards go on meanwhile.
// Said once when it fails: the rule does not offer this card again while it stays in.
void CardStation::MountOnWorker(const UnmountedCandidate& card) {
  const std::size_t number = nextMount_++;
  auto mount = [this, card, number] {
    std::string why;
    try {
      why = parts_.mounter->Mount(card);
    } catch (const std::exception& error) {
      why = error.what();
    }
    const std::lock_guard lock(mutex_);
    if (!why.empty()) {
      Event failed{Event::Kind::MountFailed};
      failed.device = card.device;
      failed.failure = std::move(why);
      mountSaid_.push_back(std::move(failed));
    }
    mounted_.push_back(number);
  };
  const std::lock_guard lock(mutex_);
  try {
    mounting_.emplace(number, std::thread(mount));
  } catch (const std::system_error&) {
    // No thread to be had: the next look may offer no card to mount, but nothing waits here on the system.
  }
}

std::vector<Event> CardStation::Stop() {
  stopping_ = true;
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
    // What the system says of the card's volume: asked here, as it may wait on the card.
    end.volume = parts_.cardSlots.Describe(root);
  } catch (const std::exception&) {
  }
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
  // The record first, here where a slow disk holds up this card's line alone: a card that was written is
  // recorded, on the disk, before its line is said and whatever becomes of its owner's output.
  if (parts_.record != nullptr) {
    try {
      end.recordFailed = !parts_.record->Append(CardLogLine(end, parts_.recordFacts));
    } catch (const std::exception&) {
      end.recordFailed = true;
    }
  }
  const std::lock_guard lock(mutex_);
  ended_.push_back({job.identities, std::move(end)});
}

}  // namespace scaleboot::station
