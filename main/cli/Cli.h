// scaleboot-cli: lists removable drives, writes and verifies the module on one card or several at once,
// checks a folder against it and shows its contents, over the same core as the windows. Everything the
// program does goes through this one call, so it runs the same against fakes in tests as against the system.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/BootModuleWriter.h"
#include "card/MountRule.h"
#include "card/OwnChecksum.h"
#include "images/FirmwareImages.h"
#include "main/cli/BatchWrite.h"
#include "main/cli/CliWords.h"
#include "platform/AppendFile.h"
#include "platform/CardMounting.h"
#include "platform/CardSlots.h"
#include "platform/Eject.h"
#include "platform/Journal.h"
#include "platform/Platform.h"
#include "platform/StationFeedback.h"
#include "platform/StayAwake.h"
#include "station/CardRecord.h"
#include "station/Services.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

struct Environment {
  platform::DriveSource& drives;
  platform::ByteFileSystem& files;  // verify and the write of a single card
  platform::Console& console;
  // The images; the file system of each card of a batch write, one per card, so that no two workers share
  // an object's state; the ejector (eject and write --eject: without one, every eject fails); which folder a
  // root names (write writes one folder named twice once; without it, every root given is a card of its
  // own); and the station's readers (without them the station refuses to start, and --log names no label or
  // serial number), mounter, grace and stay-awake. Their record facts are the command line's own
  // (CliRecordFacts), set by RunCli.
  station::Services services;
  LanguageIndex defaultLanguage = kEnglish;
  // What a path names: verify looks at its folder before reading, and at a file it could not read or that is
  // longer than its image. When empty, verify reads without looking.
  std::function<platform::PathInfo(const std::string&)> inspectPath{};
  // The station's pause between looks at the readers: true, at once, once the user asked it to stop (Ctrl+C).
  std::function<bool(int milliseconds)> waitOrStop{};
  // What a station shows besides its lines (a service manager's status); none: nothing more.
  platform::StationFeedback* feedback = nullptr;
  // Opens the file of --log for appending; nothing, and why, when it cannot or will not.
  std::function<std::unique_ptr<platform::AppendFile>(const std::string& path, platform::AppendRefusal& why)>
      openLog{};
  // The SHA-256 of each image in table order, as the build computed it, for --log.
  std::span<const std::string_view> imageSha256{};
  // Whether the clock is synchronised (platform::ClockSynchronised), for each record line; none: not known.
  std::optional<bool> (*clockSynchronised)() = nullptr;
  // The journal, where standard error is the journal (a service's): the station's starts, cards, cards
  // present and summaries are entries of their own there, and no bell rings. None: lines on standard error.
  platform::Journal* journal = nullptr;
  // A test build (IsTestBuild): contents, --version and each card's line say so, and so do the JSON
  // documents and the record ("test_firmware": true).
  bool testFirmware = false;
};

// Runs the command line `arguments` (without the program's name) and returns the exit status.
int RunCli(std::span<const std::string> arguments, Environment& environment);

// RunCli with the embedded images and their hashes, the platform's folder identity, the language of the
// user's locale, the platform's path inspection and log files, over the system's `services` (at least
// `newFiles`; the station needs `cardSlots` and `waitOrStop`): what a program entry calls.
int RunWithEmbeddedImages(std::span<const std::string> arguments, platform::DriveSource& drives,
                          platform::Console& console, station::Services services,
                          std::function<bool(int)> waitOrStop = {},
                          platform::StationFeedback* feedback = nullptr,
                          platform::Journal* journal = nullptr);

// What the command line's record lines and journal entries say of it: its images and their hashes, version,
// name, whether test firmware, and how to ask the clock's state.
station::RecordFacts CliRecordFacts(const Environment& environment);

// The form two names of one root share: "E:" for a drive letter whatever its case and separator, otherwise
// the path without trailing separators ("/" stays "/").
std::string RootKey(std::string_view path);

// The listed root that `given` names: "E:", "e:\" and "E:/" name "E:\"; a mount point may come with or
// without its trailing "/". Nothing when `given` names no listed root.
std::optional<std::string> MatchRemovableRoot(std::string_view given, std::span<const std::string> roots);

// `given` as a folder to put file names after: ends in a separator ("\" after a drive letter or where the
// path already uses backslashes, "/" otherwise).
std::string FolderPath(std::string_view given);

// One line of verify's report for `image`'s file, without the line break. `path` tells what the file's path
// names, where it was looked at: a file that could not be opened may be a symbolic link or no regular file at
// all, and a longer one has its real size. `checksum`, where it was read, adds to a file that differs whether
// it is another version, intact, or damaged.
std::string DescribeFinding(LanguageIndex language, const FirmwareImage& image, const FileFinding& finding,
                            const platform::PathInfo& path = {},
                            const std::optional<OwnChecksum>& checksum = std::nullopt);

// The stable name of a verdict for scripts (this-module, other-version, damaged, no-module) and its line for
// people.
std::string_view VerdictCode(CardVerdict verdict);
std::string_view VerdictText(LanguageIndex language, CardVerdict verdict);

// The stable name of a finding for scripts: identical, differs, shorter, longer, missing, unreadable,
// symbolic-link or not-regular-file.
std::string_view FindingCode(const FileFinding& finding, const platform::PathInfo& path = {});

}  // namespace scaleboot::cli
