#include "main/cli/CommandLine.h"

#include <array>
#include <utility>
#include <vector>

namespace scaleboot::cli {
namespace {

struct CommandName {
  std::string_view name;
  Command command;
  bool takesRoot;
};

constexpr std::array<CommandName, 4> kCommands{{
    {"list", Command::List, false},
    {"write", Command::Write, true},
    {"verify", Command::Verify, true},
    {"contents", Command::Contents, false},
}};

const CommandName* FindCommand(std::string_view name) {
  for (const CommandName& c : kCommands) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::optional<LanguageIndex> LanguageNamed(std::string_view name) {
  if (name == "en") return kEnglish;
  if (name == "ru") return kRussian;
  return std::nullopt;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string> arguments, LanguageIndex defaultLanguage) {
  CommandLine line;
  bool help = false, version = false, optionsEnded = false;
  std::vector<std::string_view> positional;
  // The first problem found, worded once the language is known.
  std::optional<std::pair<CliText, std::string>> problem;
  auto note = [&problem](CliText text, std::string_view subject) {
    if (!problem) problem.emplace(text, std::string(subject));
  };

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--quiet" || arg == "-q") {
      line.quiet = true;
    } else if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "--lang" || arg.starts_with("--lang=")) {
      std::string_view value;
      if (arg == "--lang") {
        if (i + 1 == arguments.size()) {
          line.error = Format(Text(line.language.value_or(defaultLanguage), CliText::BadLanguage), {""});
          return line;
        }
        value = arguments[++i];
      } else {
        value = arg.substr(7);
      }
      line.language = LanguageNamed(value);
      if (!line.language) {
        line.error = Format(Text(defaultLanguage, CliText::BadLanguage), {value});
        return line;
      }
    } else {
      note(CliText::UnknownOption, arg);
    }
  }

  if (help) {
    line.command = Command::Help;
    return line;
  }
  if (version) {
    line.command = Command::Version;
    return line;
  }
  const LanguageIndex language = line.language.value_or(defaultLanguage);
  if (!problem) {
    if (positional.empty()) {
      note(CliText::MissingCommand, "");
    } else if (const CommandName* command = FindCommand(positional[0])) {
      line.command = command->command;
      const std::size_t wanted = command->takesRoot ? 2 : 1;
      if (positional.size() < wanted) {
        note(CliText::MissingRoot, command->name);
      } else if (positional.size() > wanted) {
        note(CliText::UnexpectedArgument, positional[wanted]);
      } else if (command->takesRoot && positional[1].empty()) {
        note(CliText::MissingRoot, command->name);
      } else if (command->takesRoot) {
        line.root = positional[1];
      }
    } else {
      note(CliText::UnknownCommand, positional[0]);
    }
  }
  if (problem) {
    line.command = Command::None;
    line.error = Format(Text(language, problem->first), {problem->second});
  }
  return line;
}

}  // namespace scaleboot::cli
