#include "ui/StationTexts.h"

#include <array>
#include <initializer_list>
#include <variant>

#include "common/Overloaded.h"
#include "ui/EjectTexts.h"

namespace scaleboot {
namespace {

constexpr std::size_t kCount = static_cast<std::size_t>(StationText::Count);

// Each text in English, then Russian, in the order of StationText.
constexpr std::array<Words, kCount> kTexts{{
    // LeftAlone
    {"left alone (there before the start): {}", "не трогаю (были до запуска): {}"},
    // Watching
    {"watching: {}", "слежу за: {}"},
    // WatchingAny
    {"watching every removable drive that appears", "слежу за всеми съёмными дисками, которые появятся"},
    // StopHint
    {"insert a card to write it; stop with Ctrl+C", "вставьте карту, чтобы записать её; остановка — Ctrl+C"},
    // Writing
    {"{} writing...", "{} запись..."},
    // RemoveCard
    {"remove the card", "выньте карту"},
    // NotEjected
    {"not ejected: {}", "не извлечена: {}"},
    // Waiting
    {"Waiting for a card... {1} written, {2} failed", "Жду карту... записано {1}, ошибок {2}"},
    // Stopping
    {"stopping: finishing {} card(s) in progress...", "остановка: завершаю карт в работе: {}..."},
    // Summary
    {"{1} written, {2} failed", "записано {1}, ошибок {2}"},
    // NoReaders
    {"the station cannot watch card readers on this system",
     "станция не умеет следить за картридерами в этой системе"},
    // EjectUnavailable
    {"ejecting is not available", "извлечение недоступно"},
    // FileSystemLeftAlone
    {"{}: left alone: its file system ({}) is neither FAT nor exFAT",
     "{}: не трогаю: её файловая система ({}) — не FAT и не exFAT"},
    // NotMounted
    {"{}: not mounted: {}", "{}: не подключена: {}"},
    // StillMounted
    {"still mounted at {}: {}", "осталась подключённой в {}: {}"},
    // NotRemovable
    {"'{}' is not a removable drive; nothing was written.", "'{}' не съёмный диск; ничего не записано."},
    // SameCard
    {"{} are the same card", "{} — одна и та же карта"},
    // RecordNotRegularFile
    {"it is not a regular file", "это не обычный файл"},
    // RecordNoReader
    {"it is a pipe or a socket that nobody reads", "это канал или сокет, который никто не читает"},
    // RecordSymbolicLink
    {"it is a symbolic link, which is not followed when run as root or as an administrator",
     "это символическая ссылка, а от имени root или администратора ссылки не открываются"},
    // RecordFailed
    {"cannot append to the log '{}'", "не удаётся дописать журнал '{}'"},
    // CardFilesUnavailable
    {"the card's files cannot be prepared: {}", "не удаётся подготовить файлы карты: {}"},
    // MenuItem
    {"Write every card inserted...", "Записывать каждую вставленную карту..."},
    // WindowTitle
    {"Writing inserted cards", "Запись вставляемых карт"},
    // WatchLabel
    {"Watch:", "Следить за:"},
    // EveryRemovableDrive
    {"every removable drive", "все съёмные диски"},
    // ColumnTime
    {"Time", "Время"},
    // ColumnDrive
    {"Drive", "Диск"},
    // ColumnOutcome
    {"Outcome", "Результат"},
    // ColumnCard
    {"Card", "Карта"},
    // EjectEach
    {"Eject each card", "Извлекать каждую карту"},
    // KeepRecord
    {"Keep a record in...", "Вести журнал в..."},
    // RecordDialogTitle
    {"Keep a record in (lines are added at the end of the file chosen)",
     "Вести журнал в (строки дописываются в конец выбранного файла)"},
    // RecordingTo
    {"Record: {}", "Журнал: {}"},
    // RecordRefused
    {"Cannot keep a record in '{}': {}.", "Невозможно вести журнал в '{}': {}."},
    // StopButton
    {"Stop", "Остановить"},
    // CacheOnly
    {"Note: this card's file system reads only through the system's cache, so the check could not reach "
     "past it: the bytes compared may have come from memory.",
     "Примечание: файловая система этой карты читает только через системный кэш, и проверка не смогла "
     "пройти мимо него: сравнённые байты могли быть взяты из памяти."},
    // BusyReason
    {"a card is being written", "идёт запись карты"},
    // PresentThisModule
    {"holds this module", "на карте этот модуль"},
    // PresentOtherVersion
    {"holds an intact module of another version: take it out and insert it again to write it",
     "на карте целый модуль другой версии: выньте её и вставьте снова, чтобы записать"},
    // PresentDamaged
    {"is damaged or incomplete: take it out and insert it again to write it",
     "карта повреждена или модуль на ней неполный: выньте её и вставьте снова, чтобы записать"},
    // PresentNoModule
    {"holds no module: take it out and insert it again to write it",
     "на карте нет модуля: выньте её и вставьте снова, чтобы записать"},
    // Unreadable
    {"{}: cannot be read: take it out and insert it again", "{}: не читается: выньте её и вставьте снова"},
    // StoppedAnswering
    {"stopped answering", "перестала отвечать"},
    // TakeItOutIncomplete
    {"take it out; its files may be incomplete", "выньте её; её файлы могут быть неполными"},
}};

}  // namespace

std::string_view StationWords(LanguageIndex language, StationText text) {
  return Lookup(kTexts, language, text);
}

std::string CardText(LanguageIndex language, const CardResult& card) {
  switch (card.outcome) {
    case CardOutcome::Verified:
      return std::string(Text(language, Msg::WriteOkText));
    case CardOutcome::Mismatch:
      return std::string(Text(language, Msg::WriteFailedText));
    case CardOutcome::IoError:
      if (!card.filesUnprepared.empty())
        return Filled(StationWords(language, StationText::CardFilesUnavailable), {card.filesUnprepared});
      return card.errorText;
    case CardOutcome::CorruptImages:
      return std::string(Text(language, Msg::CorruptText));
  }
  return card.errorText;
}

std::string CardEndOutcomeText(LanguageIndex language, const station::CardEnd& card) {
  if (card.stoppedAnswering) return std::string(StationWords(language, StationText::StoppedAnswering));
  return CardText(language, card.result);
}

std::string CardLabel(LanguageIndex language, const std::string& root,
                      const std::vector<std::string>& alsoNamed) {
  const auto key = [](std::string name) {
    while (name.size() > 1 && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    return name;
  };
  if (alsoNamed.empty()) {
    const std::string name = key(root);
    return name.size() == 2 && name[1] == ':' ? name : name + ":";
  }
  std::vector<std::string> names{key(root)};
  for (const std::string& name : alsoNamed) names.push_back(key(name));
  return Filled(StationWords(language, StationText::SameCard), {Listed(language, names)}) + ":";
}

std::string_view PresentVerdictText(LanguageIndex language, CardVerdict verdict) {
  switch (verdict) {
    case CardVerdict::ThisModule:
      return StationWords(language, StationText::PresentThisModule);
    case CardVerdict::OtherVersion:
      return StationWords(language, StationText::PresentOtherVersion);
    case CardVerdict::NoModule:
      return StationWords(language, StationText::PresentNoModule);
    case CardVerdict::Damaged:
      break;
  }
  return StationWords(language, StationText::PresentDamaged);
}

std::string WaitingText(LanguageIndex language, std::size_t written, std::size_t failed) {
  return Filled(StationWords(language, StationText::Waiting),
                {std::to_string(written), std::to_string(failed)});
}

std::string CardRemovalText(LanguageIndex language, const station::CardEnd& card) {
  // Given up at a stop: neither ejected nor finished, whatever its worker may still do.
  if (card.stoppedAnswering) return std::string(StationWords(language, StationText::TakeItOutIncomplete));
  std::string text = EjectFailed(card) ? Filled(StationWords(language, StationText::NotEjected),
                                                {EjectReasonText(language, *card.eject)})
                                       : std::string(StationWords(language, StationText::RemoveCard));
  if (!card.unmountFailure.empty())
    text += "; " + Filled(StationWords(language, StationText::StillMounted),
                          {card.result.root, SystemPhrase(card.unmountFailure)});
  return text;
}

std::string CardEndText(LanguageIndex language, const station::CardEnd& card) {
  return station::LocalClock(card.ended) + " " +
         CardLabel(language, card.result.root, card.result.alsoNamed) + " " +
         CardEndOutcomeText(language, card) + (card.stoppedAnswering ? ": " : "; ") +
         CardRemovalText(language, card);
}

std::string RefusalText(LanguageIndex language, const platform::AppendRefusal& refusal) {
  using Reason = platform::AppendRefusal::Reason;
  switch (refusal.reason) {
    case Reason::NotRegularFile:
      return std::string(StationWords(language, StationText::RecordNotRegularFile));
    case Reason::NoReader:
      return std::string(StationWords(language, StationText::RecordNoReader));
    case Reason::SymbolicLink:
      return std::string(StationWords(language, StationText::RecordSymbolicLink));
    case Reason::System:
      break;
  }
  return refusal.systemText;
}

std::string EventText(LanguageIndex language, const station::Event& event) {
  namespace ev = station::event;
  const auto words = [&](StationText text) { return StationWords(language, text); };
  return std::visit(
      Overloaded{
          [&](const ev::LeftAlone& e) { return Filled(words(StationText::LeftAlone), {Joined(e.names)}); },
          [&](const ev::Watching& e) { return Filled(words(StationText::Watching), {Joined(e.names)}); },
          [&](const ev::WatchingAny&) { return std::string(words(StationText::WatchingAny)); },
          [&](const ev::Present& e) {
            std::string text = Filled(words(StationText::LeftAlone), {e.root}) + "; " +
                               std::string(PresentVerdictText(language, e.verdict));
            if (!e.deviceCompared) text += "; " + std::string(words(StationText::CacheOnly));
            return text;
          },
          [&](const ev::CardStarted& e) {
            return Filled(
                words(StationText::Writing),
                {e.names.empty() ? std::string()
                                 : CardLabel(language, e.names[0], {e.names.begin() + 1, e.names.end()})});
          },
          [&](const ev::ReaderNotRemovable& e) {
            return Filled(words(StationText::NotRemovable), {e.reader});
          },
          [&](const ev::FileSystemRefused& e) {
            return Filled(words(StationText::FileSystemLeftAlone), {e.device, e.fileSystem});
          },
          [&](const ev::MountFailed& e) {
            return Filled(words(StationText::NotMounted), {e.device, SystemPhrase(e.failure)});
          },
          [&](const ev::Unreadable& e) { return Filled(words(StationText::Unreadable), {e.device}); },
          [&](const ev::Stopping& e) {
            return Filled(words(StationText::Stopping), {std::to_string(e.running)});
          },
          [&](const ev::Stopped& e) {
            return Filled(words(StationText::Summary), {std::to_string(e.written), std::to_string(e.failed)});
          },
          // Said by their owners in words of their own.
          [](const ev::CardEnded&) { return std::string(); },
          [](const ev::Waiting&) { return std::string(); },
      },
      event);
}

}  // namespace scaleboot
