// Writing the module to several cards at once: one worker thread per card, each running exactly the write of
// a single card with a file system of its own, and one progress line on the terminal for all of them.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "card/BootModuleWriter.h"
#include "images/FirmwareImages.h"
#include "platform/Platform.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

// How the write of one card ended.
enum class CardOutcome {
  Verified,       // every byte read back equals the image
  Mismatch,       // a byte differed: the four files have been deleted again
  IoError,        // a file operation failed: the files stay as they are
  CorruptImages,  // an embedded image failed its checksum test: nothing was written
};

struct CardResult {
  std::string root;
  CardOutcome outcome = CardOutcome::Verified;
  int ioCode = 0;           // the I/O code of an IoError outcome; 0 when the error carried none
  std::string errorText{};  // the text of an IoError outcome, as the window shows it ("I/O error 19.")
  std::vector<std::string> alsoNamed{};  // the other roots given that name this card's folder
};

// The exit status of one card's outcome, and the worse of two statuses: 4 before 3 before 1 before 0 (2, a
// usage error, is decided before any card is touched and stays as it is).
int StatusOf(CardOutcome outcome);
int WorstStatus(int a, int b);

// The whole percentage of a stretch of gauge positions, recomputed only when it can have changed: a writer
// calls Update once per byte, so that call is a single comparison almost every time.
class WholePercent {
 public:
  // A stretch of `length` positions from `start`; the percentage is unknown until the next Update.
  void Start(std::int64_t start, std::int64_t length);
  // True when the percentage at `position` differs from the one last reported.
  bool Update(std::int64_t position) { return position >= nextChange_ && Recompute(position); }
  int percent() const { return percent_; }

 private:
  bool Recompute(std::int64_t position);
  std::int64_t start_ = 0, length_ = 0, nextChange_ = 0;
  int percent_ = -1;
};

// The one progress line of a batch on the terminal: each card's label and the whole percentage of its run
// (writing and reading back), or the word for a card that has ended ("E:  37% | F:  12% | G: done"). Workers
// report from their own threads; the line is redrawn, under a lock, only when a card's whole percentage or
// its end changes, and cleared by Clear. Disabled, it shows nothing.
class BatchProgressLine {
 public:
  BatchProgressLine(platform::Console& console, LanguageIndex language, std::vector<std::string> labels,
                    bool enabled);
  void SetPercent(std::size_t card, int percent);
  void SetFinished(std::size_t card, bool verified);
  // Erases the line, so that what follows starts at the beginning of an empty line.
  void Clear();

 private:
  void DrawLocked();

  struct CardState {
    int percent = 0;
    enum class End { Running, Done, Failed } end = End::Running;
    bool operator==(const CardState&) const = default;
  };
  platform::Console& console_;
  LanguageIndex language_;
  std::vector<std::string> labels_;
  bool enabled_;
  std::mutex mutex_;
  std::vector<CardState> cards_;
  std::size_t width_ = 0;  // characters of the line last drawn; 0 when nothing is shown
};

// The label of each root on the batch progress line: "E:" for a drive letter; for a mount point its last
// folder name followed by ":", or its whole path when two cards share that name.
std::vector<std::string> ProgressLabels(std::span<const std::string> roots);

// The writer's view of one card of a batch: turns its gauge calls into the card's whole percentage.
class CardProgress : public WriterView {
 public:
  CardProgress(BatchProgressLine& line, std::size_t card) : line_(line), card_(card) {}
  void SetWriteEnabled(bool) override {}
  void SetGaugeRange(int minimum, int maximum) override;
  void SetGaugePosition(int) override {}
  void AddGaugeProgress(int delta) override {
    position_ += delta;
    if (percent_.Update(position_)) line_.SetPercent(card_, percent_.percent());
  }

 private:
  BatchProgressLine& line_;
  std::size_t card_;
  std::int64_t position_ = 0;
  WholePercent percent_;
};

// Writes the module to one card exactly as the window's button does and says how it ended; never raises.
CardResult WriteCard(const std::string& root, std::span<const FirmwareImage> images,
                     platform::ByteFileSystem& files, WriterView& view);

using FileSystemFactory = std::function<std::unique_ptr<platform::ByteFileSystem>()>;

// Writes the module to every root at the same time, one thread per card. Each card gets a file system of its
// own from `newFiles`, made here in the order of `roots` before any thread starts, so no worker touches
// another's state; a card that fails ends its own run only. Returns once every run has ended, the results in
// the order of `roots`.
std::vector<CardResult> WriteCards(std::span<const std::string> roots, std::span<const FirmwareImage> images,
                                   const FileSystemFactory& newFiles, BatchProgressLine& progress);

}  // namespace scaleboot::cli
