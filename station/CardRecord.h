// The rules of a card's end, and the record of every card that a record file (--log) keeps: one JSON line per
// card, appended to a file with a single write.
#pragma once
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "card/CardResult.h"
#include "images/FirmwareImages.h"
#include "platform/CardSlots.h"
#include "platform/Eject.h"

namespace scaleboot::station {

// One card's run as it ended.
struct CardEnd {
  CardResult result;                             // its outcome, I/O code and text, and its other names
  std::optional<platform::EjectResult> eject{};  // absent when no eject was asked for
  platform::VolumeFacts volume{};                // as the system described the card before its run
  std::time_t ended = 0;
  std::optional<bool> clockSynchronised{};  // at `ended`; nothing when the system did not say
  std::string unmountFailure{};  // why a card the station mounted is still mounted; empty when it is not
  bool recordFailed = false;     // its line could not be appended to the record file
  // Still in progress when the stop's bound ran out: given up, its files perhaps incomplete (an I/O error).
  bool stoppedAnswering = false;
};

// Whether the eject asked for at the card's end failed.
bool EjectFailed(const CardEnd& card);
// Whether the card was ejected: an eject was asked for and it succeeded.
bool Ejected(const CardEnd& card);
// Whether the card may be taken away: written and verified, no eject failed, no mount of the station's left
// behind, and on the record's disk. Such a card beeps once, any other three times.
bool MayTakeAway(const CardEnd& card);

// The ejector where the system has none: every eject fails, with `words` ("ejecting is not available" in
// the owner's language).
class UnavailableEjector : public platform::Ejector {
 public:
  explicit UnavailableEjector(std::string words) : words_(std::move(words)) {}
  platform::EjectResult Eject(const std::string&, const platform::EjectOptions&) override {
    return {platform::EjectResult::Status::Failed, true, {}, words_};
  }

 private:
  const std::string words_;
};

// What every record line says of the program that wrote it.
struct RecordFacts {
  std::span<const FirmwareImage> images{};
  std::span<const std::string_view> sha256{};  // of each image in table order, as the build computed it
  std::string_view version{};
  std::string_view program{};  // "scaleboot-cli", "scaleboot" (the Linux window), "ScaleBoot" (Windows)
  bool testFirmware = false;   // a test build (IsTestBuild): each line says "test_firmware": true
  // Whether the clock is synchronised now (platform::ClockSynchronised), asked as each card ends; none: the
  // record says nothing is known.
  std::optional<bool> (*clockSynchronised)() = nullptr;
};

// Stamps `card` as ending now: its time, and the clock's state where `facts` can tell it.
void StampEnd(CardEnd& card, const RecordFacts& facts);

// "2026-12-09T14:03:22Z" (on any thread) and the local "14:03:22" (on the owner's thread) of `time`.
std::string UtcTimestamp(std::time_t time);
std::string LocalClock(std::time_t time);

// One compact JSON line, ending in a line break: "time" (UTC), "program", "version", "root", "label" and
// "serial" (null where the system said nothing), "outcome", "io_code", "device_compared", "ejected",
// "clock_synchronised" (null where the system did not say), and "files": each image's "name", "firmware"
// label and "sha256" (in table order).
std::string CardLogLine(const CardEnd& card, const RecordFacts& facts);

// The stable code of a card's outcome in JSON ("verified", "mismatch", "io-error", "corrupt-images").
std::string_view OutcomeCode(CardOutcome outcome);

}  // namespace scaleboot::station
