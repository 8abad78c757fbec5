#include "ui/MessageTable.h"

#include "ui/Errors.h"

namespace scaleboot {

const MessageTableType MessageTable{{
    {
        "Scales loading module (version ",
        "Select miniSD card",
        "Create module on card",
        "Included firmware versions",
        "Scales programming user manual",
        "(Adobe Reader needed)",
        "Release notes - change log",
        "Module creation completed successfully",
        "Creation completed",
        "Module creation completed with errors!",
        "Firmware versions: ",
        " - for ZR-LN(E) scales",
        " - for ZR-SN(E) scales",
        "Data is corrupted! Unable to create module!",
        "Checksum error",
        "Module contains",
    },
    {
        "Загрузочный модуль ЮКС (версия ",
        "Выберите карту памяти",
        "Записать загрузочный модуль на карту",
        "Версии ПО весов, включенные в модуль",
        "Инструкция по программированию весов с карты памяти",
        "(для просмотра необходим Adobe Reader)",
        "Изменения в ПО весов по сравнению с предыдущими версиями",
        "Запись загрузочного модуля на карту завершена успешно",
        "Запись завершена",
        "Запись загрузочного модуля на карту завершена с ошибками!",
        "Версии прошивок: ",
        " - для весов ЮКС-Л(1)Д",
        " - для весов ЮКС-С(1), ЮКС-Л(1), ДГ..К5",
        "Данные повреждены! Создание загрузочного модуля невозможно!",
        "Ошибка контрольных сумм",
        "Содержимое модуля",
    },
}};

std::string_view Text(LanguageIndex language, Msg row) {
  const auto index = static_cast<std::size_t>(row);
  if (language >= kLanguageCount || index >= kMessageRows) throw RangeError();
  return MessageTable[language][index];
}

}  // namespace scaleboot
