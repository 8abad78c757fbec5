#include "main/cli/Cli.h"

#include <algorithm>
#include <cstdint>

#include "BuildInfo.h"
#include "card/DriveScan.h"
#include "card/SameCard.h"
#include "common/Errors.h"
#include "main/cli/CliJson.h"
#include "main/cli/CliTexts.h"
#include "main/cli/CommandLine.h"
#include "main/cli/Station.h"
#include "station/CardRecord.h"
#include "ui/Contents.h"
#include "ui/EjectTexts.h"
#include "ui/StationTexts.h"
#include "ui/TestMark.h"
#include "ui/Words.h"

namespace scaleboot::cli {
namespace {

using Stream = platform::Console::Stream;
using PathKind = platform::PathInfo::Kind;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool IsDriveLetterRoot(std::string_view path) {
  const bool letter =
      path.size() >= 2 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return letter && path[1] == ':' && (path.size() == 2 || (path.size() == 3 && IsSeparator(path[2])));
}

std::string WithUnixLineBreaks(std::string text) {
  std::erase(text, '\r');
  return text;
}

bool ImagesCorrupt(std::span<const FirmwareImage> images) {
  std::uint8_t corrupt = 0;
  VerifyImageChecksums(images, corrupt);
  return corrupt != 0;
}

// Writes each line of `text` to standard error after the program's name.
void ErrorLines(platform::Console& console, std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const auto end = text.find('\n');
    out += "scaleboot-cli: " + std::string(text.substr(0, end)) + "\n";
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  console.Write(Stream::Err, out);
}

class Run {
 public:
  Run(Environment& environment, const CommandLine& line)
      : env_(environment), line_(line), language_(line.language.value_or(environment.defaultLanguage)) {}

  int Execute() {
    // Help and the version win over every other argument, --json and --log included: they touch no file.
    if (line_.command == Command::Help) {
      env_.console.Write(Stream::Out, HelpText(language_, line_.helpTopic));
      return kExitSuccess;
    }
    if (line_.command == Command::Version) {
      if (line_.json) return Document(VersionJson(build::kVersionText), kExitSuccess);
      Out(WithTestLine(language_, std::string("scaleboot-cli ") + build::kVersionText, env_.testFirmware,
                       "\n") +
          "\n");
      return kExitSuccess;
    }
    // A record that cannot be kept refuses the command before any card is touched.
    if (!line_.logPath.empty()) {
      platform::AppendRefusal why;
      log_ = env_.openLog ? env_.openLog(line_.logPath, why) : nullptr;
      if (!log_)
        return Refuse(ErrorCode::LogUnopenable, Filled(Text(language_, CliText::LogUnopenable),
                                                       {line_.logPath, RefusalText(language_, why)}));
    }
    switch (line_.command) {
      case Command::List:
        return List();
      case Command::Contents:
        return Contents();
      case Command::Write:
        return Write();
      case Command::Verify:
        return Verify();
      case Command::Eject:
        return Eject();
      case Command::Station:
        if (ImagesCorrupt(services_.images)) return RefuseCorrupt();
        if (const std::optional<std::string> reader = SystemDiskReader())
          return Refuse(ErrorCode::SystemDisk,
                        Filled(Text(language_, CliText::SystemDiskStation), {*reader}));
        return RunStation(env_, line_, language_, log_.get());
      case Command::Help:
      case Command::Version:
      case Command::None:
        break;
    }
    return kExitUsage;
  }

 private:
  // Text for standard output; with --json the document takes its place.
  void Out(std::string_view text) {
    if (!line_.json) env_.console.Write(Stream::Out, text);
  }
  int Document(const std::string& document, int status) {
    PrintJson(env_, document);
    return status;
  }
  // Ends the command before its work: the text on standard error and, with --json, the error document.
  // Its status is the code's own.
  int Refuse(ErrorCode code, const std::string& text, std::span<const std::string> removableRoots = {}) {
    const ErrorCodeWords& row = ErrorCodeRow(code);
    ErrorLines(env_.console, text);
    if (line_.json)
      Document(ErrorJson(CommandName(line_.command), row.name, text, row.status, removableRoots), row.status);
    return row.status;
  }
  std::string_view Msg(scaleboot::Msg row) const { return scaleboot::Text(language_, row); }
  bool ShowProgress() { return !line_.quiet && env_.console.IsTerminal(Stream::Err); }

