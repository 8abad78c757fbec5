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
#include "ui/Contents.h"

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

std::vector<std::string> RemovableRoots(platform::DriveSource& drives) {
  std::int32_t noLengthSeen = -1;  // any list differs from it, so the scan always reports
  const auto update = RescanDrives(drives, noLengthSeen, 0);
  return update ? update->drives : std::vector<std::string>{};
}

std::string WithUnixLineBreaks(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
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
    switch (line_.command) {
      case Command::Help:
        // Help wins over every other argument, --json included.
        env_.console.Write(Stream::Out, Text(language_, CliText::Usage));
        return kExitSuccess;
      case Command::Version:
        if (line_.json) return Document(VersionJson(build::kVersionText), kExitSuccess);
        Out(std::string("scaleboot-cli ") + build::kVersionText + "\n");
        return kExitSuccess;
      case Command::List:
        return List();
      case Command::Contents:
        return Contents();
      case Command::Write:
        return Write();
      case Command::Verify:
        return Verify();
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
    env_.console.Write(Stream::Out, document);
    return status;
  }
  // Ends the command before its work: the text on standard error and, with --json, the error document.
  int Refuse(std::string_view code, const std::string& text, int status,
             std::span<const std::string> removableRoots = {}) {
    ErrorLines(env_.console, text);
    if (line_.json)
      Document(ErrorJson(CommandName(line_.command), code, text, status, removableRoots), status);
    return status;
  }
  std::string_view Msg(scaleboot::Msg row) const { return scaleboot::Text(language_, row); }
  bool ShowProgress() { return !line_.quiet && env_.console.IsTerminal(Stream::Err); }

  int RefuseCorrupt() { return Refuse("corrupt-images", std::string(Msg(Msg::CorruptText)), kExitCorrupt); }

  int List() {
    const std::vector<std::string> roots = RemovableRoots(env_.drives);
    if (line_.json) return Document(ListJson(roots), kExitSuccess);
    for (const std::string& root : roots) Out(root + "\n");
    // An empty answer on a terminal looks like a program that did nothing; a script reading a pipe gets none.
    if (roots.empty() && env_.console.IsTerminal(Stream::Out)) {
      ErrorLines(env_.console, Text(language_, CliText::NoRemovableDrives));
    }
    return kExitSuccess;
  }

  int Contents() {
    if (ImagesCorrupt(env_.images)) return RefuseCorrupt();
    if (line_.json) return Document(ContentsJson(language_), kExitSuccess);
    Out(WithUnixLineBreaks(ComposeContentsText(language_)) + "\n");
    return kExitSuccess;
  }

  // The listed roots the command names, each once, in the order given; nothing when one of them is not
  // listed, which has then been reported.
  std::optional<std::vector<std::string>> CardsToWrite(int& status) {
    const std::vector<std::string> listed = RemovableRoots(env_.drives);
    if (line_.all) {
      if (listed.empty()) {
        status = Refuse("no-removable-drive", std::string(Text(language_, CliText::NoRemovableDrives)),
                        kExitUsage);
        return std::nullopt;
      }
      return listed;
    }
    std::vector<std::string> cards;
    for (const std::string& given : line_.roots) {
      const std::optional<std::string> root = MatchRemovableRoot(given, listed);
      if (!root) {
        std::string list;
        for (const std::string& r : listed) list += (list.empty() ? "" : ", ") + r;
        status = Refuse("not-removable",
                        Format(Text(language_, CliText::NotRemovable), {given}) + "\n" +
                            (listed.empty() ? std::string(Text(language_, CliText::NoRemovableDrives))
                                            : Format(Text(language_, CliText::RemovableDrives), {list})),
                        kExitUsage, listed);
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
    // One card under two names is written once, as the first of them.
    const OneRootPerFolder same = OnePerFolder(*given, env_.identifyFolder);
    const std::optional<std::vector<std::string>> cards = same.roots;
    std::vector<CardResult> results;
    if (ImagesCorrupt(env_.images)) {
      for (const std::string& root : *cards) results.push_back({root, CardOutcome::CorruptImages});
      for (std::size_t i = 0; i < results.size(); ++i) results[i].alsoNamed = same.alsoNamed[i];
      ErrorLines(env_.console, Msg(Msg::CorruptText));
      return line_.json ? Document(WriteJson(language_, results, kExitCorrupt), kExitCorrupt) : kExitCorrupt;
    }
    if (cards->size() == 1) {
      ProgressLine progress(env_.console, language_, 2, ShowProgress());
      results.push_back(WriteCard(cards->front(), env_.images, env_.files, progress));
      progress.Finish();
    } else {
      BatchProgressLine progress(env_.console, language_, ProgressLabels(*cards), ShowProgress());
      results = WriteCards(*cards, env_.images, env_.newFiles, progress);
      progress.Clear();
    }
    for (std::size_t i = 0; i < results.size(); ++i) results[i].alsoNamed = same.alsoNamed[i];
    // One line per card, in the order given; a single card named once has the window's text alone.
    for (const CardResult& card : results) {
      status = WorstStatus(status, StatusOf(card.outcome));
      const std::string text = (results.size() == 1 && card.alsoNamed.empty() ? "" : CardNames(card) + ": ") +
                               CardText(language_, card);
      if (card.outcome == CardOutcome::Verified) {
        Out(text + "\n");
      } else {
        ErrorLines(env_.console, text);
      }
    }
    return line_.json ? Document(WriteJson(language_, results, status), status) : status;
  }

  // The card's root, or every root given for it ("E:\ and F:\ are the same card").
  std::string CardNames(const CardResult& card) const {
    if (card.alsoNamed.empty()) return card.root;
    std::string first = card.root;
    for (std::size_t i = 0; i + 1 < card.alsoNamed.size(); ++i) first += ", " + card.alsoNamed[i];
    return Format(Text(language_, CliText::SameCard), {first, card.alsoNamed.back()});
  }

  int Verify() {
    const std::string& given = line_.roots.front();
    const std::optional<std::string> root = MatchRemovableRoot(given, RemovableRoots(env_.drives));
    const std::string folder = root ? *root : FolderPath(given);
    // A mistyped folder must not look like a card without the module: say so before reading anything.
    if (env_.inspectPath) {
      const PathKind kind = env_.inspectPath(folder).kind;
      if (kind == PathKind::Missing) {
        return Refuse("no-such-folder", Format(Text(language_, CliText::NoSuchFolder), {given}), kExitUsage);
      }
      if (kind != PathKind::Folder && kind != PathKind::Unknown) {
        return Refuse("not-a-folder", Format(Text(language_, CliText::NotAFolder), {given}), kExitUsage);
      }
    }
    if (ImagesCorrupt(env_.images)) return RefuseCorrupt();
    ProgressLine progress(env_.console, language_, 1, ShowProgress());
    const std::vector<FileFinding> findings = VerifyBootModule(folder, env_.images, env_.files, progress);
    progress.Finish();
    std::vector<FileReport> reports;
    bool unreadable = false;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      FileReport report{&env_.images[i], findings[i], {}};
      const auto kind = findings[i].kind;
      if (env_.inspectPath && (kind == FileFinding::Kind::Unreadable || kind == FileFinding::Kind::Longer)) {
        report.path = env_.inspectPath(folder + std::string(env_.images[i].fileName));
      }
      Out(DescribeFinding(language_, *report.image, report.finding, report.path) + "\n");
      unreadable = unreadable || kind == FileFinding::Kind::Unreadable;
      reports.push_back(report);
    }
    const bool holds = HoldsModule(findings);
    const int status = holds ? kExitSuccess : unreadable ? kExitIoError : kExitMismatch;
    Out(std::string(Text(language_, holds ? CliText::ModuleFound : CliText::ModuleNotFound)) + "\n");
    return line_.json ? Document(VerifyJson(language_, folder, reports, holds, status), status) : status;
  }

  Environment& env_;
  const CommandLine& line_;
  LanguageIndex language_;
};

}  // namespace

