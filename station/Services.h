// What a station works with: the system's services, filled once by each program's entry, and one session's
// options. The command line's station and both windows' sessions are built from these two alone.
#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "card/MountRule.h"
#include "images/FirmwareImages.h"
#include "platform/AppendFile.h"
#include "platform/CardMounting.h"
#include "platform/CardSlots.h"
#include "platform/Eject.h"
#include "platform/Platform.h"
#include "platform/StayAwake.h"
#include "station/CardRecord.h"
#include "station/CardWrite.h"

namespace scaleboot::station {

// How long a card in progress when a stop is asked for is given to finish: a whole module (under 1 MB)
// written and read back by a slow card in a slow reader (well under 100 kB/s) fits in it. Past it, the card
// has stopped answering (a dying card, a hung reader, a reader in the kernel's retries).
inline constexpr std::chrono::milliseconds kStopBound{60000};

// How often a station looks at the readers by itself: a card put in is begun within about a second.
inline constexpr std::chrono::milliseconds kLookEvery{1000};

// The system's services, for as long as the program runs. A station needs `cardSlots`, `newFiles` and
// `images`; the others may be left out.
struct Services {
  platform::CardSlotSource* cardSlots = nullptr;
  // A file layer of its own for each card, made on the card's worker; may raise, or return none.
  FileSystemFactory newFiles{};
  std::span<const FirmwareImage> images{};
  platform::Ejector* ejector = nullptr;       // none: each eject fails (Options::noEjector says why)
  platform::CardMounting* mounter = nullptr;  // none: no card is mounted by the station
  // How long a card may stay unmounted before the station mounts it.
  std::chrono::milliseconds mountGrace{kMountGrace};
  std::chrono::milliseconds lookEvery{kLookEvery};  // from one look taken to the next begun
  // Which folder a root names: the slots of one card (a subst letter) get one run. Without it, each slot
  // with a card identity of its own is a card of its own.
  std::function<platform::FolderLookup(const std::string&)> identifyFolder{};
  platform::StayAwake* stayAwake = nullptr;  // held while a card is in progress
  RecordFacts recordFacts{};                 // what each record line says of the program
};

// One session's choices.
struct Options {
  std::vector<std::string> readers{};  // none: every removable drive
  bool eject = true;                   // false: no card is ejected (--no-eject)
  std::function<bool()> ejectEach{};   // with `eject`, asked as each card ends, on its worker (none: yes)
  // Where the services have no ejector: the owner's, which fails each eject in the owner's words.
  platform::Ejector* noEjector = nullptr;
  platform::AppendFile* record = nullptr;  // one line per card, when given; appended on the card's worker
  // Whether the cards there at the start are checked without writing (otherwise only named, as left alone).
  bool checkPresent = true;
  std::size_t transferSize = kCardTransferSize;     // bytes per write or read call of a card
  std::chrono::milliseconds stopBound{kStopBound};  // a card's time to finish after a stop
};

}  // namespace scaleboot::station
