// The JSON documents of --json: one per run, on standard output. Keys are English and stable (the manual page
// lists them); texts meant for people stand beside the codes in the chosen language. Every document is ASCII:
// other characters are written as \u escapes, so it reads the same whatever code page a reader assumes.
#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "card/BootModuleWriter.h"
#include "card/OwnChecksum.h"
#include "images/FirmwareImages.h"
#include "main/cli/BatchWrite.h"
#include "platform/Platform.h"
#include "ui/MessageTable.h"
#include "ui/StationTexts.h"

namespace scaleboot::cli {

// One file of verify's report.
struct FileReport {
  const FirmwareImage* image = nullptr;
  FileFinding finding;
  platform::PathInfo path;  // what the file's path names, where verify looked (Unknown where it did not)
  std::optional<OwnChecksum> checksum{};  // its own checksum, where it was read
};

// Each document has "command" (null for a command line that could not be read) and "exit_status".
std::string ListJson(std::span<const std::string> roots);
std::string WriteJson(LanguageIndex language, std::span<const CardResult> cards, int status);
// One card of the station as it ends: write's keys for the card and its UTC "time", compact, on one line.
std::string StationCardJson(LanguageIndex language, const CardResult& card, std::string_view time);
// One line for a card the station found at its start and left alone: "event": "present", "root", verify's
// "verdict" and "verdict_text", "device_compared", "time".
std::string StationPresentJson(LanguageIndex language, std::string_view root, CardVerdict verdict,
                               bool deviceCompared, std::string_view time);
// `holds`: whether the folder holds the module (every file identical); `verdict`: what it holds as a whole;
// `deviceCompared`: whether every file read was compared past the system's cache.
std::string VerifyJson(LanguageIndex language, std::string_view folder, std::span<const FileReport> files,
                       bool holds, CardVerdict verdict, bool deviceCompared, int status);
std::string ContentsJson(LanguageIndex language);
// eject: "cards" with "root", "ejected" and "eject_error" per card.
std::string EjectJson(LanguageIndex language, std::span<const CardResult> cards, int status);
std::string VersionJson(std::string_view version);
struct Environment;
// Writes `document` (one of these documents or objects) to standard output; a test build's says
// "test_firmware": true. Every JSON document and object the program prints leaves it through here.
void PrintJson(Environment& environment, const std::string& document);

// A run that ended before its command could do its work: "error" holds a stable "code" and the "text" printed
// on standard error; "removable_roots" lists the removable drives when a root was not one of them.
std::string ErrorJson(std::string_view command, std::string_view code, std::string_view text, int status,
                      std::span<const std::string> removableRoots = {});

}  // namespace scaleboot::cli
