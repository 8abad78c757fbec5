#include "main/cli/CliWords.h"

#include <algorithm>

#include "common/Errors.h"
#include "main/cli/CliTexts.h"

namespace scaleboot::cli {
namespace {

constexpr std::array<CommandWords, 8> kCommands{{
    {Command::List,
     "list",
     {"", ""},
     {"list the removable drives, one root a line", "перечислить съёмные диски, по одному корню в строке"}},
    {Command::Write,
     "write",
     {"ROOT [ROOT...]", "КОРЕНЬ [КОРЕНЬ...]"},
     {"write the four module files into the root of each removable drive ROOT, all cards at once, read them "
      "back and report one line per card",
      "записать четыре файла модуля в корень каждого съёмного диска КОРЕНЬ, на все карты сразу, прочитать их "
      "обратно и сообщить по строке на карту"}},
    {Command::Write,
     "write",
     {"--all", "--all"},
     {"the same on every removable drive that list shows",
      "то же на все съёмные диски, которые показывает list"}},
    {Command::Verify,
     "verify",
     {"ROOT", "КОРЕНЬ"},
     {"compare the four files in the folder ROOT with the module; writes nothing. Byte offsets count from 0. "
      "A "
      "file that differs is checked against its own checksum: another version, intact, or damaged",
      "сравнить четыре файла в папке КОРЕНЬ с модулем; ничего не записывает. Байты считаются от 0. "
      "Отличающийся файл проверяется по его собственной контрольной сумме: другая версия без повреждений или "
      "повреждён"}},
    {Command::Contents,
     "contents",
     {"", ""},
     {"show the firmware versions the module holds", "показать версии прошивок в модуле"}},
    {Command::Eject,
     "eject",
     {"ROOT [ROOT...]", "КОРЕНЬ [КОРЕНЬ...]"},
     {"take each removable drive ROOT out of the system so it may be pulled (a card reader stays for the "
      "next "
      "card)",
      "отключить каждый съёмный диск КОРЕНЬ от системы, чтобы его можно было вынуть (устройство чтения карт "
      "остаётся для следующей карты)"}},
    {Command::Station,
     "station",
     {"[ROOT...]", "[КОРЕНЬ...]"},
     {"write every card inserted from now on (only into the readers ROOT), one line and the bell per card; "
      "stop with Ctrl+C",
      "записывать каждую вставленную с этого момента карту (только в картридеры КОРЕНЬ), строка и звонок на "
      "карту; остановка — Ctrl+C"}},
    {Command::Help,
     "help",
     {"[COMMAND]", "[КОМАНДА]"},
     {"show this help, or only that command's part (as COMMAND --help does)",
      "показать эту справку или только часть о команде (как КОМАНДА --help)"}},
}};

constexpr CommandSet kWriteAndStation = Bit(Command::Write) | Bit(Command::Station);

constexpr std::array<OptionWords, 10> kOptions{{
    {"-q",
     "--quiet",
     {"", ""},
     Bit(Command::Write) | Bit(Command::Verify) | Bit(Command::Station),
     Systems::Both,
     {"no progress line", "не показывать ход работы"}},
    {"",
     "--all",
     {"", ""},
     Bit(Command::Write),
     Systems::Both,
     {"write: every removable drive that list shows", "write: все съёмные диски, которые показывает list"}},
    {"",
     "--eject",
     {"", ""},
     Bit(Command::Write),
     Systems::Both,
     {"write: eject each card after its run, whatever its outcome",
      "write: извлечь каждую карту после её записи, каков бы ни был итог"}},
    {"",
     "--power-off",
     {"", ""},
     Bit(Command::Eject) | Bit(Command::Write),
     Systems::Linux,
     {"eject, write --eject: power the drive off too (removes the whole reader, all its slots)",
      "eject, write --eject: ещё и выключить устройство (исчезнет всё устройство чтения, все его гнёзда)"}},
    {"",
     "--json",
     {"", ""},
     kEveryCommand,
     Systems::Both,
     {"print one JSON document on standard output instead of text",
      "вывести вместо текста один документ JSON на стандартный вывод"}},
    {"",
     "--lang",
     {"en|ru", "en|ru"},
     kEveryCommand,
     Systems::Both,
     {"language of the messages (default: the user's locale)",
      "язык сообщений (по умолчанию — язык пользователя)"}},
    {"",
     "--log",
     {"FILE", "ФАЙЛ"},
     kWriteAndStation,
     Systems::Both,
     {"write, station: append one JSON line per card to FILE",
      "write, station: дописывать в ФАЙЛ строку JSON о каждой карте"}},
    {"",
     "--no-eject",
     {"", ""},
     Bit(Command::Station),
     Systems::Both,
     {"station: leave each card in the system after its run", "station: не извлекать карту после записи"}},
    {"-h",
     "--help",
     {"", ""},
     kEveryCommand,
     Systems::Both,
     {"show this help; wins over every other argument and touches no file",
      "показать эту справку; важнее всех прочих аргументов, ни к одному файлу не обращается"}},
    {"-V",
     "--version",
     {"", ""},
     kEveryCommand,
     Systems::Both,
     {"show the program's version; wins over every argument but --help",
      "показать версию программы; важнее всех аргументов, кроме --help"}},
}};

constexpr std::array<ErrorCodeWords, 9> kErrorCodes{{
    {ErrorCode::Usage,
     "usage",
     kExitUsage,
     {"the command line could not be read", "командная строка не разобрана"}},
    {ErrorCode::NotRemovable,
     "not-removable",
     kExitUsage,
     {"a ROOT is not a removable drive (removable_roots lists those there are)",
      "КОРЕНЬ не съёмный диск (removable_roots перечисляет съёмные)"}},
    {ErrorCode::SystemDisk,
     "system-disk",
     kExitUsage,
     {"a ROOT or reader is on the disk the system runs from, which is never a card",
      "КОРЕНЬ или устройство чтения на диске, с которого работает система: он никогда не карта"}},
    {ErrorCode::NoRemovableDrive,
     "no-removable-drive",
     kExitUsage,
     {"write --all found no removable drive", "write --all не нашла съёмных дисков"}},
    {ErrorCode::NoSuchFolder,
     "no-such-folder",
     kExitUsage,
     {"the folder to verify does not exist", "папки для проверки нет"}},
    {ErrorCode::NotAFolder,
     "not-a-folder",
     kExitUsage,
     {"the ROOT to verify is not a folder", "КОРЕНЬ не папка"}},
    {ErrorCode::LogUnopenable,
     "log-unopenable",
     kExitUsage,
     {"the FILE of --log cannot be opened, or is not a regular file",
      "ФАЙЛ из --log не открывается или не обычный файл"}},
    {ErrorCode::IoError,
     "io-error",
     kExitIoError,
     {"an I/O error ended the command", "команду прервала ошибка ввода-вывода"}},
    {ErrorCode::CorruptImages,
     "corrupt-images",
     kExitCorrupt,
     {"the module's embedded data is corrupted", "встроенные данные модуля повреждены"}},
}};

constexpr std::array<StatusWords, 5> kStatuses{{
    {kExitSuccess,
     {"success: every card written and verified, or the folder holds exactly the module",
      "успех: каждая карта записана и проверена, или в папке в точности этот модуль"}},
    {kExitMismatch, {"verification mismatch", "при проверке найдены отличия"}},
    {kExitUsage,
     {"usage error, a ROOT that is not a removable drive, no removable drive for --all, a folder that does "
      "not "
      "exist, or a log that cannot be opened; nothing was read or written",
      "ошибка в командной строке, КОРЕНЬ не съёмный диск, для --all нет съёмных дисков, папки нет или журнал "
      "не открывается; ничего не прочитано и не записано"}},
    {kExitIoError, {"I/O error", "ошибка ввода-вывода"}},
    {kExitCorrupt, {"the module's embedded data is corrupted", "встроенные данные модуля повреждены"}},
}};

constexpr Words kUsage{"Usage: scaleboot-cli COMMAND [OPTIONS]",
                       "Использование: scaleboot-cli КОМАНДА [ПАРАМЕТРЫ]"};
constexpr Words kUsageOf{"Usage: scaleboot-cli", "Использование: scaleboot-cli"};
constexpr Words kOptionsWord{"[OPTIONS]", "[ПАРАМЕТРЫ]"};
constexpr Words kPurpose{"Prepares a memory card for updating the firmware of weighing scales.",
                         "Готовит карту памяти для обновления программного обеспечения весов."};
constexpr Words kCommandsHeader{"Commands:", "Команды:"};
constexpr Words kOptionsHeader{"Options (before or after the command):", "Параметры (до или после команды):"};
constexpr Words kLinuxOnly{"(Linux only)", "(только Linux)"};
constexpr Words kWindowsOnly{"(Windows only)", "(только Windows)"};
constexpr Words kOutputNote{
    "Results go to standard output (verify's findings too, whatever the status); error messages and the "
    "progress line to standard error. In Windows PowerShell 5.1, run "
    "[Console]::OutputEncoding = [Text.Encoding]::UTF8 before capturing the output.",
    "Результаты идут на стандартный вывод (и находки verify, каков бы ни был код завершения); сообщения об "
    "ошибках и ход работы — на стандартный вывод ошибок. В Windows PowerShell 5.1 выполните "
    "[Console]::OutputEncoding = [Text.Encoding]::UTF8, прежде чем забирать вывод."};
constexpr Words kStatusHeader{"Exit status (when several apply, 4 wins over 3, 3 over 1):",
                              "Код завершения (если подходят несколько, 4 важнее 3, 3 важнее 1):"};
constexpr Words kEjectNote{
    "eject: 0 when every drive was ejected, 3 when one was not, 2 for a ROOT that is not a removable drive "
    "(nothing ejected). write --eject: the status says what the card holds; a failed eject does not change "
    "it.",
    "eject: 0, если извлечены все диски, 3, если какой-то нет, 2 для КОРНЯ, который не съёмный диск (ничего "
    "не "
    "извлечено). write --eject: код говорит, что на карте; неудачное извлечение его не меняет."};
constexpr Words kCodesHeader{"JSON error codes (\"error\": {\"code\": ...}, with --json):",
                             "Коды ошибок JSON (\"error\": {\"code\": ...}, с --json):"};
constexpr Words kCommandHelpNote{
    "'scaleboot-cli help COMMAND' or 'scaleboot-cli COMMAND --help' shows one command.",
    "'scaleboot-cli help КОМАНДА' или 'scaleboot-cli КОМАНДА --help' — об одной команде."};

std::string OptionTerm(const OptionWords& option, LanguageIndex language) {
  std::string term = option.shortName.empty() ? "    " : std::string(option.shortName) + ", ";
  term += option.longName;
  if (!In(language, option.value).empty()) term += " " + std::string(In(language, option.value));
  return "  " + term;
}

std::string OptionDescription(const OptionWords& option, LanguageIndex language) {
  std::string text(In(language, option.description));
  if (option.systems == Systems::Linux) text += " " + std::string(In(language, kLinuxOnly));
  if (option.systems == Systems::Windows) text += " " + std::string(In(language, kWindowsOnly));
  return text;
}

std::string CommandTerm(const CommandWords& command, LanguageIndex language) {
  std::string term = "  " + std::string(command.name);
  if (!In(language, command.arguments).empty()) term += " " + std::string(In(language, command.arguments));
  return term;
}

// The column where descriptions start: two blanks after the longest term, so that they line up.
std::size_t DescriptionColumn(LanguageIndex language) {
  std::size_t width = 0;
  for (const CommandWords& command : kCommands)
    width = std::max(width, Characters(CommandTerm(command, language)));
  for (const OptionWords& option : kOptions)
    width = std::max(width, Characters(OptionTerm(option, language)));
  return width + 2;
}

void AppendOptions(std::string& out, LanguageIndex language, CommandSet commands, std::size_t column) {
  out += std::string(In(language, kOptionsHeader)) + "\n";
  for (const OptionWords& option : kOptions) {
    if ((option.commands & commands) != 0)
      out += Wrapped(OptionTerm(option, language), OptionDescription(option, language), column);
  }
}

void AppendStatuses(std::string& out, LanguageIndex language, bool ejectNote) {
  out += std::string(In(language, kStatusHeader)) + "\n";
  for (const StatusWords& status : kStatuses)
    out += Wrapped("  " + std::to_string(status.status), In(language, status.description), 5);
  if (ejectNote) out += Wrapped("", In(language, kEjectNote), 0);
}

}  // namespace

std::span<const CommandWords> CommandTable() {
  return kCommands;
}
std::span<const OptionWords> OptionTable() {
  return kOptions;
}
std::span<const ErrorCodeWords> ErrorCodeTable() {
  return kErrorCodes;
}
std::span<const StatusWords> StatusTable() {
  return kStatuses;
}

const ErrorCodeWords& ErrorCodeRow(ErrorCode code) {
  for (const ErrorCodeWords& row : kErrorCodes) {
    if (row.code == code) return row;
  }
  throw RangeError();
}

std::string Wrapped(std::string_view left, std::string_view text, std::size_t indent, std::size_t columns) {
  std::string out;
  std::string line(left);
  if (Characters(line) + 2 > indent && !line.empty()) {
    out += line + "\n";
    line.clear();
  }
  line.append(indent - Characters(line), ' ');
  bool wordOnLine = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (word.empty()) continue;
    if (wordOnLine && Characters(line) + 1 + Characters(word) > columns) {
      out += line + "\n";
      line.assign(indent, ' ');
      wordOnLine = false;
    }
    if (wordOnLine) line += ' ';
    line += word;
    wordOnLine = true;
  }
  return out + line + "\n";
}

