// The station, apart from any terminal or window: looks at the card readers at its own pace (and at once when
// its owner asks), writes every card that appears in a worker of its own, ejects it, undoes the mount it made
// for it and records it; and says what happened as events with codes, for the owner to put into words.
// Nothing that may wait on a card or on the system's disk services runs on the owner's thread: the looks at
// the readers are made by a looker thread, each check of a card there at the start, each mount and each
// card's run is a piece of work on a thread of its own, and all post what they found into one outbox that a
// tick drains, on the owner's thread (a window touches its widgets only from there). A tick only takes what
// they found and applies the station's rules to it, so a reader that hangs stalls neither the window nor a
// stop.
//
// No thread of the station's is ever waited for: each is detached and shares with the station only a state
// of its own that it keeps alive (a thread the kernel holds in a card's I/O may return long after the station
// is gone). A stop drops the looks and the checks of cards present at once; a card in progress is given
// StationParts::stopBound to finish, after which it is ended as one that stopped answering, and its worker,
// should it ever return, touches nothing more.
#pragma once
#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/CardResult.h"
#include "card/CardWatch.h"
#include "card/MountRule.h"
#include "card/SameCard.h"
#include "images/FirmwareImages.h"
#include "platform/AppendFile.h"
#include "platform/CardMounting.h"
#include "platform/CardSlots.h"
#include "platform/Eject.h"
#include "platform/Platform.h"
#include "platform/StayAwake.h"
#include "station/CardRecord.h"
#include "station/Events.h"
#include "station/PresentCard.h"
#include "station/Services.h"

namespace scaleboot::station {

// What the station works with, its work on a card given as functions (the tests' seam). Only `slots` and
// `writeCard` are needed; the others may be left out.
struct StationParts {
  platform::CardSlotSource& cardSlots;
  // Writes the module to the card at `root` and says how it ended; never raises. Runs on a worker thread.
  std::function<CardResult(const std::string& root)> writeCard;
  std::span<const std::string> readers{};     // none: every removable drive
  platform::Ejector* ejector = nullptr;       // none: no eject (as --no-eject)
  std::function<bool()> ejectEach{};          // asked as each card ends, on its worker: eject it (none: yes)
  platform::CardMounting* mounter = nullptr;  // none: no card is mounted by the station
  // How long a card may stay unmounted before it is mounted here.
  std::chrono::milliseconds mountGrace{kMountGrace};
  std::chrono::milliseconds probeRetry{10000};  // how long a card that does not answer the probe is tried
  // Which folder a root names: the slots of one card (a subst letter) get one run. Without it, each slot
  // with a card identity of its own is a card of its own.
  std::function<platform::FolderLookup(const std::string&)> identifyFolder{};
  platform::AppendFile* record = nullptr;  // one line per card, when given; appended on the card's worker
  RecordFacts recordFacts{};
  // Checks what a card there at the start holds, without writing; runs on a worker thread, never raises.
  // None: such cards are only named, as left alone.
  std::function<PresentCheck(const std::string& root)> checkPresent{};
  platform::StayAwake* stayAwake = nullptr;  // held while a card is in progress, on the owner's thread
  // How long a card in progress at a stop is given to finish; see kStopBound.
  std::chrono::milliseconds stopBound{kStopBound};
  // How long after a look is taken the station looks again by itself (zero: at each tick); none: only when a
  // tick asks.
  std::optional<std::chrono::milliseconds> lookEvery{};
};

class CardStation {
 public:
  explicit CardStation(StationParts parts);
  // A station that writes each card with the services' images and file layers, and checks the cards there
  // at the start with them when `options` ask for it.
  CardStation(const Services& services, const Options& options);
  // Stops when no stop was asked for, and waits for the cards in progress within the bound: a session that
  // ends leaves no card unrecorded (each card's worker appends its record line). A card that stopped
  // answering is recorded as such; the checks of cards present are not waited for.
  ~CardStation();
  CardStation(const CardStation&) = delete;
  CardStation& operator=(const CardStation&) = delete;

  // The first look at the readers: what is there now is left alone; with `checkPresent`, each such card is
  // checked on a worker, and a tick reports it as Present. The look is the looker's: its
  // events (LeftAlone, then Watching or WatchingAny) are returned when it answers within a moment, otherwise
  // by the tick that finds it done, before any other.
  std::vector<Event> Start();
  // Whether the events of the first look have been returned.
  bool Started() const { return started_; }
  // What the work under way posted since the last tick: the cards that ended, the checks of cards present,
  // the mounts that failed, the result of a look (a run begun for each card that appeared, and the waiting
  // event). A look is begun when one is due (StationParts::lookEvery), or at once with `look`, unless one is
  // under way; it is taken when it answers within a moment, otherwise by a later tick. Returns within about
  // that moment whatever a card or the system does.
  std::vector<Event> Tick(bool look = false);
  // A stop was asked for: the Stopping event when cards are in progress (ticks then report them as they end,
  // and, once the bound is past, those that stopped answering). No card is begun, mounted or checked from
  // then on: the checks under way are dropped.
  std::vector<Event> Stop();
  // A stop was asked for and every card in progress was reported: the owner may end.
  bool Finished() const { return stopping_ && jobs_.empty(); }
  // Once nothing is in progress: the counts.
  event::Stopped Stopped() const;
  // The cards in progress: one card under two names (a subst letter) is one.
  std::size_t Running() const { return jobs_.size(); }
  // The cards there at the start whose check has not been reported by a tick yet.
  std::size_t Checking() const { return checking_; }

 private:
  struct Job;
  struct Look;
  struct Shared;
  struct Drained;
  void Begin(const SlotGroup& card, std::vector<Event>& events);
  void HoldAwake() const;
  void BeginLook();
  Drained Drain(bool awaitLook);
  std::optional<Look> Took(Drained& drained);
  // A tick; with `awaitFirst`, the first look is awaited a moment.
  std::vector<Event> Step(bool look, bool awaitFirst);
  std::vector<Event> StartEvents(const Look& look);
  void Apply(const Look& look, std::vector<Event>& events);
  void MountOnWorker(const UnmountedCandidate& card);
  void GiveUpLateCards();
  event::CardEnded Ended(const std::vector<std::string>& identities, CardEnd end);
  std::vector<std::string> CheckPresent(std::span<const platform::CardSlot> slots);
  std::vector<std::string> UnmountedAtStart(const Look& look, std::vector<std::string>& watched);

  // What the work under way shares with the station, its as much as the station's: the parts, the folder
  // identities the looks keep and the outbox.
  std::shared_ptr<Shared> shared_;
  const StationParts& parts_;  // shared_->parts
  CardWatch watch_;
  std::optional<MountRule> mountRule_;
  // The cards in progress, by their first identity, until their end is reported; on the owner's thread.
  std::map<std::string, std::shared_ptr<Job>> jobs_;
  std::size_t checking_ = 0;  // checks begun and not yet reported, on the owner's thread
  std::size_t written_ = 0, failed_ = 0;
  bool started_ = false, stopping_ = false;  // on the owner's thread
  bool looking_ = false;                     // a look is under way, until a tick takes what it found
  bool lookerRuns_ = false;                  // the looker thread was started
  std::chrono::steady_clock::time_point lookTaken_{}, stoppedAt_{};
};

}  // namespace scaleboot::station
