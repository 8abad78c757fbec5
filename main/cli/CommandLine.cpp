#include "main/cli/CommandLine.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "ui/Words.h"

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

// The row of the option `arg` names: its long or short name, or "--name=VALUE" for one that takes a value
// (the value then in `value`).
const OptionWords* FindOption(std::string_view arg, std::optional<std::string_view>& value) {
  for (const OptionWords& option : OptionTable()) {
    if (arg == option.longName || (!option.shortName.empty() && arg == option.shortName)) return &option;
    const std::string_view name = option.longName;
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
      value = arg.substr(name.size() + 1);
      return &option;
    }
  }
  return nullptr;
}

// Sets what a switch (an option without a value) asks for.
void Switch(CommandLine& line, std::string_view name, bool& help, bool& version) {
  bool* const switches[] = {&line.quiet, &help,       &version,       &line.json,
                            &line.all,   &line.eject, &line.powerOff, &line.noEject};
  constexpr std::string_view kNames[] = {"--quiet", "--help",  "--version",   "--json",
                                         "--all",   "--eject", "--power-off", "--no-eject"};
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    if (name == kNames[i]) *switches[i] = true;
  }
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
    if (problem.empty()) problem = Filled(Text(line.language.value_or(defaultLanguage), text), {subject});
  };
  // "option '--all' goes with write only", the commands as its row names them.
  auto NotFor = [&](const OptionWords& option) {
    const LanguageIndex language = line.language.value_or(defaultLanguage);
    std::vector<std::string> names;
    for (const CommandEntry& c : kCommands) {
      if ((option.commands & Bit(c.command)) != 0) names.emplace_back(c.name);
    }
    if (problem.empty())
      problem =
          Filled(Text(language, names.size() == 1 ? CliText::OptionForCommand : CliText::OptionForCommands),
                 {option.longName, Listed(language, names)});
  };

  std::vector<const OptionWords*> given;  // in the order given, each once
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string_view> value;
    const OptionWords* option = FindOption(arg, value);
    if (option == nullptr) {
      note(CliText::UnknownOption, arg);
      continue;
    }
    if (std::find(given.begin(), given.end(), option) == given.end()) given.push_back(option);
    if (option->value[0].empty()) {
      if (value) note(CliText::UnexpectedArgument, arg);
      Switch(line, option->longName, help, version);
      continue;
    }
    if (!value && i + 1 == arguments.size()) {
      note(CliText::MissingValue, option->longName);
      continue;
    }
    const std::string_view text = value ? *value : std::string_view(arguments[++i]);
    if (option->longName == "--log") {
      line.logPath = std::string(text);
      if (text.empty()) note(CliText::MissingValue, "--log");
    } else if (const auto language = LanguageNamed(text)) {
      line.language = language;
    } else {
      note(CliText::BadLanguage, text);
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
        line.error = Filled(Text(line.language.value_or(defaultLanguage), CliText::UnknownCommand),
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
      // Each option goes with the commands its row of the table names, as --help says.
      for (const OptionWords* option : given) {
        if ((option->commands & Bit(command->command)) == 0) NotFor(*option);
      }
      if (line.powerOff && command->command == Command::Write && !line.eject) {
        note(CliText::OptionForEjectOnly, "--power-off");
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
