// The command-line program's own texts in English and Russian (UTF-8). The module's texts (success, failure,
// contents, corruption) come from the message table.
#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

#include "ui/MessageTable.h"
#include "ui/Words.h"

namespace scaleboot::cli {

enum class CliText {
  TryHelp,
  UnknownOption,
  UnknownCommand,
  MissingCommand,
  MissingRoot,
  UnexpectedArgument,
  BadLanguage,
  NotRemovable,
  RemovableDrives,
  NoRemovableDrives,
  Writing,
  Verifying,
  FileIdentical,
  FileDiffers,
  FileShorter,
  FileLonger,
  FileMissing,
  FileUnreadable,
  ModuleFound,
  ModuleNotFound,
  MissingValue,
  OptionForCommand,
  NoSuchFolder,
  NotAFolder,
  FileLongerBy,
  AlsoDiffers,
  FileSymbolicLink,
  FileNotRegular,
  ProgressDone,
  ProgressFailed,
  OutputFailed,
  FileIntactOtherVersion,
  FileDamaged,
  ChecksumUnreadable,
  VerdictThisModule,
  VerdictOtherVersion,
  VerdictDamaged,
  VerdictNoModule,
  OptionForEjectOnly,
  NotRemovableEject,
  SafeToRemove,
  CouldNotEject,
  SameCard,
  OptionForCommands,
  LogUnopenable,
  SystemDisk,
  SystemDiskEject,
  SystemDiskStation,
  SystemDisksLeftOut,
};

std::string_view Text(LanguageIndex language, CliText text);

// Characters of UTF-8 text: the bytes that do not continue a character.
std::size_t Characters(std::string_view text);

// True when a POSIX locale name ("ru_RU.UTF-8", "ru", "ru_UA") or a language tag ("ru-RU") names Russian.
bool LocaleIsRussian(std::string_view localeName);

}  // namespace scaleboot::cli
