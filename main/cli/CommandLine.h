// The command line of scaleboot-cli: a command, its arguments, and options that may stand anywhere.
#pragma once
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "main/cli/CliTexts.h"
#include "main/cli/CliWords.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

struct CommandLine {
  Command command = Command::None;
  // Help: the command whose part to show (help COMMAND, COMMAND --help); None for the whole help.
  Command helpTopic = Command::None;
  std::vector<std::string> roots;  // write: one or more (none with --all); verify: exactly one
  bool all = false;                // write --all: every removable drive
  bool eject = false;              // write --eject: eject each card still there after its run
  bool powerOff = false;           // eject, write --eject: power the drive off as well
  bool quiet = false;
  bool json = false;
  bool noEject = false;  // station --no-eject: the cards stay in the system after their runs
  std::string logPath;   // write and station --log FILE: one line appended per card; empty without
  std::optional<LanguageIndex> language;  // the last valid --lang
  // A usage error: the text to show, in the language chosen before the argument that caused it (for an error
  // found only once every argument is read, the line's language); empty when the line is sound.
  std::string error;
};

// Parses the arguments after the program's name; `defaultLanguage` is the language before any --lang.
// --help (and "help" as the command) wins over every other argument, --version over everything but --help;
// "--" ends the options.
CommandLine ParseCommandLine(std::span<const std::string> arguments, LanguageIndex defaultLanguage);

// The name of a command as typed ("write"); empty for None, Help and Version.
std::string_view CommandName(Command command);

}  // namespace scaleboot::cli
