#include "main/cli/CommandLine.h"

#include <array>
#include <utility>
#include <vector>

namespace scaleboot::cli {
namespace {

struct CommandEntry {
  std::string_view name;
  Command command;
  std::size_t minRoots, maxRoots;
};

constexpr std::size_t kAnyNumber = static_cast<std::size_t>(-1);

constexpr std::array<CommandEntry, 6> kCommands{{
    {"list", Command::List, 0, 0},
    {"write", Command::Write, 1, kAnyNumber},
    {"verify", Command::Verify, 1, 1},
    {"contents", Command::Contents, 0, 0},
    {"eject", Command::Eject, 1, kAnyNumber},
    {"station", Command::Station, 0, kAnyNumber},
}};

const CommandEntry* FindCommand(std::string_view name) {
  for (const CommandEntry& c : kCommands) {
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

std::string_view CommandName(Command command) {
  for (const CommandEntry& c : kCommands) {
    if (c.command == command) return c.name;
  }
  return "";
}

CommandLine ParseCommandLine(std::span<const std::string> arguments, LanguageIndex defaultLanguage) {
  CommandLine line;
  bool help = false, version = false, optionsEnded = false;
  std::vector<std::string_view> positional;
  // The first problem found, worded in the language chosen when it was found.
  std::string problem;
  auto note = [&](CliText text, std::string_view subject) {
    if (problem.empty()) problem = Format(Text(line.language.value_or(defaultLanguage), text), {subject});
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
    } else if (arg == "--version" || arg == "-V") {
      version = true;
    } else if (arg == "--json") {
      line.json = true;
    } else if (arg == "--all") {
      line.all = true;
    } else if (arg == "--eject") {
      line.eject = true;
    } else if (arg == "--power-off") {
      line.powerOff = true;
    } else if (arg == "--no-eject") {
      line.noEject = true;
    } else if (arg == "--log" && i + 1 == arguments.size()) {
      note(CliText::MissingValue, "--log");
    } else if (arg == "--log" || arg.starts_with("--log=")) {
      line.logPath = arg == "--log" ? arguments[++i] : std::string(arg.substr(6));
      if (line.logPath.empty()) note(CliText::MissingValue, "--log");
    } else if (arg == "--lang" && i + 1 == arguments.size()) {
      note(CliText::MissingValue, "--lang");
    } else if (arg == "--lang" || arg.starts_with("--lang=")) {
      const std::string_view value = arg == "--lang" ? std::string_view(arguments[++i]) : arg.substr(7);
      if (const auto language = LanguageNamed(value)) {
        line.language = language;
      } else {
        note(CliText::BadLanguage, value);
      }
    } else {
      note(CliText::UnknownOption, arg);
    }
  }

  // "help" as the command is --help; a command named before or after it narrows the help to that command.
  const bool helpCommand = !positional.empty() && positional[0] == "help";
  if (help || helpCommand) {
    line.command = Command::Help;
    const std::size_t topic = helpCommand ? 1 : 0;
    if (positional.size() > topic) {
      if (const CommandEntry* command = FindCommand(positional[topic])) {
        line.helpTopic = command->command;
      } else if (helpCommand && positional[topic] == "help") {
        line.helpTopic = Command::Help;
      } else if (helpCommand && !help) {
        line.command = Command::None;
        line.error = Format(Text(line.language.value_or(defaultLanguage), CliText::UnknownCommand),
                            {positional[topic]});
      }
    }
    return line;
  }
  if (version) {
    line.command = Command::Version;
    return line;
  }
  if (problem.empty()) {
    if (positional.empty()) {
      note(CliText::MissingCommand, "");
    } else if (const CommandEntry* command = FindCommand(positional[0])) {
      line.command = command->command;
      line.roots.assign(positional.begin() + 1, positional.end());
      const bool all = line.all && command->command == Command::Write;
      const std::size_t minRoots = all ? 0 : command->minRoots, maxRoots = all ? 0 : command->maxRoots;
      const bool writes = command->command == Command::Write || command->command == Command::Station;
      if (line.all && command->command != Command::Write) {
        note(CliText::OptionForWriteOnly, "--all");
      } else if (line.eject && command->command != Command::Write) {
        note(CliText::OptionForWriteOnly, "--eject");
      } else if (line.powerOff && command->command != Command::Eject && !line.eject) {
        note(CliText::OptionForEjectOnly, "--power-off");
      } else if (!line.logPath.empty() && !writes) {
        note(CliText::OptionForWriteAndStation, "--log");
      } else if (line.noEject && command->command != Command::Station) {
        note(CliText::OptionForStation, "--no-eject");
      } else if (line.roots.size() < minRoots) {
        note(CliText::MissingRoot, command->name);
      } else if (line.roots.size() > maxRoots) {
        note(CliText::UnexpectedArgument, line.roots[maxRoots]);
      } else {
        for (const std::string& root : line.roots) {
          if (root.empty()) note(CliText::MissingRoot, command->name);
        }
      }
    } else {
      note(CliText::UnknownCommand, positional[0]);
    }
  }
  if (!problem.empty()) {
    line.command = Command::None;
    line.roots.clear();
    line.error = problem;
  }
  return line;
}

}  // namespace scaleboot::cli
