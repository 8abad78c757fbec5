#include "main/cli/CliTexts.h"

#include <algorithm>
#include <array>

#include "common/Errors.h"
#include "ui/StationTexts.h"

namespace scaleboot::cli {
namespace {

constexpr std::size_t kTextCount = static_cast<std::size_t>(CliText::CacheOnly) + 1;

constexpr std::array<std::string_view, kTextCount> kEnglishTexts{
    // Usage
    "Usage: scaleboot-cli COMMAND [OPTIONS]\n"
    "Prepares a memory card for updating the firmware of weighing scales.\n"
    "\n"
    "Commands:\n"
    "  list                  list the removable drives, one root a line\n"
    "  write ROOT [ROOT...]  write the four module files into the root of each removable drive ROOT,\n"
    "                        all cards at once, read them back and report one line per card\n"
    "  write --all           the same on every removable drive that list shows\n"
    "  verify ROOT           compare the four files in the folder ROOT with the module; writes nothing.\n"
    "                        Byte offsets count from 0. A file that differs is checked against its own\n"
    "                        checksum: another version, intact, or damaged\n"
    "  contents              show the firmware versions the module holds\n"
    "  eject ROOT [ROOT...]  take each removable drive ROOT out of the system so it may be pulled\n"
    "                        (a card reader stays for the next card)\n"
    "  station [ROOT...]     write every card inserted from now on (only into the readers ROOT),\n"
    "                        one line and the bell per card; stop with Ctrl+C\n"
    "\n"
    "Options (before or after the command):\n"
    "  -q, --quiet           no progress line\n"
    "      --eject           write: eject each card after its run, whatever its outcome\n"
    "      --power-off       eject: power the drive off too (removes the whole reader, all its slots)\n"
    "      --json            print one JSON document on standard output instead of text\n"
    "      --lang en|ru      language of the messages (default: the user's locale)\n"
    "      --log FILE        write, station: append one JSON line per card to FILE\n"
    "      --no-eject        station: leave each card in the system after its run\n"
    "  -h, --help            show this help; wins over every other argument\n"
    "  -V, --version         show the program's version\n"
    "\n"
    "Results go to standard output (verify's findings too, whatever the status); error messages\n"
    "and the progress line to standard error. In Windows PowerShell 5.1, run\n"
    "[Console]::OutputEncoding = [Text.Encoding]::UTF8 before capturing the output.\n"
    "\n"
    "Exit status (when several apply, 4 wins over 3, 3 over 1):\n"
    "  0  success: every card written and verified, or the folder holds exactly the module\n"
    "  1  verification mismatch\n"
    "  2  usage error, a ROOT that is not a removable drive, no removable drive for --all, or a\n"
    "     folder that does not exist; nothing was read or written\n"
    "  3  I/O error\n"
    "  4  the module's embedded data is corrupted\n"
    "eject: 0 when every drive was ejected, 3 when one was not, 2 for a ROOT that is not a removable\n"
    "drive (nothing ejected). write --eject: the status says what the card holds; a failed eject\n"
    "does not change it.\n",
    // TryHelp
    "Try 'scaleboot-cli --help'.",
    // UnknownOption
    "unknown option '{}'",
    // UnknownCommand
    "unknown command '{}'",
    // MissingCommand
    "no command given",
    // MissingRoot
    "'{}' needs a drive root or folder",
    // UnexpectedArgument
    "unexpected argument '{}'",
    // BadLanguage
    "--lang takes en or ru, not '{}'",
    // NotRemovable
    "'{}' is not a removable drive; nothing was written.",
    // RemovableDrives
    "Removable drives: {}",
    // NoRemovableDrives
    "No removable drive is connected.",
    // Writing
    "Writing",
    // Verifying
    "Verifying",
    // FileIdentical
    "{}: identical",
    // FileDiffers
    "{}: differs at byte {} (differing bytes: {})",
    // FileShorter
    "{}: shorter than the image ({} of {} bytes)",
    // FileLonger
    "{}: longer than the image (the image's {} bytes and more)",
    // FileMissing
    "{}: missing",
    // FileUnreadable
    "{}: cannot be read: {}",
    // ModuleFound
    "The folder holds this module.",
    // ModuleNotFound
    "The folder does not hold this module.",
    // MissingValue
    "option '{}' requires an argument",
    // OptionForWriteOnly
    "option '{}' goes with write only",
    // NoSuchFolder
    "the folder '{}' does not exist; nothing was read.",
    // NotAFolder
    "'{}' is not a folder; nothing was read.",
    // FileLongerBy
    "{}: longer than the image ({} bytes instead of {})",
    // AlsoDiffers
    ", and differs at byte {} (differing bytes: {})",
    // FileSymbolicLink
    "{}: cannot be read: a symbolic link",
    // FileNotRegular
    "{}: cannot be read: not a regular file",
    // ProgressDone
    "done",
    // ProgressFailed
    "failed",
    // OutputFailed
    "cannot write to standard output",
    // FileIntactOtherVersion
    "; another version, intact",
    // FileDamaged
    "; damaged: its checksum does not hold",
    // ChecksumUnreadable
    "; its checksum cannot be read: {}",
    // VerdictThisModule
    "Verdict: the card holds this module.",
    // VerdictOtherVersion
    "Verdict: the card holds an intact module of another version.",
    // VerdictDamaged
    "Verdict: the card is damaged or incomplete.",
    // VerdictNoModule
    "Verdict: the card holds no module.",
    // OptionForEjectOnly
    "option '{}' goes with eject or write --eject only",
    // NotRemovableEject
    "'{}' is not a removable drive; nothing was ejected.",
    // SafeToRemove
    "{}: safe to remove",
    // CouldNotEject
    "{}: could not eject: {}",
    // SameCard: the roots of one card, all but the last joined by ", ", then the last
    "{} and {} are the same card",
    // OptionForStation
    "option '{}' goes with station only",
    // OptionForWriteAndStation
    "option '{}' goes with write and station only",
    // LogUnopenable
    "cannot open the log '{}': {}; nothing was written.",
    // CacheOnly
    "Note: this card's file system reads only through the system's cache, so the check could not reach "
    "past it: the bytes compared may have come from memory.",
};

constexpr std::array<std::string_view, kTextCount> kRussianTexts{
    // Usage
    "Использование: scaleboot-cli КОМАНДА [ПАРАМЕТРЫ]\n"
    "Готовит карту памяти для обновления программного обеспечения весов.\n"
    "\n"
    "Команды:\n"
    "  list                      перечислить съёмные диски, по одному корню в строке\n"
    "  write КОРЕНЬ [КОРЕНЬ...]  записать четыре файла модуля в корень каждого съёмного диска КОРЕНЬ,\n"
    "                            на все карты сразу, прочитать их обратно и сообщить по строке на карту\n"
    "  write --all               то же на все съёмные диски, которые показывает list\n"
    "  verify КОРЕНЬ             сравнить четыре файла в папке КОРЕНЬ с модулем; ничего не записывает.\n"
    "                            Байты считаются от 0. Отличающийся файл проверяется по его собственной\n"
    "                            контрольной сумме: другая версия без повреждений или повреждён\n"
    "  contents                  показать версии прошивок в модуле\n"
    "  eject КОРЕНЬ [КОРЕНЬ...]  отключить каждый съёмный диск КОРЕНЬ от системы, чтобы его можно было\n"
    "                            вынуть (устройство чтения карт остаётся для следующей карты)\n"
    "  station [КОРЕНЬ...]       записывать каждую вставленную с этого момента карту (только в\n"
    "                            картридеры КОРЕНЬ), строка и звонок на карту; остановка — Ctrl+C\n"
    "\n"
    "Параметры (до или после команды):\n"
    "  -q, --quiet               не показывать ход работы\n"
    "      --eject               write: извлечь каждую карту после её записи, каков бы ни был итог\n"
    "      --power-off           eject: ещё и выключить устройство (исчезнет всё устройство чтения,\n"
    "                            все его гнёзда)\n"
    "      --json                вывести вместо текста один документ JSON на стандартный вывод\n"
    "      --lang en|ru          язык сообщений (по умолчанию — язык пользователя)\n"
    "      --log ФАЙЛ            write, station: дописывать в ФАЙЛ строку JSON о каждой карте\n"
    "      --no-eject            station: не извлекать карту после записи\n"
    "  -h, --help                показать эту справку; важнее всех прочих аргументов\n"
    "  -V, --version             показать версию программы\n"
    "\n"
    "Результаты идут на стандартный вывод (и находки verify, каков бы ни был код завершения);\n"
    "сообщения об ошибках и ход работы — на стандартный вывод ошибок. В Windows PowerShell 5.1\n"
    "выполните [Console]::OutputEncoding = [Text.Encoding]::UTF8, прежде чем забирать вывод.\n"
    "\n"
    "Код завершения (если подходят несколько, 4 важнее 3, 3 важнее 1):\n"
    "  0  успех: каждая карта записана и проверена, или в папке в точности этот модуль\n"
    "  1  при проверке найдены отличия\n"
    "  2  ошибка в командной строке, КОРЕНЬ не съёмный диск, для --all нет съёмных дисков\n"
    "     или папки нет; ничего не прочитано и не записано\n"
    "  3  ошибка ввода-вывода\n"
    "  4  встроенные данные модуля повреждены\n"
    "eject: 0, если извлечены все диски, 3, если какой-то нет, 2 для КОРНЯ, который не съёмный диск\n"
    "(ничего не извлечено). write --eject: код говорит, что на карте; неудачное извлечение его\n"
    "не меняет.\n",
    // TryHelp
    "Справка: 'scaleboot-cli --help'.",
    // UnknownOption
    "неизвестный параметр '{}'",
    // UnknownCommand
    "неизвестная команда '{}'",
    // MissingCommand
    "не указана команда",
    // MissingRoot
    "команде '{}' нужен корень диска или папка",
    // UnexpectedArgument
    "лишний аргумент '{}'",
    // BadLanguage
    "--lang принимает en или ru, а не '{}'",
    // NotRemovable
    "'{}' не съёмный диск; ничего не записано.",
    // RemovableDrives
    "Съёмные диски: {}",
    // NoRemovableDrives
    "Съёмные диски не подключены.",
    // Writing
    "Запись",
    // Verifying
    "Проверка",
    // FileIdentical
    "{}: совпадает",
    // FileDiffers
    "{}: отличается в байте {} (отличающихся байтов: {})",
    // FileShorter
    "{}: короче образа ({} из {} байтов)",
    // FileLonger
    "{}: длиннее образа ({} байтов образа и ещё)",
    // FileMissing
    "{}: отсутствует",
    // FileUnreadable
    "{}: не читается: {}",
    // ModuleFound
    "В папке в точности этот модуль.",
    // ModuleNotFound
    "В папке нет этого модуля.",
    // MissingValue
    "параметру '{}' нужно значение",
    // OptionForWriteOnly
    "параметр '{}' только для команды write",
    // NoSuchFolder
    "папки '{}' нет; ничего не прочитано.",
    // NotAFolder
    "'{}' не папка; ничего не прочитано.",
    // FileLongerBy
    "{}: длиннее образа ({} байтов вместо {})",
    // AlsoDiffers
    ", и отличается в байте {} (отличающихся байтов: {})",
    // FileSymbolicLink
    "{}: не читается: символическая ссылка",
    // FileNotRegular
    "{}: не читается: не обычный файл",
    // ProgressDone
    "готово",
    // ProgressFailed
    "ошибка",
    // OutputFailed
    "не удаётся писать в стандартный вывод",
    // FileIntactOtherVersion
    "; другая версия, без повреждений",
    // FileDamaged
    "; повреждён: контрольная сумма не сходится",
    // ChecksumUnreadable
    "; контрольная сумма не читается: {}",
    // VerdictThisModule
    "Итог: на карте этот модуль.",
    // VerdictOtherVersion
    "Итог: на карте целый модуль другой версии.",
    // VerdictDamaged
    "Итог: карта повреждена или модуль на ней неполный.",
    // VerdictNoModule
    "Итог: на карте нет модуля.",
    // OptionForEjectOnly
    "параметр '{}' только для команды eject или write --eject",
    // NotRemovableEject
    "'{}' не съёмный диск; ничего не извлечено.",
    // SafeToRemove
    "{}: можно извлечь",
    // CouldNotEject
    "{}: не удалось извлечь: {}",
    // SameCard
    "{} и {} — одна и та же карта",
    // OptionForStation
    "параметр '{}' только для команды station",
    // OptionForWriteAndStation
    "параметр '{}' только для команд write и station",
    // LogUnopenable
    "не удаётся открыть журнал '{}': {}; ничего не записано.",
    // CacheOnly
    "Примечание: файловая система этой карты читает только через системный кэш, и проверка не смогла "
    "пройти мимо него: сравнённые байты могли быть взяты из памяти.",
};

}  // namespace

std::string_view Text(LanguageIndex language, CliText text) {
  const auto row = static_cast<std::size_t>(text);
  if (language >= kLanguageCount || row >= kTextCount) throw RangeError();
  return (language == kRussian ? kRussianTexts : kEnglishTexts)[row];
}

std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  return Filled(pattern, arguments);
}

bool LocaleIsRussian(std::string_view localeName) {
  return localeName.size() >= 2 && localeName.substr(0, 2) == "ru" &&
         (localeName.size() == 2 || localeName[2] == '_' || localeName[2] == '-' || localeName[2] == '.' ||
          localeName[2] == '@');
}

}  // namespace scaleboot::cli
