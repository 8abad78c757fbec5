#include "station/CardRecord.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace scaleboot::station {

std::string_view OutcomeCode(CardOutcome outcome) {
  switch (outcome) {
    case CardOutcome::Verified:
      return "verified";
    case CardOutcome::Mismatch:
      return "mismatch";
    case CardOutcome::IoError:
      return "io-error";
    case CardOutcome::CorruptImages:
      return "corrupt-images";
  }
  return "io-error";
}

bool EjectFailed(const CardEnd& card) {
  return card.eject && card.eject->status != platform::EjectResult::Status::Ejected;
}

bool Ejected(const CardEnd& card) {
  return card.eject && card.eject->status == platform::EjectResult::Status::Ejected;
}

void StampEnd(CardEnd& card, const RecordFacts& facts) {
  card.ended = std::time(nullptr);
  if (facts.clockSynchronised) card.clockSynchronised = facts.clockSynchronised();
}

bool MayTakeAway(const CardEnd& card) {
  // A card missing from the record is no card to take away without a word either.
  return card.result.outcome == CardOutcome::Verified && !EjectFailed(card) && card.unmountFailure.empty() &&
         !card.recordFailed;
}

std::string UtcTimestamp(std::time_t time) {
  // Computed, not asked of gmtime: the cards' workers call this at once, and gmtime's result is shared.
  using namespace std::chrono;
  const sys_seconds at{seconds{time}};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss clock{at - day};
  char text[40] = {};
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string LocalClock(std::time_t time) {
  char text[16] = {};
  if (const std::tm* local = std::localtime(&time)) std::strftime(text, sizeof text, "%H:%M:%S", local);
  return text;
}

std::string CardLogLine(const CardEnd& record, const RecordFacts& facts) {
  const std::span<const FirmwareImage> images = facts.images;
  const std::span<const std::string_view> sha256 = facts.sha256;
  using nlohmann::ordered_json;
  const auto textOrNull = [](const std::string& text) {
    return text.empty() ? ordered_json() : ordered_json(text);
  };
  ordered_json line{{"time", UtcTimestamp(record.ended)},
                    {"program", facts.program},
                    {"version", facts.version},
                    {"root", record.result.root},
                    {"label", textOrNull(record.volume.label)},
                    {"serial", textOrNull(record.volume.serial)},
                    {"outcome", OutcomeCode(record.result.outcome)},
                    {"io_code", record.result.ioCode},
                    {"device_compared", record.result.deviceCompared},
                    {"ejected", Ejected(record)},
                    {"clock_synchronised",
                     record.clockSynchronised ? ordered_json(*record.clockSynchronised) : ordered_json()}};
  if (facts.testFirmware) line["test_firmware"] = true;
  line["files"] = ordered_json::array();
  for (std::size_t i = 0; i < images.size(); ++i) {
    line["files"].push_back({{"name", images[i].fileName},
                             {"firmware", images[i].versionLabel},
                             {"sha256", i < sha256.size() ? ordered_json(sha256[i]) : ordered_json()}});
  }
  return line.dump(-1, ' ', true, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace scaleboot::station
