#include "station/CardStation.h"

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <exception>
#include <iterator>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

namespace scaleboot::station {

// One card's run: written, ejected, whatever the station mounted for it undone, recorded; never raises. Its
// fields are by its `mutex` once the run is launched.
struct CardStation::Job {
  std::mutex mutex;
  std::vector<std::string> identities;  // every identity the card showed, its slot's own first
  CardEnd end;                          // the worker's own until it posts it
  platform::VolumeFacts volume;         // as the system described the card, once it answered
  bool recording = false;               // the worker appends the card's record line: it is no more given up
  bool givenUp = false;                 // past the stop's bound: the worker touches nothing more
};

// What one look at the readers found, on the look's own thread.
struct CardStation::Look {
  bool first = false;
  std::vector<UnmountedCandidate> candidates;  // with a mounter only
  MountScope scope;
  std::vector<MountScope> readerScopes;  // the first look's: each reader's own, in the order named
  std::vector<platform::CardSlot> polled;
  // By root, of each slot with a card.
  std::map<std::string, std::optional<platform::FolderIdentity>> folders;
};

// What the station's work under way shares with it; each piece holds it for as long as it runs, so one that
// returns after the station is gone finds it still there. The outbox is by `mutex`; `parts` never changes,
// and `folders` is the look's under way (one at a time).
struct CardStation::Shared {
  explicit Shared(StationParts given)
      : readers(given.readers.begin(), given.readers.end()), parts(Own(std::move(given), readers)) {}
  static StationParts Own(StationParts given, std::span<const std::string> readers) {
    given.readers = readers;
    return given;
  }

  // What each kind of work posts.
  struct Looked {
    std::optional<Look> look;  // none: the look failed
  };
  struct CardDone {
    std::vector<std::string> identities;
    CardEnd end;
  };
  using Message = std::variant<Looked, event::Present, event::MountFailed, CardDone>;

  // Every check, mount and card's run runs so: on a thread of its own that nobody waits for, holding this
  // state, and posting what it returns into the outbox. Without a thread to be had, it runs here, as a last
  // resort. `work` never raises.
  template <typename Work>
  static void Launch(const std::shared_ptr<Shared>& shared, Work work) {
    auto run = [shared, work = std::move(work)]() mutable noexcept {
      if (std::optional<Message> message = work(*shared)) shared->Post(std::move(*message));
    };
    try {
      std::thread(run).detach();
    } catch (const std::system_error&) {
      run();
    }
  }
  void Post(Message message) noexcept {
    const std::lock_guard lock(mutex);
    outbox.push_back(std::move(message));
    posted.notify_all();
  }
  std::optional<Look> LookNow(bool first) noexcept;
  void Looker() noexcept;
  std::optional<Message> Run(const std::shared_ptr<Job>& job) noexcept;