  // The first reader named for the station that lies on the disk the system runs from.
  std::optional<std::string> SystemDiskReader() {
    if (services_.cardSlots == nullptr || line_.roots.empty()) return std::nullopt;
    for (const std::string& reader : line_.roots) {
      if (services_.cardSlots->HoldsSystemDisk(reader)) return reader;
    }
    return std::nullopt;
  }

  int RefuseCorrupt() { return Refuse(ErrorCode::CorruptImages, std::string(Msg(Msg::CorruptText))); }

  int List() {
    const SortedRoots sorted = SortDriveRoots(env_.drives);
    const std::vector<std::string>& roots = sorted.removable;
    if (line_.json) return Document(ListJson(roots), kExitSuccess);
    for (const std::string& root : roots) Out(root + "\n");
    // An empty answer on a terminal looks like a program that did nothing; a script reading a pipe gets none.
    // A card left out as the system's own disk is named, so that nobody goes looking for a broken reader.
    if (roots.empty() && env_.console.IsTerminal(Stream::Out)) {
      ErrorLines(env_.console,
                 sorted.systemDisks.empty()
                     ? std::string(Text(language_, CliText::NoRemovableDrives))
                     : Filled(Text(language_, CliText::SystemDisksLeftOut), {Joined(sorted.systemDisks)}));
    }
    return kExitSuccess;
  }

  int Contents() {
    if (ImagesCorrupt(services_.images)) return RefuseCorrupt();
    if (line_.json) return Document(ContentsJson(language_), kExitSuccess);
    Out(WithUnixLineBreaks(ComposeContentsText(language_, env_.testFirmware)) + "\n");
    return kExitSuccess;
  }

  // The listed roots the command names, each once, in the order given; nothing when one of them is not
  // listed, which has then been reported.
  std::optional<std::vector<std::string>> CardsToWrite(int& status,
                                                       CliText notRemovable = CliText::NotRemovable,
                                                       CliText systemDisk = CliText::SystemDisk) {
    const SortedRoots sorted = SortDriveRoots(env_.drives);
    const std::vector<std::string>& listed = sorted.removable;
    if (line_.all) {
      if (listed.empty()) {
        status =
            Refuse(ErrorCode::NoRemovableDrive, std::string(Text(language_, CliText::NoRemovableDrives)));
        return std::nullopt;
      }
      return listed;
    }
    std::vector<std::string> cards;
    for (const std::string& given : line_.roots) {
      const std::optional<std::string> root = MatchRemovableRoot(given, listed);
      // The disk the system runs from is refused as such before anything is touched.
      if (!root && MatchRemovableRoot(given, sorted.systemDisks)) {
        status = Refuse(ErrorCode::SystemDisk, Filled(Text(language_, systemDisk), {given}));
        return std::nullopt;
      }
      if (!root) {
        const std::string list = Joined(listed);
        status = Refuse(ErrorCode::NotRemovable,
                        Filled(Text(language_, notRemovable), {given}) + "\n" +
                            (listed.empty() ? std::string(Text(language_, CliText::NoRemovableDrives))
                                            : Filled(Text(language_, CliText::RemovableDrives), {list})),
                        listed);
        return std::nullopt;
      }
      if (std::find(cards.begin(), cards.end(), *root) == cards.end()) cards.push_back(*root);
    }
    return cards;
  }

