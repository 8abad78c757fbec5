#include "main/cli/StationJournal.h"

#include <string>
#include <variant>

#include "main/cli/Cli.h"

namespace scaleboot::cli {
namespace {

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
  namespace ev = station::event;
  if (std::holds_alternative<ev::Watching>(event) || std::holds_alternative<ev::WatchingAny>(event)) {
    begin(kJournalStarted, kInfo);
    if (const auto* watching = std::get_if<ev::Watching>(&event))
      for (const std::string& reader : watching->names) fields.push_back({"SCALEBOOT_READER", reader});
  } else if (const auto* ended = std::get_if<ev::CardEnded>(&event)) {
    const bool ready = station::MayTakeAway(ended->card);
    begin(ready ? kJournalCardReady : kJournalCardFailed, ready ? kInfo : kError);
    AddCard(ended->card, facts, fields);
  } else if (const auto* present = std::get_if<ev::Present>(&event)) {
    begin(kJournalPresent, present->verdict == CardVerdict::ThisModule ? kInfo : kWarning);
    fields.push_back({"SCALEBOOT_ROOT", present->root});
    fields.push_back({"SCALEBOOT_VERDICT", std::string(VerdictCode(present->verdict))});
    fields.push_back({"SCALEBOOT_DEVICE_COMPARED", YesNo(present->deviceCompared)});
  } else if (const auto* stopped = std::get_if<ev::Stopped>(&event)) {
    begin(kJournalStopped, stopped->failed == 0 ? kInfo : kWarning);
    fields.push_back({"SCALEBOOT_WRITTEN", std::to_string(stopped->written)});
    fields.push_back({"SCALEBOOT_FAILED", std::to_string(stopped->failed)});
  }
  return fields;
}

}  // namespace scaleboot::cli
