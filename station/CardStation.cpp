#include "station/CardStation.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

namespace scaleboot::station {

// One card's run: written, ejected, whatever the station mounted for it undone, recorded; never raises. Its
// fields are by Shared::mutex once the worker runs.
struct CardStation::Job {
  std::vector<std::string> identities;  // every identity the card showed, its slot's own first
  CardEnd end;                          // the worker's own until it posts it
  platform::VolumeFacts volume;         // as the system described the card, once it answered
  bool recording = false;               // the worker appends the card's record line: it is no more given up
  bool givenUp = false;                 // past the stop's bound: the worker touches nothing more
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

// What the station's threads share with it; each holds it for as long as it runs, so a thread that returns
// after the station is gone finds it still there. By `mutex` but `parts` (never changed) and `folders`.
struct CardStation::Shared {
  explicit Shared(StationParts given)
      : readers(given.readers.begin(), given.readers.end()), parts(Own(std::move(given), readers)) {}
  static StationParts Own(StationParts given, std::span<const std::string> readers) {
    given.readers = readers;
    return given;
  }
  std::optional<Look> LookNow(bool first) noexcept;
  void Looker() noexcept;
  void Run(const std::shared_ptr<Job>& job) noexcept;

  const std::vector<std::string> readers;  // the station's own copy, which `parts` names
  const StationParts parts;
  std::mutex mutex;
  std::mutex
      ejectMutex;  // one eject at a time: the system's eject services are not asked from several threads
  // The queue each tick drains.
  std::deque<std::pair<std::vector<std::string>, CardEnd>> ended;
  std::vector<Event> checked;    // the Present events of the checks of cards there at the start
  std::vector<Event> mountSaid;  // the mounts that failed
  // The looker: one look at a time, asked by a tick.
  std::condition_variable lookAsked, lookDone;
  bool asked = false;  // a look is asked for or under way, until a tick takes its result
  bool firstAsked = false;
  bool answered = false;  // the look asked for is done; `found` holds it, or nothing when it failed
  bool quit = false;
  std::unique_ptr<Look> found;
  // The folder identity of each root with a card, kept while the same card stays there; the looker's own.
  std::map<std::string, std::pair<std::string, std::optional<platform::FolderIdentity>>> folders;
};

namespace {
// How long a tick waits for the look it asked for: a healthy reader answers well within it, and its cards
// are begun in the same tick; a slower look is taken by a later tick.
constexpr std::chrono::milliseconds kQuickLook{50};

// Runs `work` on a thread of its own that nobody waits for; false when no thread is to be had.
template <typename Work>
bool Detached(Work&& work) {
  try {
    std::thread(std::forward<Work>(work)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

// The record line of `end`; false when it is not on the disk. Never raises.
bool Record(const StationParts& parts, const CardEnd& end) noexcept {
  try {
    return parts.record->Append(CardLogLine(end, parts.recordFacts));
  } catch (const std::exception&) {
    return false;
  }
}
}  // namespace

CardStation::CardStation(StationParts parts)
    : shared_(std::make_shared<Shared>(std::move(parts))), parts_(shared_->parts) {
  if (parts_.mounter != nullptr) mountRule_.emplace(parts_.mountGrace, parts_.probeRetry);
}

namespace {

// The workers' calls own what they use: a card that stopped answering may return after the station's owner
// is gone.
StationParts PartsOf(const Services& services, const Options& options) {
  StationParts parts{*services.cardSlots,
                     OwnFilesWriter(services.images, services.newFiles, options.transferSize)};
  parts.readers = options.readers;
  if (options.eject) parts.ejector = services.ejector != nullptr ? services.ejector : options.noEjector;
  parts.ejectEach = options.ejectEach;
  parts.mounter = services.mounter;
  parts.mountGrace = services.mountGrace;
  parts.identifyFolder = services.identifyFolder;
  parts.record = options.record;
  parts.recordFacts = services.recordFacts;
  if (options.checkPresent)
    parts.checkPresent = [images = services.images, newFiles = services.newFiles](const std::string& root) {
      return CheckPresentCard(root, images, newFiles);
    };
  parts.stayAwake = services.stayAwake;
  parts.stopBound = options.stopBound;
  return parts;
}

}  // namespace

CardStation::CardStation(const Services& services, const Options& options)
    : CardStation(PartsOf(services, options)) {}

CardStation::~CardStation() {
  try {
    if (!stopping_) Stop();
    // Bounded: past the stop's bound, the cards still in progress are given up, and their record lines
    // take what the record's disk takes.
    while (!Finished()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      Tick(false);
    }
  } catch (const std::exception&) {
    // Nothing may leave a destructor: what was not reported stays unreported.
  }
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->quit = true;
  }
  shared_->lookAsked.notify_all();
  if (parts_.stayAwake != nullptr) parts_.stayAwake->Hold(false);
}

std::vector<Event> CardStation::Start() {
  lookerRuns_ = Detached([shared = shared_] { shared->Looker(); });
  // No thread to be had: every look is made by the tick that asks for it, as a last resort.
  return Tick(false);
}

void CardStation::Shared::Looker() noexcept {
  std::unique_lock lock(mutex);
  for (;;) {
    lookAsked.wait(lock, [this] { return quit || (asked && !answered); });
    if (quit) return;
    const bool first = firstAsked;
    lock.unlock();
    std::optional<Look> look = LookNow(first);
    lock.lock();
    found = look ? std::make_unique<Look>(std::move(*look)) : nullptr;
    answered = true;
    lookDone.notify_all();
  }
}

// Everything that may wait on a card or on the system: the mounter's look, the readers' poll and the folder
// identity of each card. A look that fails is no look: taken as an empty one, it would end every card's run.
std::optional<CardStation::Look> CardStation::Shared::LookNow(bool first) noexcept {
  try {
    Look look;
    look.first = first;
    if (parts.mounter != nullptr) {
      parts.mounter->ReleaseGone();
      look.candidates = parts.mounter->Candidates();
      look.scope = parts.mounter->ScopeOf(parts.readers);
      if (first)
        for (const std::string& reader : parts.readers)
          look.readerScopes.push_back(parts.mounter->ScopeOf(std::span(&reader, 1)));
    }
    look.polled = parts.cardSlots.Poll(parts.readers);
    std::erase_if(folders, [&](const auto& entry) {
      return std::ranges::none_of(look.polled, [&](const platform::CardSlot& slot) {
        return slot.root == entry.first && slot.identity == entry.second.first;
      });
    });
    for (const platform::CardSlot& slot : look.polled) {
      if (slot.root.empty() || slot.identity.empty() || !parts.identifyFolder) continue;
      auto known = folders.find(slot.root);
      if (known == folders.end())
        known = folders.emplace(slot.root, std::pair(slot.identity, parts.identifyFolder(slot.root).identity))
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
  Shared& shared = *shared_;
  std::unique_lock lock(shared.mutex);
  if (ask && !shared.asked) {
    shared.asked = true;
    shared.firstAsked = !started_;
    if (!lookerRuns_) {
      lock.unlock();
      std::optional<Look> look = shared.LookNow(!started_);
      lock.lock();
      shared.asked = false;
      return look;
    }
    shared.lookAsked.notify_one();
    shared.lookDone.wait_for(lock, kQuickLook, [&shared] { return shared.answered; });
  }
  if (!shared.answered) return std::nullopt;
  shared.asked = shared.answered = false;
  std::unique_ptr<Look> found = std::move(shared.found);
  if (!found) return std::nullopt;
  return std::move(*found);
}

std::vector<Event> CardStation::StartEvents(const Look& look) {
  std::vector<Event> events;
  if (mountRule_) mountRule_->Begin(look.candidates);
  CardWatchStart start = watch_.Begin(look.polled);
  // Once a stop was asked for, no card is checked.
  const bool check = parts_.checkPresent && !stopping_;
  std::vector<std::string> leftAlone = check ? CheckPresent(look.polled) : start.leftAlone;
  if (check) {
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
    auto check = [shared = shared_, root = slot.root] {
      Event present{Event::Kind::Present, {root}};
      const PresentCheck found = shared->parts.checkPresent(root);
      present.verdict = found.verdict;
      present.deviceCompared = found.deviceCompared;
      const std::lock_guard lock(shared->mutex);
      shared->checked.push_back(std::move(present));
    };
    ++checking_;
    if (!Detached(check)) check();
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
  if (stopping_ && std::chrono::steady_clock::now() - stoppedAt_ >= parts_.stopBound) GiveUpLateCards();
  std::deque<std::pair<std::vector<std::string>, CardEnd>> ended;
  std::vector<Event> checked, said;
  {
    const std::lock_guard lock(shared_->mutex);
    ended.swap(shared_->ended);
    checked.swap(shared_->checked);
    said.swap(shared_->mountSaid);
  }
  // The checks dropped at a stop are said no more.
  if (!stopping_) {
    events.insert(events.end(), checked.begin(), checked.end());
    checking_ -= checked.size();
  }
  events.insert(events.end(), said.begin(), said.end());
  for (auto& [identities, end] : ended) {
    jobs_.erase(identities.front());
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

// Past the stop's bound: each card whose worker has not begun its record line is ended as one that stopped
// answering, and recorded so on a thread of its own, as the disk may be slow; its worker is left to return
// whenever the card lets it, and then does nothing more.
void CardStation::GiveUpLateCards() {
  for (auto& [identity, job] : jobs_) {
    CardEnd end;
    {
      const std::lock_guard lock(shared_->mutex);
      if (job->recording || job->givenUp) continue;
      job->givenUp = true;
      end.result = {job->end.result.root, CardOutcome::IoError};
      end.result.alsoNamed = job->end.result.alsoNamed;
      end.volume = job->volume;
    }
    end.stoppedAnswering = true;
    StampEnd(end, shared_->parts.recordFacts);
    auto record = [shared = shared_, identities = job->identities, end = std::move(end)]() mutable {
      if (shared->parts.record != nullptr) end.recordFailed = !Record(shared->parts, end);
      const std::lock_guard lock(shared->mutex);
      shared->ended.push_back({std::move(identities), std::move(end)});
    };
    if (!Detached(std::move(record))) record();
  }
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
  // No thread to be had: the next look may offer no card to mount, but nothing waits here on the system.
  Detached([shared = shared_, card] {
    std::string why;
    try {
      why = shared->parts.mounter->Mount(card);
    } catch (const std::exception& error) {
      why = error.what();
    }
    if (why.empty()) return;
    Event failed{Event::Kind::MountFailed};
    failed.device = card.device;
    failed.failure = std::move(why);
    const std::lock_guard lock(shared->mutex);
    shared->mountSaid.push_back(std::move(failed));
  });
}

std::vector<Event> CardStation::Stop() {
  stopping_ = true;
  stoppedAt_ = std::chrono::steady_clock::now();
  // The checks under way write nothing: they are dropped, and what they find is said no more.
  checking_ = 0;
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
  if (parts_.stayAwake != nullptr) parts_.stayAwake->Hold(!jobs_.empty());
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
  auto job = std::make_shared<Job>();
  job->identities = card.identities;
  job->end.result.root = slot.root;
  job->end.result.alsoNamed = card.alsoNamed;
  jobs_[card.identities.front()] = job;
  // No thread to be had: the card is written here, as a batch of one.
  if (!Detached([shared = shared_, job] { shared->Run(job); })) shared_->Run(job);
}

void CardStation::Shared::Run(const std::shared_ptr<Job>& job) noexcept {
  CardEnd end;
  std::vector<std::string> identities;
  {
    const std::lock_guard lock(mutex);
    end = job->end;
    identities = job->identities;
  }
  const std::string root = end.result.root;
  // Whether the stop's bound ran out meanwhile; once it did, nothing more is done for the card.
  const auto givenUp = [&] {
    const std::lock_guard lock(mutex);
    return job->givenUp;
  };
  try {
    // What the system says of the card's volume: asked here, as it may wait on the card.
    end.volume = parts.cardSlots.Describe(root);
    const std::lock_guard lock(mutex);
    job->volume = end.volume;
  } catch (const std::exception&) {
  }
  try {
    std::vector<std::string> alsoNamed = std::move(end.result.alsoNamed);
    if (givenUp()) return;
    end.result = parts.writeCard(root);
    end.result.alsoNamed = std::move(alsoNamed);
    bool eject = false;
    {
      const std::lock_guard lock(mutex);
      if (job->givenUp) return;
      eject = parts.ejector != nullptr && (!parts.ejectEach || parts.ejectEach());
    }
    if (eject) {
      const std::lock_guard lock(ejectMutex);
      end.eject = parts.ejector->Eject(root, {});
    }
    // A card the station mounted itself is unmounted again, even one kept in.
    if (parts.mounter != nullptr && !givenUp()) end.unmountFailure = parts.mounter->Release(root);
  } catch (const std::exception& error) {
    if (end.result.outcome == CardOutcome::Verified) {
      end.result.outcome = CardOutcome::IoError;
      end.result.errorText = error.what();
    }
  }
  StampEnd(end, parts.recordFacts);
  {
    const std::lock_guard lock(mutex);
    if (job->givenUp) return;
    job->recording = true;
  }
  // The record first, here where a slow disk holds up this card's line alone: a card that was written is
  // recorded, on the disk, before its line is said and whatever becomes of its owner's output.
  if (parts.record != nullptr) end.recordFailed = !Record(parts, end);
  const std::lock_guard lock(mutex);
  ended.push_back({std::move(identities), std::move(end)});
}

}  // namespace scaleboot::station
