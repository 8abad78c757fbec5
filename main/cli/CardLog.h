// The record of every card that --log keeps: one JSON line per card, appended to a file with a single write.
#pragma once
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "images/FirmwareImages.h"
#include "main/cli/BatchWrite.h"
#include "platform/CardSlots.h"
#include "platform/Eject.h"

namespace scaleboot::cli {

// How one card's run ended, as the log and the station report it.
struct CardRecord {
  CardResult result;
  std::optional<platform::EjectResult> eject{};  // absent when no eject was asked for
  platform::VolumeFacts volume{};                // as the system described the card before its run
  std::time_t ended = 0;
};

// "2026-12-09T14:03:22Z" and the local "14:03:22" of `time`.
std::string UtcTimestamp(std::time_t time);
std::string LocalClock(std::time_t time);

// One compact JSON line, ending in a line break: "time" (UTC), "program", "version", "root", "label" and
// "serial" (null where the system said nothing), "outcome", "io_code", "device_compared", "ejected", and
// "files": each image's "name", "firmware" label and "sha256" (as the build computed it, in table order).
std::string CardLogLine(const CardRecord& record, std::span<const FirmwareImage> images,
                        std::span<const std::string_view> sha256, std::string_view version);

// The stable code of a card's outcome in JSON ("verified", "mismatch", "io-error", "corrupt-images").
std::string_view OutcomeCode(CardOutcome outcome);

}  // namespace scaleboot::cli
