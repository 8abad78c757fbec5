#include "main/cli/StationJournal.h"

#include <string>

#include "main/cli/Cli.h"

namespace scaleboot::cli {
namespace {

using Kind = station::Event::Kind;
using Fields = std::vector<platform::JournalField>;

std::string YesNo(bool value) {
  return value ? "true" : "false";
}

// syslog's priorities, as journalctl -p selects them.
constexpr std::string_view kError = "3", kWarning = "4", kInfo = "6";

void AddCard(const station::CardEnd& card, const station::RecordFacts& facts, Fields& fields) {
  fields.push_back({"SCALEBOOT_ROOT", card.result.root});
  for (const std::string& name : card.result.alsoNamed) fields.push_back({"SCALEBOOT_ALSO_NAMED", name});
  // Nothing where the system said nothing, as the record's null.
  if (!card.volume.label.empty()) fields.push_back({"SCALEBOOT_LABEL", card.volume.label});
  if (!card.volume.serial.empty()) fields.push_back({"SCALEBOOT_SERIAL", card.volume.serial});
  fields.push_back({"SCALEBOOT_OUTCOME", std::string(station::OutcomeCode(card.result.outcome))});
  fields.push_back({"SCALEBOOT_IO_CODE", std::to_string(card.result.ioCode)});
  fields.push_back({"SCALEBOOT_DEVICE_COMPARED", YesNo(card.result.deviceCompared)});
  fields.push_back({"SCALEBOOT_EJECTED", YesNo(station::Ejected(card))});
  fields.push_back({"SCALEBOOT_RECORDED", YesNo(!card.recordFailed)});
  fields.push_back({"SCALEBOOT_STOPPED_ANSWERING", YesNo(card.stoppedAnswering)});
  if (card.clockSynchronised)
    fields.push_back({"SCALEBOOT_CLOCK_SYNCHRONISED", YesNo(*card.clockSynchronised)});
  for (std::size_t i = 0; i < facts.images.size(); ++i) {
    const std::string sha256 = i < facts.sha256.size() ? std::string(facts.sha256[i]) : "";
    fields.push_back({"SCALEBOOT_FILE", std::string(facts.images[i].fileName) + " " +
                                            std::string(facts.images[i].versionLabel) + " " + sha256});
  }
}

}  // namespace

Fields StationJournalEntry(const station::Event& event, std::string_view message,
                           const station::RecordFacts& facts) {
  Fields fields;
  const auto begin = [&](std::string_view id, std::string_view priority) {
    fields = {{"MESSAGE_ID", std::string(id)},
              {"MESSAGE", std::string(message)},
              {"PRIORITY", std::string(priority)},
              {"SYSLOG_IDENTIFIER", std::string(facts.program)},
              {"SCALEBOOT_VERSION", std::string(facts.version)},
              {"SCALEBOOT_TEST_FIRMWARE", YesNo(facts.testFirmware)}};
  };
  switch (event.kind) {
    case Kind::Watching:
    case Kind::WatchingAny:
      begin(kJournalStarted, kInfo);
      for (const std::string& reader : event.names) fields.push_back({"SCALEBOOT_READER", reader});
      break;
    case Kind::CardEnded:
      if (!event.card) return {};
      begin(station::MayTakeAway(*event.card) ? kJournalCardReady : kJournalCardFailed,
            station::MayTakeAway(*event.card) ? kInfo : kError);
      AddCard(*event.card, facts, fields);
      break;
    case Kind::Present:
      if (!event.verdict || event.names.empty()) return {};
      begin(kJournalPresent, *event.verdict == CardVerdict::ThisModule ? kInfo : kWarning);
      fields.push_back({"SCALEBOOT_ROOT", event.names.front()});
      fields.push_back({"SCALEBOOT_VERDICT", std::string(VerdictCode(*event.verdict))});
      fields.push_back({"SCALEBOOT_DEVICE_COMPARED", YesNo(event.deviceCompared)});
      break;
    case Kind::Stopped:
      begin(kJournalStopped, event.failed == 0 ? kInfo : kWarning);
      fields.push_back({"SCALEBOOT_WRITTEN", std::to_string(event.written)});
      fields.push_back({"SCALEBOOT_FAILED", std::to_string(event.failed)});
      break;
    default:
      return {};
  }
  return fields;
}

}  // namespace scaleboot::cli
