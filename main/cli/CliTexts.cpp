#include "main/cli/CliTexts.h"

#include <array>

#include "common/Errors.h"

namespace scaleboot::cli {
namespace {

constexpr std::size_t kTextCount = static_cast<std::size_t>(CliText::ModuleNotFound) + 1;

constexpr std::array<std::string_view, kTextCount> kEnglishTexts{
    // Usage
    "Usage: scaleboot-cli COMMAND [OPTIONS]\n"
    "Prepares a memory card for updating the firmware of weighing scales.\n"
    "\n"
    "Commands:\n"
    "  list          list the removable drives, one root a line\n"
    "  write ROOT    write the four module files into the root of the removable drive ROOT,\n"
    "                read them back and report\n"
    "  verify ROOT   compare the four files in the folder ROOT with the module; writes nothing\n"
    "  contents      show the firmware versions the module holds\n"
    "\n"
    "Options (before or after the command):\n"
    "  --quiet       no progress line\n"
    "  --lang en|ru  language of the messages (default: the user's locale)\n"
    "  --help        show this help\n"
    "  --version     show the program's version\n"
    "\n"
    "Exit status:\n"
    "  0  success: the module was written and verified, or the folder holds exactly the module\n"
    "  1  verification mismatch\n"
    "  2  usage error, or ROOT is not a removable drive\n"
    "  3  I/O error\n"
    "  4  the module's embedded data is corrupted\n",
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
};

constexpr std::array<std::string_view, kTextCount> kRussianTexts{
    // Usage
    "Использование: scaleboot-cli КОМАНДА [ПАРАМЕТРЫ]\n"
    "Готовит карту памяти для обновления программного обеспечения весов.\n"
    "\n"
    "Команды:\n"
    "  list          перечислить съёмные диски, по одному корню в строке\n"
    "  write КОРЕНЬ  записать четыре файла модуля в корень съёмного диска КОРЕНЬ,\n"
    "                прочитать их обратно и сообщить результат\n"
    "  verify КОРЕНЬ сравнить четыре файла в папке КОРЕНЬ с модулем; ничего не записывает\n"
    "  contents      показать версии прошивок в модуле\n"
    "\n"
    "Параметры (до или после команды):\n"
    "  --quiet       не показывать ход работы\n"
    "  --lang en|ru  язык сообщений (по умолчанию — язык пользователя)\n"
    "  --help        показать эту справку\n"
    "  --version     показать версию программы\n"
    "\n"
    "Код завершения:\n"
    "  0  успех: модуль записан и проверен, или в папке в точности этот модуль\n"
    "  1  при проверке найдены отличия\n"
    "  2  ошибка в командной строке, или КОРЕНЬ не съёмный диск\n"
    "  3  ошибка ввода-вывода\n"
    "  4  встроенные данные модуля повреждены\n",
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
};

}  // namespace

std::string_view Text(LanguageIndex language, CliText text) {
  const auto row = static_cast<std::size_t>(text);
  if (language >= kLanguageCount || row >= kTextCount) throw RangeError();
  return (language == kRussian ? kRussianTexts : kEnglishTexts)[row];
}

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "{}") == 0 && next != arguments.end()) {
      out += *next++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

bool LocaleIsRussian(std::string_view localeName) {
  return localeName.size() >= 2 && localeName.substr(0, 2) == "ru" &&
         (localeName.size() == 2 || localeName[2] == '_' || localeName[2] == '-' || localeName[2] == '.' ||
          localeName[2] == '@');
}

}  // namespace scaleboot::cli
