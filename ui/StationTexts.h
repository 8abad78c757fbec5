// The words of the station's events in English and Russian (UTF-8), for the command line and the windows.
#pragma once
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "card/CardResult.h"
#include "card/OwnChecksum.h"
#include "platform/AppendFile.h"
#include "station/CardRecord.h"
#include "station/Events.h"
#include "ui/MessageTable.h"
#include "ui/Words.h"

namespace scaleboot {

enum class StationText {
  LeftAlone,
  Watching,
  WatchingAny,
  StopHint,
  Writing,
  RemoveCard,
  NotEjected,
  Waiting,
  Stopping,
  Summary,
  NoReaders,
  EjectUnavailable,
  FileSystemLeftAlone,
  NotMounted,
  StillMounted,
  NotRemovable,
  SameCard,
  // The record file's refusals and failures, and a card whose files cannot be prepared.
  RecordNotRegularFile,
  RecordNoReader,
  RecordSymbolicLink,
  RecordFailed,
  CardFilesUnavailable,
  // The station window.
  MenuItem,
  WindowTitle,
  WatchLabel,
  EveryRemovableDrive,
  ColumnTime,
  ColumnDrive,
  ColumnOutcome,
  ColumnCard,
  EjectEach,
  KeepRecord,
  RecordDialogTitle,
  RecordingTo,
  RecordRefused,
  StopButton,
  CacheOnly,
  BusyReason,
  // What a card there at the start holds, and what to do with it.
  PresentThisModule,
  PresentOtherVersion,
  PresentDamaged,
  PresentNoModule,
  Unreadable,
  // A card still in progress when a stop's bound ran out.
  StoppedAnswering,
  TakeItOutIncomplete,
  Count,
};

std::string_view StationWords(LanguageIndex language, StationText text);

// What a single write says of a card's outcome: the window's texts, or the I/O error's.
std::string CardText(LanguageIndex language, const CardResult& card);
// The same of a card's end: "stopped answering" for one given up at a stop.
std::string CardEndOutcomeText(LanguageIndex language, const station::CardEnd& card);

// "E:" for a drive letter, otherwise the root without its trailing separator followed by ":"; for a card
// under several names every one of them: "E: and F: are the same card:".
std::string CardLabel(LanguageIndex language, const std::string& root,
                      const std::vector<std::string>& alsoNamed = {});

// Why a record file was refused: the reason's words, or the system's own.
std::string RefusalText(LanguageIndex language, const platform::AppendRefusal& refusal);

// The line an event is told in, without a line break; empty for a card's end and the waiting line, whose
// words are CardEndText and WaitingText.
std::string EventText(LanguageIndex language, const station::Event& event);
// "14:03:22 E: Module creation completed successfully; remove the card" and what else became of the card.
std::string CardEndText(LanguageIndex language, const station::CardEnd& card);
// "remove the card", or why it was not ejected, and whether a mount of the station's stayed.
std::string CardRemovalText(LanguageIndex language, const station::CardEnd& card);
// What a card there at the start holds by `verdict`, and what to do with one that is not this module.
std::string_view PresentVerdictText(LanguageIndex language, CardVerdict verdict);
// "Waiting for a card... 3 written, 1 failed".
std::string WaitingText(LanguageIndex language, std::size_t written, std::size_t failed);

}  // namespace scaleboot