std::string HelpText(LanguageIndex language, Command command) {
  if (language >= kLanguageCount) throw RangeError();
  const std::size_t column = DescriptionColumn(language);
  std::string out;
  if (command == Command::None) {
    out += std::string(In(language, kUsage)) + "\n" + std::string(In(language, kPurpose)) + "\n\n";
    out += std::string(In(language, kCommandsHeader)) + "\n";
    for (const CommandWords& row : kCommands)
      out += Wrapped(CommandTerm(row, language), In(language, row.description), column);
    out += "\n";
    AppendOptions(out, language, kEveryCommand, column);
    out += "\n" + Wrapped("", In(language, kOutputNote), 0) + "\n";
    AppendStatuses(out, language, true);
    out += "\n" + std::string(In(language, kCodesHeader)) + "\n";
    std::size_t codeColumn = 0;
    for (const ErrorCodeWords& code : kErrorCodes) codeColumn = std::max(codeColumn, code.name.size() + 4);
    for (const ErrorCodeWords& code : kErrorCodes) {
      out += Wrapped("  " + std::string(code.name),
                     std::string(In(language, code.description)) + " (" + std::to_string(code.status) + ")",
                     codeColumn);
    }
    return out + "\n" + Wrapped("", In(language, kCommandHelpNote), 0);
  }
  for (const CommandWords& row : kCommands) {
    if (row.command != command) continue;
    std::string synopsis = std::string(In(language, kUsageOf)) + " " + std::string(row.name);
    if (!In(language, row.arguments).empty()) synopsis += " " + std::string(In(language, row.arguments));
    out += Wrapped("", synopsis + " " + std::string(In(language, kOptionsWord)), 0);
  }
  for (const CommandWords& row : kCommands) {
    if (row.command == command) out += Wrapped("", In(language, row.description), 2);
  }
  out += "\n";
  AppendOptions(out, language, Bit(command), column);
  out += "\n";
  AppendStatuses(out, language, command == Command::Eject || command == Command::Write);
  return out;
}

}  // namespace scaleboot::cli
