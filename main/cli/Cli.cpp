#include "main/cli/Cli.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "BuildInfo.h"
#include "card/DriveScan.h"
#include "common/Errors.h"
#include "main/cli/CliTexts.h"
#include "main/cli/CommandLine.h"
#include "ui/Contents.h"

namespace scaleboot::cli {
namespace {

using Stream = platform::Console::Stream;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool IsDriveLetterRoot(std::string_view path) {
  const bool letter =
      path.size() >= 2 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return letter && path[1] == ':' && (path.size() == 2 || (path.size() == 3 && IsSeparator(path[2])));
}

// The form two names of one root share: "E:" for a drive letter whatever its case and separator, otherwise
// the path without trailing separators ("/" stays "/").
std::string RootKey(std::string_view path) {
  if (IsDriveLetterRoot(path)) {
    const char letter = path[0] >= 'a' ? static_cast<char>(path[0] - 'a' + 'A') : path[0];
    return {letter, ':'};
  }
  while (path.size() > 1 && IsSeparator(path.back())) path.remove_suffix(1);
  return std::string(path);
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

// Characters of UTF-8 text: the bytes that do not continue a character.
std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::uint8_t CorruptCountOf(std::span<const FirmwareImage> images) {
  std::uint8_t corrupt = 0;
  VerifyImageChecksums(images, corrupt);
  return corrupt;
}

class Run {
 public:
  Run(Environment& environment, const CommandLine& line)
      : env_(environment), line_(line), language_(line.language.value_or(environment.defaultLanguage)) {}

  int Execute() {
    switch (line_.command) {
      case Command::Help:
        Out(Text(language_, CliText::Usage));
        return kExitSuccess;
      case Command::Version:
        Out(std::string("scaleboot-cli ") + build::kVersionText + "\n");
        return kExitSuccess;
      case Command::List:
        for (const std::string& root : RemovableRoots(env_.drives)) Out(root + "\n");
        return kExitSuccess;
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
  void Out(std::string_view text) { env_.console.Write(Stream::Out, text); }
  void Err(std::string_view text) { env_.console.Write(Stream::Err, text); }
  std::string_view Msg(scaleboot::Msg row) const { return scaleboot::Text(language_, row); }
  bool ShowProgress() { return !line_.quiet && env_.console.IsTerminal(Stream::Err); }

  bool RefuseWhenCorrupt() {
    if (CorruptCountOf(env_.images) == 0) return false;
    Err(std::string(Msg(Msg::CorruptText)) + "\n");
    return true;
  }

  int Contents() {
    if (RefuseWhenCorrupt()) return kExitCorrupt;
    Out(WithUnixLineBreaks(ComposeContentsText(language_)) + "\n");
    return kExitSuccess;
  }

  int Write() {
    if (RefuseWhenCorrupt()) return kExitCorrupt;
    const std::vector<std::string> roots = RemovableRoots(env_.drives);
    const std::optional<std::string> root = MatchRemovableRoot(line_.root, roots);
    if (!root) {
      std::string list;
      for (const std::string& r : roots) list += (list.empty() ? "" : ", ") + r;
      Err(Format(Text(language_, CliText::NotRemovable), {line_.root}) + "\n" +
          (roots.empty() ? std::string(Text(language_, CliText::NoRemovableDrives))
                         : Format(Text(language_, CliText::RemovableDrives), {list})) +
          "\n");
      return kExitUsage;
    }
    ProgressLine progress(env_.console, language_, 2, ShowProgress());
    WriteOutcome outcome;
    try {
      outcome = WriteBootModule(*root, env_.images, env_.files, progress);
    } catch (const RaisedError& error) {
      progress.Finish();
      Err(ErrorBoxText(error.what()) + "\n");
      return kExitIoError;
    }
    progress.Finish();
    if (outcome == WriteOutcome::Verified) {
      Out(std::string(Msg(Msg::WriteOkText)) + "\n");
      return kExitSuccess;
    }
    Err(std::string(Msg(Msg::WriteFailedText)) + "\n");
    return kExitMismatch;
  }

  int Verify() {
    if (RefuseWhenCorrupt()) return kExitCorrupt;
    const std::optional<std::string> root = MatchRemovableRoot(line_.root, RemovableRoots(env_.drives));
    const std::string folder = root ? *root : FolderPath(line_.root);
    ProgressLine progress(env_.console, language_, 1, ShowProgress());
    const std::vector<FileFinding> findings = VerifyBootModule(folder, env_.images, env_.files, progress);
    progress.Finish();
    bool unreadable = false;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      Out(DescribeFinding(language_, env_.images[i], findings[i]) + "\n");
      unreadable = unreadable || findings[i].kind == FileFinding::Kind::Unreadable;
    }
    if (HoldsModule(findings)) {
      Out(std::string(Text(language_, CliText::ModuleFound)) + "\n");
      return kExitSuccess;
    }
    Out(std::string(Text(language_, CliText::ModuleNotFound)) + "\n");
    return unreadable ? kExitIoError : kExitMismatch;
  }

  Environment& env_;
  const CommandLine& line_;
  LanguageIndex language_;
};

}  // namespace

int RunCli(std::span<const std::string> arguments, Environment& environment) {
  const CommandLine line = ParseCommandLine(arguments, environment.defaultLanguage);
  if (!line.error.empty()) {
    const LanguageIndex language = line.language.value_or(environment.defaultLanguage);
    environment.console.Write(Stream::Err, "scaleboot-cli: " + line.error + "\n" +
                                               std::string(Text(language, CliText::TryHelp)) + "\n");
    return kExitUsage;
  }
  try {
    return Run(environment, line).Execute();
  } catch (const RaisedError& error) {
    environment.console.Write(Stream::Err, ErrorBoxText(error.what()) + "\n");
    return kExitIoError;
  }
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

std::string DescribeFinding(LanguageIndex language, const FirmwareImage& image, const FileFinding& finding) {
  using Kind = FileFinding::Kind;
  const std::string_view name = image.fileName;
  switch (finding.kind) {
    case Kind::Identical:
      return Format(Text(language, CliText::FileIdentical), {name});
    case Kind::Differs:
      return Format(Text(language, CliText::FileDiffers),
                    {name, std::to_string(finding.firstDifference), std::to_string(finding.differingBytes)});
    case Kind::Shorter:
      return Format(Text(language, CliText::FileShorter),
                    {name, std::to_string(finding.bytesRead), std::to_string(image.length)});
    case Kind::Longer:
      return Format(Text(language, CliText::FileLonger), {name, std::to_string(image.length)});
    case Kind::Missing:
      return Format(Text(language, CliText::FileMissing), {name});
    case Kind::Unreadable:
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
  phaseStart_ = position_;
  percent_ = -1;
  nextChange_ = std::numeric_limits<std::int64_t>::min();
  AddGaugeProgress(0);
}

void ProgressLine::AddGaugeProgress(int delta) {
  position_ += delta;
  // Once per byte: nothing but a comparison until the percentage can have changed.
  if (!enabled_ || position_ < nextChange_) return;
  const std::int64_t phaseLength = (static_cast<std::int64_t>(maximum_) - minimum_) / phases_;
  const std::int64_t done = static_cast<std::int64_t>(position_) - phaseStart_;
  const int percent =
      phaseLength > 0 ? static_cast<int>(std::clamp<std::int64_t>(done * 100 / phaseLength, 0, 100)) : 0;
  // The first position whose percentage is above this one.
  nextChange_ = phaseLength > 0 && percent < 100 ? phaseStart_ + ((percent + 1) * phaseLength + 99) / 100
                                                 : std::numeric_limits<std::int64_t>::max();
  if (percent == percent_) return;
  percent_ = percent;
  Draw();
}

void ProgressLine::Draw() {
  // Every line has the same width (labels padded to the longer one, the percentage right-aligned), so each
  // one covers the one before it completely.
  const std::string_view writing = Text(language_, CliText::Writing);
  const std::string_view verifying = Text(language_, CliText::Verifying);
  const std::string_view label = phase_ == Phase::Writing ? writing : verifying;
  const std::size_t width = std::max(Characters(writing), Characters(verifying));
  const std::string percent = std::to_string(percent_);
  const std::string line = "\r" + std::string(label) +
                           std::string(width - Characters(label) + 4 - percent.size(), ' ') + percent + "%";
  console_.Write(platform::Console::Stream::Err, line);
  drawn_ = true;
}

void ProgressLine::Finish() {
  if (drawn_) console_.Write(platform::Console::Stream::Err, "\n");
  drawn_ = false;
}

}  // namespace scaleboot::cli
