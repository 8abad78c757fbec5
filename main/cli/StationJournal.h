// The station's entries in the system's journal, for a station that runs as a service: its start, each card's
// end, each card present at the start and its summary, each with a MESSAGE_ID of its kind (described in the
// catalog that the station's package installs, for journalctl -x) and fields of their own.
#pragma once
#include <string_view>
#include <vector>

#include "platform/Journal.h"
#include "station/CardRecord.h"
#include "station/Events.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

// One per kind of entry; the catalog's entries carry the same.
inline constexpr std::string_view kJournalStarted = "ac80d016679a4745a17f9654ccb6f537";
inline constexpr std::string_view kJournalCardReady = "e30bfc32b3bf4df5bfc6e38044ae95fa";  // to take away
inline constexpr std::string_view kJournalCardFailed =
    "687c5f0e05d148a6a1766ab15ec04982";  // for the technician
inline constexpr std::string_view kJournalPresent = "319c894e55a442c8bcf2e6396beb4874";
inline constexpr std::string_view kJournalStopped = "3444ce24b1da4d46a460aca0f62160eb";

// The entry of `event` (Watching, WatchingAny, CardEnded, Present or Stopped) with `message`, the line the
// event is told in; nothing for other kinds, which stay lines of standard error. Every entry names the
// program's version and whether it carries test firmware; a card's names its root, label and serial number,
// outcome, I/O code, whether it was compared past the cache, ejected and recorded, whether the clock was
// synchronised, and each image's file name, firmware and SHA-256.
std::vector<platform::JournalField> StationJournalEntry(const station::Event& event, std::string_view message,
                                                        const station::RecordFacts& facts);

}  // namespace scaleboot::cli
