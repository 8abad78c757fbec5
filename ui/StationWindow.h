// The station window apart from any toolkit: what to offer to watch, and what the window shows as the
// station runs (the line on what it watches, a row per card, the status line, the sounds). Both windows put
// its results on their controls; its ticks run on their threads, as the station's do.
#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "images/FirmwareImages.h"
#include "platform/AppendFile.h"
#include "platform/CardMounting.h"
#include "platform/CardSlots.h"
#include "platform/Eject.h"
#include "platform/Platform.h"
#include "station/CardRecord.h"
#include "station/CardStation.h"
#include "station/CardWrite.h"
#include "ui/MessageBox.h"
#include "ui/MessageTable.h"

namespace scaleboot {

// The window ticks this often; the station looks at the readers at its own pace (once a second).
inline constexpr int kStationTickMs = 100;

// One entry of the drop-down: the reader to watch ("E:", "/dev/sdb"), empty for every removable drive.
struct StationChoice {
  std::string reader;
  std::string text;
};

// The reader of the drive `selectedRoot` (none when empty, or when no slot holds it), then every removable
// drive; the first is the one chosen.
std::vector<StationChoice> StationChoices(LanguageIndex language, platform::CardSlotSource& slots,
                                          const std::string& selectedRoot);

enum class StationSound {
  Once,    // a card to take away
  Thrice,  // a card that needs the user
};

// One row of the list: a card's end, or a card the station could not take (then `removal` is empty).
struct StationRow {
  std::string time;     // local "14:03:22"
  std::string drive;    // "E:", "/media/card:", "E: and F: are the same card:"
  std::string outcome;  // the command line's words for the card's outcome
  std::string removal;  // "remove the card", or why not, and whatever else became of the card
  bool good = false;    // written, and ready to take away
};

// The rules of a card's end (may it be taken away, did its eject fail) are the station's:
// station/CardRecord.h.

// The text colour (0xRRGGBB) of the row of a card that needs the user; the other rows keep the list's own.
inline constexpr std::uint32_t kNeedsUserColour = 0xC00000;
std::optional<std::uint32_t> RowColour(const StationRow& row);

// The window's controls that a stop disables: from then on only the end of the cards in progress is awaited.
enum class StationControl { WatchList, EjectBox, RecordButton, StopButton };
inline constexpr StationControl kDisabledByStop[] = {StationControl::WatchList, StationControl::EjectBox,
                                                     StationControl::RecordButton,
                                                     StationControl::StopButton};

// What changed on the window since the last call.
struct StationUpdate {
  std::optional<std::string> watching;  // the line on what is watched and what is left alone
  std::vector<StationRow> rows;         // to add at the end, oldest first
  std::optional<std::string> status;    // the status line
  std::vector<StationSound> sounds;     // in order
  bool finished = false;                // a stop was asked for and no card is in progress: close now
};

// The station behind the window. Every call is made on the window's thread.
class StationSession {
 public:
  // Watches `options.readers` (one, or none for every removable drive). The session's own eject box and
  // record file take the place of the options' `ejectEach` and `record`.
  StationSession(LanguageIndex language, const station::Services& services, station::Options options);
  ~StationSession();  // waits for the cards in progress, within the station's stop bound
  StationSession(const StationSession&) = delete;
  StationSession& operator=(const StationSession&) = delete;

  // The first look: the cards in now are left alone. Says what is watched (or the tick that finds the first
  // look done, when a reader is slow to answer), and the waiting status.
  StationUpdate Start();
  // Every kStationTickMs: what the station found since the last tick (it looks at the readers by itself).
  StationUpdate Tick();
  // Stop, Esc or closing: no card is begun any more, the checks of cards present are dropped; `finished` at
  // once when no card is in progress, otherwise at the tick that reports the last one's end (past the
  // station's stop bound, a card that stopped answering ends as such).
  StationUpdate Stop();

  // Whether each card that ends from now on is ejected (on at the start).
  void SetEject(bool eject) { eject_ = eject; }
  // Appends each card's record line to `file` from now on; `path` names it in the words of a failed append.
  void SetRecord(std::unique_ptr<platform::AppendFile> file, std::string path);

  bool Busy() const { return station_.Running() != 0; }
  // Whether a card there at the start is still being checked: a stop drops its row.
  bool Checking() const { return station_.Checking() != 0; }
  bool Stopping() const { return stopping_; }
  // The watched reader changes only between cards, and not once a stop was asked for.
  bool MayChangeReader() const { return !Busy() && !Stopping(); }

 private:
  class Record;
  void Apply(const std::vector<station::Event>& events, StationUpdate& update);
  void Ended(const station::CardEnd& card, StationUpdate& update);
  void StartedLine(StationUpdate& update);
  std::string WaitingStatus(std::size_t written, std::size_t failed) const;

  const LanguageIndex language_;
  const std::string reader_;  // empty: every removable drive
  std::unique_ptr<Record> record_;
  station::UnavailableEjector unavailable_;
  std::atomic<bool> eject_{true};
  station::CardStation station_;
  std::string recordPath_;
  bool recordFailing_ = false;  // the last append failed
  bool stopping_ = false;
  bool watchingSaid_ = false;  // the first look is done, and what is watched was said
};

// The record file of the station window, kept the same way by both windows: opened once, when the user
// chooses it, and appended to by every session that follows (a new choice of reader keeps the open file).
class StationRecord {
 public:
  using Opener =
      std::function<std::unique_ptr<platform::AppendFile>(const std::string& path, platform::AppendRefusal&)>;
  StationRecord(LanguageIndex language, Opener open) : language_(language), open_(std::move(open)) {}

  // The path chosen in the save dialog: nothing happens when it is empty (cancelled) or `session` began to
  // stop meanwhile. A file the log rules refuse gives its box, captioned `caption`, and the file kept so far
  // stays the record; one that opens becomes the record of `session` and of the sessions that follow.
  std::optional<MessageBoxSpec> Choose(const std::string& path, StationSession& session,
                                       std::string_view caption);
  // Gives a new session the record kept, if any.
  void Attach(StationSession& session) const;
  // "Record: PATH"; empty while no record is kept.
  std::string Line() const;
  const std::string& Path() const { return path_; }

 private:
  class Forwarder;
  LanguageIndex language_;
  Opener open_;
  std::shared_ptr<platform::AppendFile> file_;
  std::string path_;
};

// The box for a record file the log rules refused: "Cannot keep a record in 'PATH': WHY."
MessageBoxSpec RecordRefusedBox(LanguageIndex language, const std::string& path,
                                const platform::AppendRefusal& refusal, std::string_view caption);

}  // namespace scaleboot
