#include "main/cli/CliJson.h"

#include <nlohmann/json.hpp>

#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"
#include "station/CardRecord.h"
#include "ui/Contents.h"
#include "ui/EjectTexts.h"

namespace scaleboot::cli {
namespace {

using nlohmann::ordered_json;

ordered_json Document(std::string_view command, int status) {
  ordered_json document;
  document["command"] = command.empty() ? ordered_json(nullptr) : ordered_json(command);
  document["exit_status"] = status;
  return document;
}

std::string Dump(const ordered_json& document) {
  // ASCII only; a text that is no valid UTF-8 has its bad bytes replaced rather than ending the run.
  return document.dump(2, ' ', true, ordered_json::error_handler_t::replace) + "\n";
}

// "ejected" and "eject_error" (null, or the failure's "code", "text" and, for a card in use, "processes").
void AddEject(LanguageIndex language, const platform::EjectResult& eject, ordered_json& entry) {
  const bool ejected = eject.status == platform::EjectResult::Status::Ejected;
  entry["ejected"] = ejected;
  if (ejected) {
    entry["eject_error"] = nullptr;
    entry["media_ejected"] = eject.mediaEjected;
    return;
  }
  entry["eject_error"] = {{"code", EjectErrorCode(eject)}, {"text", EjectReasonText(language, eject)}};
  if (eject.status == platform::EjectResult::Status::InUse) entry["eject_error"]["processes"] = eject.holders;
}

// One card of a write: "root", "outcome", "io_code" (an I/O error's code), "text", "device_compared",
// "also_named" and, where it was ejected, "ejected" and "eject_error".
ordered_json CardEntry(LanguageIndex language, const CardResult& card) {
  ordered_json entry{{"root", card.root}, {"outcome", station::OutcomeCode(card.outcome)}};
  if (card.outcome == CardOutcome::IoError && card.ioCode != 0) entry["io_code"] = card.ioCode;
  entry["text"] = CardText(language, card);
  entry["device_compared"] = card.deviceCompared;
  if (!card.alsoNamed.empty()) entry["also_named"] = card.alsoNamed;
  if (card.eject) AddEject(language, *card.eject, entry);
  return entry;
}

}  // namespace

std::string ListJson(std::span<const std::string> roots) {
  ordered_json document = Document("list", kExitSuccess);
  document["roots"] = roots;
  return Dump(document);
}

std::string WriteJson(LanguageIndex language, std::span<const CardResult> cards, int status) {
  ordered_json document = Document("write", status);
  document["cards"] = ordered_json::array();
  for (const CardResult& card : cards) document["cards"].push_back(CardEntry(language, card));
  return Dump(document);
}

std::string StationCardJson(LanguageIndex language, const CardResult& card, std::string_view time) {
  ordered_json entry = CardEntry(language, card);
  entry["time"] = time;
  return entry.dump(-1, ' ', true, ordered_json::error_handler_t::replace) + "\n";
}

std::string StationPresentJson(LanguageIndex language, std::string_view root, CardVerdict verdict,
                               bool deviceCompared, std::string_view time) {
  const ordered_json entry{{"event", "present"},
                           {"root", root},
                           {"verdict", VerdictCode(verdict)},
                           {"verdict_text", VerdictText(language, verdict)},
                           {"device_compared", deviceCompared},
                           {"time", time}};
  return entry.dump(-1, ' ', true, ordered_json::error_handler_t::replace) + "\n";
}

std::string EjectJson(LanguageIndex language, std::span<const CardResult> cards, int status) {
  ordered_json document = Document("eject", status);
  document["cards"] = ordered_json::array();
  for (const CardResult& card : cards) {
    ordered_json entry{{"root", card.root}};
    if (card.eject) AddEject(language, *card.eject, entry);
    document["cards"].push_back(entry);
  }
  return Dump(document);
}

std::string VerifyJson(LanguageIndex language, std::string_view folder, std::span<const FileReport> files,
                       bool holds, CardVerdict verdict, bool deviceCompared, int status) {
  using Kind = FileFinding::Kind;
  ordered_json document = Document("verify", status);
  document["folder"] = folder;
  document["holds_module"] = holds;
  document["text"] = Text(language, holds ? CliText::ModuleFound : CliText::ModuleNotFound);
  document["verdict"] = VerdictCode(verdict);
  document["verdict_text"] = VerdictText(language, verdict);
  document["device_compared"] = deviceCompared;
  document["files"] = ordered_json::array();
  for (const FileReport& file : files) {
    const FileFinding& finding = file.finding;
    ordered_json entry{{"name", file.image->fileName},
                       {"finding", FindingCode(finding, file.path)},
                       {"image_size", file.image->length}};
    switch (finding.kind) {
      case Kind::Identical:
      case Kind::Differs:
        entry["size"] = file.image->length;
        break;
      case Kind::Shorter:
        entry["size"] = finding.bytesRead;
        break;
      case Kind::Longer:
        if (file.path.kind == platform::PathInfo::Kind::RegularFile) entry["size"] = file.path.size;
        break;
      case Kind::Missing:
      case Kind::Unreadable:
        break;
    }
    if (finding.kind == Kind::Unreadable) {
      entry["io_code"] = finding.errorCode;
    } else if (finding.kind != Kind::Missing) {
      entry["differing_bytes"] = finding.differingBytes;
      if (finding.differingBytes != 0) entry["first_difference"] = finding.firstDifference;
    }
    if (file.checksum && file.checksum->errorCode == 0) {
      entry["intact"] = file.checksum->intact;
    } else if (file.checksum) {
      entry["io_code"] = file.checksum->errorCode;
    }
    entry["text"] = DescribeFinding(language, *file.image, finding, file.path, file.checksum);
    document["files"].push_back(entry);
  }
  return Dump(document);
}

std::string ContentsJson(LanguageIndex language) {
  ordered_json document = Document("contents", kExitSuccess);
  document["header"] = Text(language, Msg::VersionsHeader);
  document["sets"] = ordered_json::array();
  for (const ImageSet set : {ImageSetA, ImageSetB}) {
    document["sets"].push_back(
        {{"label", ComposeVersionLabel(set)}, {"text", ComposeSetLine(language, set)}});
  }
  return Dump(document);
}

void PrintJson(Environment& environment, const std::string& document) {
  if (!environment.testFirmware) {
    environment.console.Write(platform::Console::Stream::Out, document);
    return;
  }
  ordered_json parsed = ordered_json::parse(document);
  parsed["test_firmware"] = true;
  // The station's objects stand on one line each.
  const bool oneLine = document.find('\n') + 1 == document.size();
  environment.console.Write(
      platform::Console::Stream::Out,
      oneLine ? parsed.dump(-1, ' ', true, ordered_json::error_handler_t::replace) + "\n" : Dump(parsed));
}

std::string VersionJson(std::string_view version) {
  ordered_json document = Document("version", kExitSuccess);
  document["program"] = "scaleboot-cli";
  document["version"] = version;
  return Dump(document);
}

std::string ErrorJson(std::string_view command, std::string_view code, std::string_view text, int status,
                      std::span<const std::string> removableRoots) {
  ordered_json document = Document(command, status);
  document["error"] = {{"code", code}, {"text", text}};
  if (code == "not-removable") document["error"]["removable_roots"] = removableRoots;
  return Dump(document);
}

}  // namespace scaleboot::cli
