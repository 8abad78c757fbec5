// The command line's words in one table: its commands, its options with the commands and systems each applies
// to, the JSON error codes and the exit statuses, in English and Russian. --help is printed from it, the
// refusals take their codes and statuses from it, and the hand-written documents are checked against it.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ui/MessageTable.h"
#include "ui/Words.h"

namespace scaleboot::cli {

enum class Command { None, List, Write, Verify, Contents, Help, Version, Eject, Station };

// Exit statuses.
inline constexpr int kExitSuccess = 0;   // written and verified, or the folder holds exactly the module
inline constexpr int kExitMismatch = 1;  // a byte read back differed, or the folder does not hold the module
inline constexpr int kExitUsage = 2;    // a usage error, a root that is not a removable drive, no such folder
inline constexpr int kExitIoError = 3;  // a file operation failed
inline constexpr int kExitCorrupt = 4;  // an embedded image failed its checksum test

using scaleboot::Words;

enum class Systems : std::uint8_t { Both, Linux, Windows };

// A command as typed; one command may have several rows (write ROOT..., write --all).
struct CommandWords {
  Command command;
  std::string_view name;
  Words arguments;  // after the name in the synopsis: "ROOT [ROOT...]"
  Words description;
};

// One bit per Command.
using CommandSet = std::uint32_t;
constexpr CommandSet Bit(Command command) {
  return CommandSet{1} << static_cast<unsigned>(command);
}
inline constexpr CommandSet kEveryCommand = ~CommandSet{0};

struct OptionWords {
  std::string_view shortName;  // "-q", or empty
  std::string_view longName;   // "--quiet"
  Words value;                 // "FILE", or empty for a switch
  CommandSet commands;         // the commands it goes with
  Systems systems;
  Words description;
};

// The codes of "error" in a JSON document of a command refused before its work.
enum class ErrorCode : std::uint8_t {
  Usage,
  NotRemovable,
  SystemDisk,
  NoRemovableDrive,
  NoSuchFolder,
  NotAFolder,
  LogUnopenable,
  IoError,
  CorruptImages,
};

struct ErrorCodeWords {
  ErrorCode code;
  std::string_view name;  // "not-removable"
  int status;
  Words description;
};

struct StatusWords {
  int status;
  Words description;
};

std::span<const CommandWords> CommandTable();
std::span<const OptionWords> OptionTable();
std::span<const ErrorCodeWords> ErrorCodeTable();
std::span<const StatusWords> StatusTable();

const ErrorCodeWords& ErrorCodeRow(ErrorCode code);

// What --help prints: every command, option, exit status and error code; or, for a command, that command's
// synopsis, description, options and the exit statuses. Every line fits kHelpColumns characters.
inline constexpr std::size_t kHelpColumns = 80;
std::string HelpText(LanguageIndex language, Command command = Command::None);

// `text` broken into lines of at most `columns` characters; `left` (a term) stands at the start of the first
// line and the text from `indent` on, and on every line after. A term too long for the indent has a line of
// its own.
std::string Wrapped(std::string_view left, std::string_view text, std::size_t indent,
                    std::size_t columns = kHelpColumns);

}  // namespace scaleboot::cli