  const std::vector<std::string> readers;  // the station's own copy, which `parts` names
  const StationParts parts;
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<Message> outbox;  // what the work under way posted, in order, until a tick drains it
  // The looker's: a look asked for (the first one or a later one), and the station gone.
  std::condition_variable lookAsked;
  std::optional<bool> lookFirst;
  bool quit = false;
  // The folder identity of each root with a card, kept while the same card stays there.
  std::map<std::string, std::pair<std::string, std::optional<platform::FolderIdentity>>> folders;
};

// What one tick took from the outbox, by kind.
struct CardStation::Drained {
  std::optional<Shared::Looked> looked;
  std::vector<event::Present> checked;
  std::vector<event::MountFailed> mountFailed;
  std::vector<Shared::CardDone> ended;
  // What a later drain took besides its look.
  void Add(Drained& later) {
    std::ranges::move(later.checked, std::back_inserter(checked));
    std::ranges::move(later.mountFailed, std::back_inserter(mountFailed));
    std::ranges::move(later.ended, std::back_inserter(ended));
  }
};

namespace {
// How long a tick waits for the look it began: a healthy reader answers well within it, and its cards are
// begun in the same tick; a slower look is taken by a later tick.
constexpr std::chrono::milliseconds kQuickLook{50};

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
  parts.lookEvery = services.lookEvery;
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
  try {
    std::thread([shared = shared_] { shared->Looker(); }).detach();
    lookerRuns_ = true;
  } catch (const std::system_error&) {
    // No thread to be had: each look is made by the tick that begins it, as a last resort.
  }
  BeginLook();
  return Step(false, true);
}

// One thread makes every look, one at a time, as the station asks, and posts each into the outbox. It lives
// as long as the station (a thread started for each look came back late under Wine, once in a while never).
void CardStation::Shared::Looker() noexcept {
  std::unique_lock lock(mutex);
  for (;;) {
    lookAsked.wait(lock, [this] { return quit || lookFirst; });
    if (quit) return;
    const bool first = *lookFirst;
    lookFirst.reset();
    lock.unlock();
    Post(Looked{LookNow(first)});
    lock.lock();
  }
}

void CardStation::BeginLook() {
  looking_ = true;
  if (!lookerRuns_) return shared_->Post(Shared::Looked{shared_->LookNow(!started_)});
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->lookFirst = !started_;
  }
  shared_->lookAsked.notify_one();
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

// The look `drained` holds, if any (none, too, when it failed); the next one may be begun from now on.
std::optional<CardStation::Look> CardStation::Took(Drained& drained) {
  if (!drained.looked) return std::nullopt;
  looking_ = false;
  lookTaken_ = std::chrono::steady_clock::now();
  return std::move(drained.looked->look);
}

// What the work under way posted; with `awaitLook`, the look just begun is awaited a moment.
CardStation::Drained CardStation::Drain(bool awaitLook) {
  std::deque<Shared::Message> taken;
  {
    std::unique_lock lock(shared_->mutex);
    if (awaitLook)
      shared_->posted.wait_for(lock, kQuickLook, [this] {
        return std::ranges::any_of(shared_->outbox, [](const Shared::Message& message) {
          return std::holds_alternative<Shared::Looked>(message);
        });
      });
    taken.swap(shared_->outbox);
  }
  Drained drained;
  for (Shared::Message& message : taken) {
    if (auto* looked = std::get_if<Shared::Looked>(&message)) drained.looked = std::move(*looked);
    if (auto* present = std::get_if<event::Present>(&message)) drained.checked.push_back(std::move(*present));
    if (auto* failed = std::get_if<event::MountFailed>(&message))
      drained.mountFailed.push_back(std::move(*failed));
    if (auto* done = std::get_if<Shared::CardDone>(&message)) drained.ended.push_back(std::move(*done));
  }
  return drained;
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
  if (!leftAlone.empty()) events.push_back(event::LeftAlone{leftAlone});
  if (parts_.readers.empty()) {
    events.push_back(event::WatchingAny{});
  } else if (!start.watched.empty()) {
    events.push_back(event::Watching{start.watched});
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
    ++checking_;
    Shared::Launch(shared_, [root = slot.root](Shared& shared) -> std::optional<Shared::Message> {
      event::Present present{root};  // a check that raises calls the card damaged, never good
      try {
        const PresentCheck found = shared.parts.checkPresent(root);
        present.verdict = found.verdict;
        present.deviceCompared = found.deviceCompared;
      } catch (const std::exception&) {
      }
      return present;
    });
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

event::CardEnded CardStation::Ended(const std::vector<std::string>& identities, CardEnd end) {
  for (const std::string& identity : identities) watch_.Finished(identity);
  (end.result.outcome == CardOutcome::Verified ? written_ : failed_) += 1;
  return {std::move(end)};
}

std::vector<Event> CardStation::Tick(bool look) {
  return Step(look, look && !started_);
}

std::vector<Event> CardStation::Step(bool look, bool awaitFirst) {
  const auto now = std::chrono::steady_clock::now();
  const bool due = look || (parts_.lookEvery && now - lookTaken_ >= *parts_.lookEvery);
  const bool begun = started_ && !stopping_ && !looking_ && due;
  if (begun) BeginLook();
  Drained drained = Drain(begun || awaitFirst);
  std::vector<Event> events;
  std::optional<Look> found = Took(drained);
  if (found && found->first) {
    events = StartEvents(*found);
    started_ = true;
    found.reset();
    // A look asked for while the first one was under way (a slow reader at the start) is begun now.
    if (look && !stopping_) {
      BeginLook();
      Drained more = Drain(true);
      found = Took(more);
      drained.Add(more);
    }
  } else if (!started_ && !looking_) {
    // A first look that failed: asked again.
    BeginLook();
  }
  if (stopping_ && now - stoppedAt_ >= parts_.stopBound) GiveUpLateCards();
  // The checks dropped at a stop are said no more.
  if (!stopping_) {
    events.insert(events.end(), drained.checked.begin(), drained.checked.end());
    checking_ -= drained.checked.size();
  }
  events.insert(events.end(), drained.mountFailed.begin(), drained.mountFailed.end());
  for (Shared::CardDone& done : drained.ended) {
    jobs_.erase(done.identities.front());
    events.push_back(Ended(done.identities, std::move(done.end)));
    events.push_back(event::Waiting{true, written_, failed_});
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
      const std::lock_guard lock(job->mutex);
      if (job->recording || job->givenUp) continue;
      job->givenUp = true;
      end.result = {job->end.result.root, CardOutcome::IoError};
      end.result.alsoNamed = job->end.result.alsoNamed;
      end.volume = job->volume;
    }
    end.stoppedAnswering = true;
    StampEnd(end, shared_->parts.recordFacts);
    Shared::Launch(shared_,
                   [identities = job->identities,
                    end = std::move(end)](Shared& shared) mutable -> std::optional<Shared::Message> {
                     if (shared.parts.record != nullptr) end.recordFailed = !Record(shared.parts, end);
                     return Shared::CardDone{std::move(identities), std::move(end)};
                   });
  }
}

// A later look: the cards to mount, and a run for each card that appeared.
void CardStation::Apply(const Look& look, std::vector<Event>& events) {
  if (mountRule_) {
    const MountDecision due = mountRule_->Due(look.candidates, look.scope, MountRule::Clock::now());
    for (const UnmountedCandidate& card : due.refused)
      events.push_back(event::FileSystemRefused{card.device, card.fileSystem});
    for (const UnmountedCandidate& card : due.unreadable) events.push_back(event::Unreadable{card.device});
    for (const UnmountedCandidate& card : due.mount) MountOnWorker(card);
  }
  const std::vector<platform::CardSlot> begun = watch_.Poll(look.polled);
  for (const std::string& reader : watch_.NewlyRefused(look.polled))
    events.push_back(event::ReaderNotRemovable{reader});
  // A card under two names (a subst letter, two mount folders) gets one worker.
  std::vector<std::optional<platform::FolderIdentity>> folders;
  for (const platform::CardSlot& slot : begun) {
    const auto folder = look.folders.find(slot.root);
    folders.push_back(folder != look.folders.end() ? folder->second : std::nullopt);
  }
  for (const SlotGroup& card : GroupSameCards(begun, folders, look.polled)) Begin(card, events);
  events.push_back(event::Waiting{Running() == 0, written_, failed_});
}

// Mounts `card` on a worker of its own: the system's mount may take long, and other cards go on meanwhile.
// Said once when it fails: the rule does not offer this card again while it stays in.
void CardStation::MountOnWorker(const UnmountedCandidate& card) {
  Shared::Launch(shared_, [card](Shared& shared) -> std::optional<Shared::Message> {
    std::string why;
    try {
      why = shared.parts.mounter->Mount(card);
    } catch (const std::exception& error) {
      why = error.what();
    }
    if (why.empty()) return std::nullopt;
    return event::MountFailed{card.device, std::move(why)};
  });
}

std::vector<Event> CardStation::Stop() {
  stopping_ = true;
  stoppedAt_ = std::chrono::steady_clock::now();
  // The checks under way write nothing: they are dropped, and what they find is said no more.
  checking_ = 0;
  std::vector<Event> events{event::Waiting{}};
  if (Running() != 0) events.push_back(event::Stopping{Running()});
  return events;
}

void CardStation::HoldAwake() const {
  if (parts_.stayAwake != nullptr) parts_.stayAwake->Hold(!jobs_.empty());
}

event::Stopped CardStation::Stopped() const {
  return {written_, failed_};
}

void CardStation::Begin(const SlotGroup& card, std::vector<Event>& events) {
  const platform::CardSlot& slot = card.slot;
  event::CardStarted started{{slot.root}};
  started.names.insert(started.names.end(), card.alsoNamed.begin(), card.alsoNamed.end());
  events.push_back(std::move(started));
  auto job = std::make_shared<Job>();
  job->identities = card.identities;
  job->end.result.root = slot.root;
  job->end.result.alsoNamed = card.alsoNamed;
  jobs_[card.identities.front()] = job;
  // No thread to be had: the card is written here, as a batch of one.
  Shared::Launch(shared_, [job](Shared& shared) { return shared.Run(job); });
}

std::optional<CardStation::Shared::Message> CardStation::Shared::Run(
    const std::shared_ptr<Job>& job) noexcept {
  CardEnd end;
  std::vector<std::string> identities;
  {
    const std::lock_guard lock(job->mutex);
    end = job->end;
    identities = job->identities;
  }
  const std::string root = end.result.root;
  // Whether the stop's bound ran out meanwhile; once it did, nothing more is done for the card.
  const auto givenUp = [&] {
    const std::lock_guard lock(job->mutex);
    return job->givenUp;
  };
  try {
    // What the system says of the card's volume: asked here, as it may wait on the card.
    end.volume = parts.cardSlots.Describe(root);
    const std::lock_guard lock(job->mutex);
    job->volume = end.volume;
  } catch (const std::exception&) {
  }
  try {
    std::vector<std::string> alsoNamed = std::move(end.result.alsoNamed);
    if (givenUp()) return std::nullopt;
    end.result = parts.writeCard(root);
    end.result.alsoNamed = std::move(alsoNamed);
    bool eject = false;
    {
      const std::lock_guard lock(job->mutex);
      if (job->givenUp) return std::nullopt;
      eject = parts.ejector != nullptr && (!parts.ejectEach || parts.ejectEach());
    }
    if (eject) end.eject = parts.ejector->Eject(root, {});
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
    const std::lock_guard lock(job->mutex);
    if (job->givenUp) return std::nullopt;
    job->recording = true;
  }
  // The record first, here where a slow disk holds up this card's line alone: a card that was written is
  // recorded, on the disk, before its line is said and whatever becomes of its owner's output.
  if (parts.record != nullptr) end.recordFailed = !Record(parts, end);
  return CardDone{std::move(identities), std::move(end)};
}

}  // namespace scaleboot::station
