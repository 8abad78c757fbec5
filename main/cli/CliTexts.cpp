#include "main/cli/CliTexts.h"

#include <algorithm>
#include <array>

#include "common/Errors.h"
#include "ui/StationTexts.h"
#include "ui/Words.h"

namespace scaleboot::cli {
namespace {

constexpr std::size_t kTextCount = static_cast<std::size_t>(CliText::SystemDisksLeftOut) + 1;

// Each text in English, then Russian, in the order of CliText.
constexpr std::array<Words, kTextCount> kTexts{{
    // TryHelp
    {"Try 'scaleboot-cli --help'.", "Справка: 'scaleboot-cli --help'."},
    // UnknownOption
    {"unknown option '{}'", "неизвестный параметр '{}'"},
    // UnknownCommand
    {"unknown command '{}'", "неизвестная команда '{}'"},
    // MissingCommand
    {"no command given", "не указана команда"},
    // MissingRoot
    {"'{}' needs a drive root or folder", "команде '{}' нужен корень диска или папка"},
    // UnexpectedArgument
    {"unexpected argument '{}'", "лишний аргумент '{}'"},
    // BadLanguage
    {"--lang takes en or ru, not '{}'", "--lang принимает en или ru, а не '{}'"},
    // NotRemovable
    {"'{}' is not a removable drive; nothing was written.", "'{}' не съёмный диск; ничего не записано."},
    // RemovableDrives
    {"Removable drives: {}", "Съёмные диски: {}"},
    // NoRemovableDrives
    {"No removable drive is connected.", "Съёмные диски не подключены."},
    // Writing
    {"Writing", "Запись"},
    // Verifying
    {"Verifying", "Проверка"},
    // FileIdentical
    {"{}: identical", "{}: совпадает"},
    // FileDiffers
    {"{}: differs at byte {} (differing bytes: {})", "{}: отличается в байте {} (отличающихся байтов: {})"},
    // FileShorter
    {"{}: shorter than the image ({} of {} bytes)", "{}: короче образа ({} из {} байтов)"},
    // FileLonger
    {"{}: longer than the image (the image's {} bytes and more)",
     "{}: длиннее образа ({} байтов образа и ещё)"},
    // FileMissing
    {"{}: missing", "{}: отсутствует"},
    // FileUnreadable
    {"{}: cannot be read: {}", "{}: не читается: {}"},
    // ModuleFound
    {"The folder holds this module.", "В папке в точности этот модуль."},
    // ModuleNotFound
    {"The folder does not hold this module.", "В папке нет этого модуля."},
    // MissingValue
    {"option '{}' requires an argument", "параметру '{}' нужно значение"},
    // OptionForCommand: the option, the one command it goes with
    {"option '{}' goes with {} only", "параметр '{}' только для команды {}"},
    // NoSuchFolder
    {"the folder '{}' does not exist; nothing was read.", "папки '{}' нет; ничего не прочитано."},
    // NotAFolder
    {"'{}' is not a folder; nothing was read.", "'{}' не папка; ничего не прочитано."},
    // FileLongerBy
    {"{}: longer than the image ({} bytes instead of {})", "{}: длиннее образа ({} байтов вместо {})"},
    // AlsoDiffers
    {", and differs at byte {} (differing bytes: {})", ", и отличается в байте {} (отличающихся байтов: {})"},
    // FileSymbolicLink
    {"{}: cannot be read: a symbolic link", "{}: не читается: символическая ссылка"},
    // FileNotRegular
    {"{}: cannot be read: not a regular file", "{}: не читается: не обычный файл"},
    // ProgressDone
    {"done", "готово"},
    // ProgressFailed
    {"failed", "ошибка"},
    // OutputFailed
    {"cannot write to standard output", "не удаётся писать в стандартный вывод"},
    // FileIntactOtherVersion
    {"; another version, intact", "; другая версия, без повреждений"},
    // FileDamaged
    {"; damaged: its checksum does not hold", "; повреждён: контрольная сумма не сходится"},
    // ChecksumUnreadable
    {"; its checksum cannot be read: {}", "; контрольная сумма не читается: {}"},
    // VerdictThisModule
    {"Verdict: the card holds this module.", "Итог: на карте этот модуль."},
    // VerdictOtherVersion
    {"Verdict: the card holds an intact module of another version.",
     "Итог: на карте целый модуль другой версии."},
    // VerdictDamaged
    {"Verdict: the card is damaged or incomplete.", "Итог: карта повреждена или модуль на ней неполный."},
    // VerdictNoModule
    {"Verdict: the card holds no module.", "Итог: на карте нет модуля."},
    // OptionForEjectOnly
    {"option '{}' goes with eject or write --eject only",
     "параметр '{}' только для команды eject или write --eject"},
    // NotRemovableEject
    {"'{}' is not a removable drive; nothing was ejected.", "'{}' не съёмный диск; ничего не извлечено."},
    // SafeToRemove
    {"{}: safe to remove", "{}: можно извлечь"},
    // CouldNotEject
    {"{}: could not eject: {}", "{}: не удалось извлечь: {}"},
    // SameCard: the roots of one card ("E:\, F:\ and G:\")
    {"{} are the same card", "{} — одна и та же карта"},
    // OptionForCommands: the option, the commands it goes with ("write, verify and station")
    {"option '{}' goes with {} only", "параметр '{}' только для команд {}"},
    // LogUnopenable
    {"cannot open the log '{}': {}; nothing was written.",
     "не удаётся открыть журнал '{}': {}; ничего не записано."},
    // SystemDisk
    {"'{}' is on the disk the system runs from; nothing was written.",
     "'{}' находится на диске, с которого работает система; ничего не записано."},
    // SystemDiskEject
    {"'{}' is on the disk the system runs from; nothing was ejected.",
     "'{}' находится на диске, с которого работает система; ничего не извлечено."},
    // SystemDiskStation
    {"'{}' is on the disk the system runs from; the station did not start.",
     "'{}' находится на диске, с которого работает система; станция не запущена."},
    // SystemDisksLeftOut: the roots left out, joined by ", "
    {"No removable drive is connected; left out as the disk the system runs from: {}",
     "Съёмные диски не подключены; не показан диск, с которого работает система: {}"},
}};

}  // namespace

std::string_view Text(LanguageIndex language, CliText text) {
  return Lookup(kTexts, language, text);
}

std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool LocaleIsRussian(std::string_view localeName) {
  return localeName.size() >= 2 && localeName.substr(0, 2) == "ru" &&
         (localeName.size() == 2 || localeName[2] == '_' || localeName[2] == '-' || localeName[2] == '.' ||
          localeName[2] == '@');
}

}  // namespace scaleboot::cli