  int Write() {
    int status = kExitSuccess;
    const std::optional<std::vector<std::string>> given = CardsToWrite(status);
    if (!given) return status;
    // One card under two names is written once, as the first of them; a root whose folder cannot be told
    // is not written at all.
    const OneRootPerFolder same = OnePerFolder(*given, services_.identifyFolder);
    std::vector<std::string> written;
    for (std::size_t i = 0; i < same.roots.size(); ++i) {
      if (same.unidentified[i] == 0) written.push_back(same.roots[i]);
    }
    std::vector<CardResult> results;
    std::vector<platform::VolumeFacts> volumes;
    for (const std::string& root : same.roots)
      volumes.push_back(log_ && services_.cardSlots ? services_.cardSlots->Describe(root)
                                                    : platform::VolumeFacts{});
    if (ImagesCorrupt(services_.images)) {
      for (const std::string& root : same.roots) results.push_back({root, CardOutcome::CorruptImages});
      for (std::size_t i = 0; i < results.size(); ++i) results[i].alsoNamed = same.alsoNamed[i];
      ErrorLines(env_.console, Msg(Msg::CorruptText));
      if (line_.eject) EjectAfterRun(results);
      for (const CardResult& card : results) {
        if (card.eject) EjectLine(card.root, *card.eject);
      }
      return line_.json ? Document(WriteJson(language_, results, kExitCorrupt), kExitCorrupt) : kExitCorrupt;
    }
    std::vector<CardResult> runs;
    if (written.size() == 1) {
      ProgressLine progress(env_.console, language_, ShowProgress());
      CardProgress view(progress, 0, 2);  // writing, then reading back
      runs.push_back(WriteCard(written.front(), services_.images, env_.files, view));
      progress.Finish();
    } else if (!written.empty()) {
      ProgressLine progress(env_.console, language_, ProgressLabels(written), ShowProgress());
      runs = WriteCards(written, services_.images, services_.newFiles, progress);
      progress.Finish();
    }
    for (std::size_t i = 0, run = 0; i < same.roots.size(); ++i) {
      const int code = same.unidentified[i];
      results.push_back(code == 0 ? runs[run++]
                                  : CardResult{same.roots[i], CardOutcome::IoError, code,
                                               ErrorBoxText(IoError::TextFor(code))});
      results.back().alsoNamed = same.alsoNamed[i];
    }
    if (line_.eject) EjectAfterRun(results);
    if (!LogCards(results, volumes)) status = WorstStatus(status, kExitIoError);
    // One line per card, in the order given; a single card named once has the window's text alone.
    for (const CardResult& card : results) {
      status = WorstStatus(status, StatusOf(card.outcome));
      const std::string text =
          WithTestLine(language_,
                       (results.size() == 1 && card.alsoNamed.empty() ? "" : CardNames(card) + ": ") +
                           CardText(language_, card),
                       env_.testFirmware && card.outcome == CardOutcome::Verified, "\n");
      const std::string_view cacheOnly =
          card.deviceCompared ? "" : StationWords(language_, StationText::CacheOnly);
      if (card.outcome == CardOutcome::Verified) {
        Out(text + "\n" + (cacheOnly.empty() ? "" : std::string(cacheOnly) + "\n"));
      } else {
        ErrorLines(env_.console, text + (cacheOnly.empty() ? "" : "\n" + std::string(cacheOnly)));
      }
      if (card.eject) EjectLine(card.root, *card.eject);
    }
    return line_.json ? Document(WriteJson(language_, results, status), status) : status;
  }

  platform::EjectResult EjectOne(const std::string& root) {
    if (!services_.ejector) return {platform::EjectResult::Status::Failed};
    return services_.ejector->Eject(root, {line_.powerOff});
  }

  // Ejects each card that is still listed; a pulled card is reported as gone without asking the system.
  void EjectAfterRun(std::vector<CardResult>& results) {
    const std::vector<std::string> listed = RemovableRoots(env_.drives);
    for (CardResult& card : results) {
      const bool present = std::find(listed.begin(), listed.end(), card.root) != listed.end();
      card.eject = present ? EjectOne(card.root) : platform::EjectResult{platform::EjectResult::Status::Gone};
    }
  }