int RunCli(std::span<const std::string> arguments, Environment& environment) {
  const CommandLine line = ParseCommandLine(arguments, environment.defaultLanguage);
  const LanguageIndex language = line.language.value_or(environment.defaultLanguage);
  int status = kExitUsage;
  if (!line.error.empty()) {
    ErrorLines(environment.console, line.error + "\n" + std::string(Text(language, CliText::TryHelp)));
    if (line.json)
      environment.console.Write(platform::Console::Stream::Out, ErrorJson("", "usage", line.error, status));
  } else {
    try {
      status = Run(environment, line).Execute();
    } catch (const RaisedError& error) {
      status = kExitIoError;
      const std::string text = ErrorBoxText(error.what());
      ErrorLines(environment.console, text);
      if (line.json) {
        environment.console.Write(platform::Console::Stream::Out,
                                  ErrorJson(CommandName(line.command), "io-error", text, status));
      }
    }
  }
  // Output that never arrived (a full disk, a closed pipe) must not end in success.
  if (environment.console.Failed(platform::Console::Stream::Out)) {
    ErrorLines(environment.console, Text(language, CliText::OutputFailed));
    if (status != kExitUsage) status = WorstStatus(status, kExitIoError);
  }
  return status;
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

std::string_view FindingCode(const FileFinding& finding, const platform::PathInfo& path) {
  using Kind = FileFinding::Kind;
  switch (finding.kind) {
    case Kind::Identical:
      return "identical";
    case Kind::Differs:
      return "differs";
    case Kind::Shorter:
      return "shorter";
    case Kind::Longer:
      return "longer";
    case Kind::Missing:
      return "missing";
    case Kind::Unreadable:
      if (path.kind == PathKind::SymbolicLink) return "symbolic-link";
      if (path.kind == PathKind::Folder || path.kind == PathKind::Other) return "not-regular-file";
      return "unreadable";
  }
  return "unreadable";
}

std::string DescribeFinding(LanguageIndex language, const FirmwareImage& image, const FileFinding& finding,
                            const platform::PathInfo& path) {
  using Kind = FileFinding::Kind;
  const std::string_view name = image.fileName;
  // A file that ends early or goes on past its image may differ within the image's length as well.
  const std::string alsoDiffers =
      finding.differingBytes == 0
          ? ""
          : Format(Text(language, CliText::AlsoDiffers),
                   {std::to_string(finding.firstDifference), std::to_string(finding.differingBytes)});
  const std::string_view code = FindingCode(finding, path);
  switch (finding.kind) {
    case Kind::Identical:
      return Format(Text(language, CliText::FileIdentical), {name});
    case Kind::Differs:
      return Format(Text(language, CliText::FileDiffers),
                    {name, std::to_string(finding.firstDifference), std::to_string(finding.differingBytes)});
    case Kind::Shorter:
      return Format(Text(language, CliText::FileShorter),
                    {name, std::to_string(finding.bytesRead), std::to_string(image.length)}) +
             alsoDiffers;
    case Kind::Longer:
      if (path.kind == PathKind::RegularFile && path.size > image.length) {
        return Format(Text(language, CliText::FileLongerBy),
                      {name, std::to_string(path.size), std::to_string(image.length)}) +
               alsoDiffers;
      }
      return Format(Text(language, CliText::FileLonger), {name, std::to_string(image.length)}) + alsoDiffers;
    case Kind::Missing:
      return Format(Text(language, CliText::FileMissing), {name});
    case Kind::Unreadable:
      if (code == "symbolic-link") return Format(Text(language, CliText::FileSymbolicLink), {name});
      if (code == "not-regular-file") return Format(Text(language, CliText::FileNotRegular), {name});
      return Format(Text(language, CliText::FileUnreadable),
                    {name, ErrorBoxText(IoError::TextFor(finding.errorCode))});
  }
  return std::string(name);
}

ProgressLine::ProgressLine(platform::Console& console, LanguageIndex language, int phases, bool enabled)
    : console_(console), language_(language), phases_(std::max(phases, 1)), enabled_(enabled) {}

void ProgressLine::SetGaugeRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
}

void ProgressLine::BeginPhase(Phase phase) {
  phase_ = phase;
  percent_.Start(position_, (static_cast<std::int64_t>(maximum_) - minimum_) / phases_);
  AddGaugeProgress(0);
}

void ProgressLine::Draw() {
  // Every line has the same width (labels padded to the longer one, the percentage right-aligned), so each
  // one covers the one before it completely.
  const std::string_view writing = Text(language_, CliText::Writing);
  const std::string_view verifying = Text(language_, CliText::Verifying);
  const std::string_view label = phase_ == Phase::Writing ? writing : verifying;
  const std::size_t width = std::max(Characters(writing), Characters(verifying));
  const std::string percent = std::to_string(percent_.percent());
  std::string line = "\r";
  line.append(label).append(width - Characters(label) + 4 - percent.size(), ' ').append(percent).append("%");
  console_.Write(platform::Console::Stream::Err, line);
  drawn_ = true;
}

void ProgressLine::Finish() {
  if (drawn_) console_.Write(platform::Console::Stream::Err, "\n");
  drawn_ = false;
}

}  // namespace scaleboot::cli
