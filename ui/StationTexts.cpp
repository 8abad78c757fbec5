#include "ui/StationTexts.h"

#include <array>
#include <initializer_list>

#include "ui/EjectTexts.h"
#include "ui/StationWindow.h"

namespace scaleboot {
namespace {

using Kind = station::Event::Kind;

constexpr std::size_t kCount = static_cast<std::size_t>(StationText::Count);

constexpr std::array<std::array<std::string_view, kCount>, 2> kTexts{{
    {
        "left alone (there before the start): {}",
        "watching: {}",
        "watching every removable drive that appears",
        "insert a card to write it; stop with Ctrl+C",
        "{} writing...",
        "remove the card",
        "not ejected: {}",
        "Waiting for a card... {1} written, {2} failed",
        "stopping: finishing {} card(s) in progress...",
        "{1} written, {2} failed",
        "the station cannot watch card readers on this system",
        "ejecting is not available",
        "{}: left alone: its file system ({}) is neither FAT nor exFAT",
        "{}: not mounted: {}",
        "still mounted at {}: {}",
        "'{}' is not a removable drive; nothing was written.",
        "{} and {} are the same card",
        "it is not a regular file",
        "it is a pipe or a socket that nobody reads",
        "it is a symbolic link, which is not followed when run as root or as an administrator",
        "cannot append to the log '{}'",
        "the card's files cannot be prepared: {}",
        "Write every card inserted...",
        "Writing inserted cards",
        "Watch:",
        "every removable drive",
        "Time",
        "Drive",
        "Outcome",
        "Card",
        "Eject each card",
        "Keep a record in...",
        "Keep a record in (lines are added at the end of the file chosen)",
        "Record: {}",
        "Cannot keep a record in '{}': {}.",
        "Stop",
        "Note: this card's file system reads only through the system's cache, so the check could not reach "
        "past it: the bytes compared may have come from memory.",
        "a card is being written",
        "holds this module",
        "holds an intact module of another version: take it out and insert it again to write it",
        "is damaged or incomplete: take it out and insert it again to write it",
        "holds no module",
        "{}: cannot be read: take it out and insert it again",
        "stopped answering",
        "take it out; its files may be incomplete",
    },
    {
        "не трогаю (были до запуска): {}",
        "слежу за: {}",
        "слежу за всеми съёмными дисками, которые появятся",
        "вставьте карту, чтобы записать её; остановка — Ctrl+C",
        "{} запись...",
        "выньте карту",
        "не извлечена: {}",
        "Жду карту... записано {1}, ошибок {2}",
        "остановка: завершаю карт в работе: {}...",
        "записано {1}, ошибок {2}",
        "станция не умеет следить за картридерами в этой системе",
        "извлечение недоступно",
        "{}: не трогаю: её файловая система ({}) — не FAT и не exFAT",
        "{}: не подключена: {}",
        "осталась подключённой в {}: {}",
        "'{}' не съёмный диск; ничего не записано.",
        "{} и {} — одна и та же карта",
        "это не обычный файл",
        "это канал или сокет, который никто не читает",
        "это символическая ссылка, а от имени root или администратора ссылки не открываются",
        "не удаётся дописать журнал '{}'",
        "не удаётся подготовить файлы карты: {}",
        "Записывать каждую вставленную карту...",
        "Запись вставляемых карт",
        "Следить за:",
        "все съёмные диски",
        "Время",
        "Диск",
        "Результат",
        "Карта",
        "Извлекать каждую карту",
        "Вести журнал в...",
        "Вести журнал в (строки дописываются в конец выбранного файла)",
        "Журнал: {}",
        "Невозможно вести журнал в '{}': {}.",
        "Остановить",
        "Примечание: файловая система этой карты читает только через системный кэш, и проверка не смогла "
        "пройти мимо него: сравнённые байты могли быть взяты из памяти.",
        "идёт запись карты",
        "на карте этот модуль",
        "на карте целый модуль другой версии: выньте её и вставьте снова, чтобы записать",
        "карта повреждена или модуль на ней неполный: выньте её и вставьте снова, чтобы записать",
        "на карте нет модуля",
        "{}: не читается: выньте её и вставьте снова",
        "перестала отвечать",
        "выньте её; её файлы могут быть неполными",
    },
}};

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : ", ") + word;
  return out;
}

}  // namespace

std::string Filled(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "{}") == 0 && next != arguments.end()) {
      out += *next++;
      ++i;
    } else if (pattern.compare(i, 3, "{1}") == 0 || pattern.compare(i, 3, "{2}") == 0) {
      const std::size_t at = pattern[i + 1] == '1' ? 0 : 1;
      if (at < arguments.size()) out += *(arguments.begin() + at);
      i += 2;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string_view StationWords(LanguageIndex language, StationText text) {
  return kTexts[language == kRussian ? 1 : 0][static_cast<std::size_t>(text)];
}

std::string CardText(LanguageIndex language, const CardResult& card) {
  switch (card.outcome) {
    case CardOutcome::Verified:
      return std::string(Text(language, Msg::WriteOkText));
    case CardOutcome::Mismatch:
      return std::string(Text(language, Msg::WriteFailedText));
    case CardOutcome::IoError:
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
  std::string first = key(root);
  for (std::size_t i = 0; i + 1 < alsoNamed.size(); ++i) first += ", " + key(alsoNamed[i]);
  return Filled(StationWords(language, StationText::SameCard), {first, key(alsoNamed.back())}) + ":";
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
  const auto words = [&](StationText text) { return StationWords(language, text); };
  switch (event.kind) {
    case Kind::LeftAlone:
      return Filled(words(StationText::LeftAlone), {Joined(event.names)});
    case Kind::Watching:
      return Filled(words(StationText::Watching), {Joined(event.names)});
    case Kind::WatchingAny:
      return std::string(words(StationText::WatchingAny));
    case Kind::Present: {
      std::string text =
          Filled(words(StationText::LeftAlone), {Joined(event.names)}) + "; " +
          std::string(PresentVerdictText(language, event.verdict.value_or(CardVerdict::Damaged)));
      if (!event.deviceCompared) text += "; " + std::string(words(StationText::CacheOnly));
      return text;
    }
    case Kind::CardStarted:
      return Filled(words(StationText::Writing),
                    {event.names.empty() ? std::string()
                                         : CardLabel(language, event.names[0],
                                                     {event.names.begin() + 1, event.names.end()})});
    case Kind::ReaderNotRemovable:
      return Filled(words(StationText::NotRemovable), {Joined(event.names)});
    case Kind::FileSystemRefused:
      return Filled(words(StationText::FileSystemLeftAlone), {event.device, event.fileSystem});
    case Kind::MountFailed:
      return Filled(words(StationText::NotMounted), {event.device, SystemPhrase(event.failure)});
    case Kind::Unreadable:
      return Filled(words(StationText::Unreadable), {event.device});
    case Kind::Stopping:
      return Filled(words(StationText::Stopping), {std::to_string(event.running)});
    case Kind::Stopped:
      return Filled(words(StationText::Summary),
                    {std::to_string(event.written), std::to_string(event.failed)});
    case Kind::CardEnded:
    case Kind::Waiting:
      break;
  }
  return {};
}

}  // namespace scaleboot
