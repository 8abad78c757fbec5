// The command line of scaleboot-cli: a command, its one argument, and options that may stand anywhere.
#pragma once
#include <optional>
#include <span>
#include <string>

#include "main/cli/CliTexts.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

enum class Command { None, List, Write, Verify, Contents, Help, Version };

struct CommandLine {
  Command command = Command::None;
  std::string root;  // the argument of write and verify
  bool quiet = false;
  std::optional<LanguageIndex> language;  // --lang, when given and valid
  // A usage error: the text to show (already in the language of the line), empty when the line is sound.
  std::string error;
};

// Parses the arguments after the program's name. `defaultLanguage` words an error met before any --lang.
// --help and --version win over everything else except a bad --lang value; "--" ends the options.
CommandLine ParseCommandLine(std::span<const std::string> arguments, LanguageIndex defaultLanguage);

}  // namespace scaleboot::cli
