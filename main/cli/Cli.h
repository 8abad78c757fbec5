// scaleboot-cli: lists removable drives, writes and verifies the module, checks a folder against it and shows
// its contents, over the same core as the windows. Everything the program does goes through this one call, so
// it runs the same against fakes in tests as against the system.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "card/BootModuleWriter.h"
#include "images/FirmwareImages.h"
#include "platform/Platform.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

// Exit statuses.
inline constexpr int kExitSuccess = 0;   // written and verified, or the folder holds exactly the module
inline constexpr int kExitMismatch = 1;  // a byte read back differed, or the folder does not hold the module
inline constexpr int kExitUsage = 2;     // a usage error, or the root is not a removable drive
inline constexpr int kExitIoError = 3;   // a file operation failed
inline constexpr int kExitCorrupt = 4;   // an embedded image failed its checksum test

struct Environment {
  platform::DriveSource& drives;
  platform::ByteFileSystem& files;
  platform::Console& console;
  std::span<const FirmwareImage> images;
  LanguageIndex defaultLanguage = kEnglish;
};

// Runs the command line `arguments` (without the program's name) and returns the exit status.
int RunCli(std::span<const std::string> arguments, Environment& environment);

// RunCli with the embedded images and the language of the user's locale: what a program entry calls.
int RunWithEmbeddedImages(std::span<const std::string> arguments, platform::DriveSource& drives,
                          platform::ByteFileSystem& files, platform::Console& console);

// The listed root that `given` names: "E:", "e:\" and "E:/" name "E:\"; a mount point may come with or
// without its trailing "/". Nothing when `given` names no listed root.
std::optional<std::string> MatchRemovableRoot(std::string_view given, std::span<const std::string> roots);

// `given` as a folder to put file names after: ends in a separator ("\" after a drive letter or where the
// path already uses backslashes, "/" otherwise).
std::string FolderPath(std::string_view given);

// One line of verify's report for `image`'s file, without the line break.
std::string DescribeFinding(LanguageIndex language, const FirmwareImage& image, const FileFinding& finding);

// The single progress line shown on a terminal: the phase and its whole percentage, redrawn only when either
// changes, ended with a line break when the run ends. Disabled, it shows nothing.
class ProgressLine : public WriterView {
 public:
  ProgressLine(platform::Console& console, LanguageIndex language, int phases, bool enabled);
  void SetWriteEnabled(bool) override {}
  void SetGaugeRange(int minimum, int maximum) override;
  void SetGaugePosition(int position) override { position_ = position; }
  void AddGaugeProgress(int delta) override;
  void BeginPhase(Phase phase) override;
  // Ends the line, so that what follows starts on a line of its own.
  void Finish();

 private:
  void Draw();

  platform::Console& console_;
  LanguageIndex language_;
  int phases_;
  bool enabled_;
  bool drawn_ = false;
  Phase phase_ = Phase::Writing;
  int minimum_ = 0, maximum_ = 0, position_ = 0, phaseStart_ = 0, percent_ = -1;
  std::int64_t nextChange_ = 0;  // the position at which the percentage can next change
};

}  // namespace scaleboot::cli