  // "ROOT: safe to remove" on standard output, or why not on standard error.
  void EjectLine(const std::string& root, const platform::EjectResult& result) {
    if (result.status == platform::EjectResult::Status::Ejected) {
      Out(Filled(Text(language_, CliText::SafeToRemove), {root}) + "\n");
    } else {
      ErrorLines(env_.console,
                 Filled(Text(language_, CliText::CouldNotEject), {root, EjectReasonText(language_, result)}));
    }
  }

  int Eject() {
    int status = kExitSuccess;
    const std::optional<std::vector<std::string>> cards =
        CardsToWrite(status, CliText::NotRemovableEject, CliText::SystemDiskEject);
    if (!cards) return status;
    std::vector<CardResult> results;
    for (const std::string& root : *cards) {
      CardResult card{root};
      card.eject = EjectOne(root);
      if (card.eject->status != platform::EjectResult::Status::Ejected) status = kExitIoError;
      EjectLine(root, *card.eject);
      results.push_back(card);
    }
    return line_.json ? Document(EjectJson(language_, results, status), status) : status;
  }

  // The card's root, or every root given for it ("E:\ and F:\ are the same card").
  std::string CardNames(const CardResult& card) const {
    if (card.alsoNamed.empty()) return card.root;
    std::vector<std::string> names{card.root};
    names.insert(names.end(), card.alsoNamed.begin(), card.alsoNamed.end());
    return Filled(Text(language_, CliText::SameCard), {Listed(language_, names)});
  }

  int Verify() {
    const std::string& given = line_.roots.front();
    const std::optional<std::string> root = MatchRemovableRoot(given, RemovableRoots(env_.drives));
    const std::string folder = root ? *root : FolderPath(given);
    // A mistyped folder must not look like a card without the module: say so before reading anything.
    if (env_.inspectPath) {
      const PathKind kind = env_.inspectPath(folder).kind;
      if (kind == PathKind::Missing) {
        return Refuse(ErrorCode::NoSuchFolder, Filled(Text(language_, CliText::NoSuchFolder), {given}));
      }
      if (kind != PathKind::Folder && kind != PathKind::Unknown) {
        return Refuse(ErrorCode::NotAFolder, Filled(Text(language_, CliText::NotAFolder), {given}));
      }
    }
    if (ImagesCorrupt(services_.images)) return RefuseCorrupt();
    ProgressLine progress(env_.console, language_, ShowProgress());
    CardProgress view(progress, 0, 1);  // reading only
    const ModuleCheck check = CheckBootModule(folder, services_.images, env_.files, view, kCardTransferSize);
    const std::vector<FileFinding>& findings = check.findings;
    progress.Finish();
    std::vector<FileReport> reports;
    std::vector<std::optional<OwnChecksum>> checksums;
    bool unreadable = false;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      FileReport report{&services_.images[i], findings[i], {}};
      const auto kind = findings[i].kind;
      const std::string path = folder + std::string(services_.images[i].fileName);
      if (env_.inspectPath && (kind == FileFinding::Kind::Unreadable || kind == FileFinding::Kind::Longer)) {
        report.path = env_.inspectPath(path);
      }
      const bool sized = report.path.kind == PathKind::RegularFile;
      report.checksum = CheckFileChecksum(path, findings[i], env_.files,
                                          sized ? std::optional(report.path.size) : std::nullopt);
      Out(DescribeFinding(language_, *report.image, report.finding, report.path, report.checksum) + "\n");
      unreadable = unreadable || kind == FileFinding::Kind::Unreadable ||
                   (report.checksum && report.checksum->errorCode != 0);
      reports.push_back(report);
      checksums.push_back(report.checksum);
    }
    const bool holds = HoldsModule(findings);
    const CardVerdict verdict = JudgeCard(findings, checksums);
    const int status = holds ? kExitSuccess : unreadable ? kExitIoError : kExitMismatch;
    Out(std::string(Text(language_, holds ? CliText::ModuleFound : CliText::ModuleNotFound)) + "\n");
    if (!check.deviceCompared) Out(std::string(StationWords(language_, StationText::CacheOnly)) + "\n");
    Out(std::string(VerdictText(language_, verdict)) + "\n");
    return line_.json ? Document(VerifyJson(language_, folder, reports, holds, verdict, check.deviceCompared,
                                            status),
                                 status)
                      : status;
  }

