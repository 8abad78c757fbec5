#include "main/cli/CliTexts.h"

#include <algorithm>
#include <array>

#include "common/Errors.h"
#include "ui/StationTexts.h"

namespace scaleboot::cli {
namespace {

constexpr std::size_t kTextCount = static_cast<std::size_t>(CliText::SystemDisksLeftOut) + 1;

constexpr std::array<std::string_view, kTextCount> kEnglishTexts{
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
    // OptionForCommand: the option, the one command it goes with
    "option '{}' goes with {} only",
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
    // OptionForCommands: the option, the commands it goes with ("write, verify and station")
    "option '{}' goes with {} only",
    // LogUnopenable
    "cannot open the log '{}': {}; nothing was written.",
    // SystemDisk
    "'{}' is on the disk the system runs from; nothing was written.",
    // SystemDiskEject
    "'{}' is on the disk the system runs from; nothing was ejected.",
    // SystemDiskStation
    "'{}' is on the disk the system runs from; the station did not start.",
    // SystemDisksLeftOut: the roots left out, joined by ", "
    "No removable drive is connected; left out as the disk the system runs from: {}",
};

constexpr std::array<std::string_view, kTextCount> kRussianTexts{
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
    // OptionForCommand
    "параметр '{}' только для команды {}",
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
    // OptionForCommands
    "параметр '{}' только для команд {}",
    // LogUnopenable
    "не удаётся открыть журнал '{}': {}; ничего не записано.",
    // SystemDisk
    "'{}' находится на диске, с которого работает система; ничего не записано.",
    // SystemDiskEject
    "'{}' находится на диске, с которого работает система; ничего не извлечено.",
    // SystemDiskStation
    "'{}' находится на диске, с которого работает система; станция не запущена.",
    // SystemDisksLeftOut
    "Съёмные диски не подключены; не показан диск, с которого работает система: {}",
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