  // One log line per card of a write; false when a line could not be appended, which has been reported.
  bool LogCards(std::span<const CardResult> results, std::span<const platform::VolumeFacts> volumes) {
    if (!log_) return true;
    bool logged = true;
    for (std::size_t i = 0; i < results.size(); ++i) {
      station::CardEnd card{results[i], results[i].eject, volumes[i]};
      station::StampEnd(card, services_.recordFacts);
      if (!log_->Append(station::CardLogLine(card, services_.recordFacts))) {
        ErrorLines(env_.console, Filled(StationWords(language_, StationText::RecordFailed), {line_.logPath}));
        logged = false;
      }
    }
    return logged;
  }

  Environment& env_;
  const station::Services& services_ = env_.services;
  const CommandLine& line_;
  LanguageIndex language_;
  std::unique_ptr<platform::AppendFile> log_;
};

}  // namespace

int RunCli(std::span<const std::string> arguments, Environment& environment) {
  environment.services.recordFacts = CliRecordFacts(environment);
  const CommandLine line = ParseCommandLine(arguments, environment.defaultLanguage);
  const LanguageIndex language = line.language.value_or(environment.defaultLanguage);
  int status = kExitUsage;
  if (!line.error.empty()) {
    ErrorLines(environment.console, line.error + "\n" + std::string(Text(language, CliText::TryHelp)));
    if (line.json)
      PrintJson(environment, ErrorJson("", ErrorCodeRow(ErrorCode::Usage).name, line.error, status));
  } else {
    try {
      status = Run(environment, line).Execute();
    } catch (const RaisedError& error) {
      status = kExitIoError;
      const std::string text = ErrorBoxText(error.what());
      ErrorLines(environment.console, text);
      if (line.json)
        PrintJson(environment,
                  ErrorJson(CommandName(line.command), ErrorCodeRow(ErrorCode::IoError).name, text, status));
    }
  }
  // Output that never arrived (a full disk, a closed pipe) must not end in success.
  if (environment.console.Failed(platform::Console::Stream::Out)) {
    ErrorLines(environment.console, Text(language, CliText::OutputFailed));
    if (status != kExitUsage) status = WorstStatus(status, kExitIoError);
  }
  return status;
}

station::RecordFacts CliRecordFacts(const Environment& environment) {
  return {environment.services.images, environment.imageSha256,      build::kVersionText, "scaleboot-cli",
          environment.testFirmware,    environment.clockSynchronised};
}

std::string RootKey(std::string_view path) {
  if (IsDriveLetterRoot(path)) {
    const char letter = path[0] >= 'a' ? static_cast<char>(path[0] - 'a' + 'A') : path[0];
    return {letter, ':'};
  }
  while (path.size() > 1 && IsSeparator(path.back())) path.remove_suffix(1);
  return std::string(path);
}

std::optional<std::string> MatchRemovableRoot(std::string_view given, std::span<const std::string> roots) {
  if (given.empty()) return std::nullopt;
  const std::string key = RootKey(given);
  for (const std::string& root : roots) {
    if (RootKey(root) == key) return root;
  }
  return std::nullopt;
}

std::string FolderPath(std::string_view given) {
  std::string folder(given);
  if (folder.empty() || IsSeparator(folder.back())) return folder;
  const bool backslashes = IsDriveLetterRoot(given) || folder.find('\\') != std::string::npos;
  return folder + (backslashes ? '\\' : '/');
}

}  // namespace scaleboot::cli
