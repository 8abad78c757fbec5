// The progress line on the terminal, in one of two layouts: one card, its phase and the whole percentage of
// that phase ("Writing    37%"), ended with a line break; or a batch, each card's label and the whole
// percentage of its run, or the word for a card that has ended ("E:    37% | F: failed"), erased at the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "card/BootModuleWriter.h"
#include "platform/Platform.h"
#include "ui/Gauge.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

// Workers report from their own threads; the line is redrawn, under a lock, only when a card's phase, whole
// percentage or end changes. Every line drawn is as wide as any other of its layout, so it covers the one
// before it completely. Disabled, it shows nothing.
class ProgressLine {
 public:
  using Phase = WriterView::Phase;

  // One card, shown by its phase: card 0.
  ProgressLine(platform::Console& console, LanguageIndex language, bool enabled);
  // A batch, one field per card, each shown by its label.
  ProgressLine(platform::Console& console, LanguageIndex language, std::vector<std::string> labels,
               bool enabled);

  // The card's phase; what it shows next is drawn even when its percentage stays the same.
  void SetPhase(std::size_t card, Phase phase);
  void SetPercent(std::size_t card, int percent);
  void SetFinished(std::size_t card, bool verified);
  // Ends what has been drawn, so that what follows starts at the beginning of an empty line: a line break
  // after one card's line, an erased line after a batch's.
  void Finish();

 private:
  enum class Layout { OneCard, Batch };
  struct CardState {
    int percent = 0;
    Phase phase = Phase::Writing;
    enum class End { Running, Done, Failed } end = End::Running;
    bool operator==(const CardState&) const = default;
  };
  void Show(std::size_t card, const CardState& next);
  std::string ComposeLocked() const;

  platform::Console& console_;
  LanguageIndex language_;
  Layout layout_;
  std::vector<std::string> labels_;
  bool enabled_;
  std::mutex mutex_;
  std::vector<CardState> cards_;
  bool phaseStarted_ = false;  // a phase has begun since the last line was drawn
  std::size_t width_ = 0;      // characters of the line last drawn; 0 when nothing is shown
};

// The writer's view of one card: turns its gauge calls into the card's whole percentage on the line. With
// `phases` above 0 the percentage starts again with each phase, which covers that share of the range (the
// write of one card has two, a verify one); with 0 it runs once over the whole range.
class CardProgress : public WriterView {
 public:
  CardProgress(ProgressLine& line, std::size_t card, int phases = 0)
      : line_(line), card_(card), phases_(phases) {}
  void SetWriteEnabled(bool) override {}
  void SetGaugeRange(int minimum, int maximum) override;
  void SetGaugePosition(int position) override { position_ = position; }
  void AddGaugeProgress(int delta) override {
    position_ += delta;
    if (percent_.Update(position_)) line_.SetPercent(card_, percent_.percent());
  }
  void BeginPhase(Phase phase) override;

 private:
  ProgressLine& line_;
  std::size_t card_;
  int phases_;
  int minimum_ = 0, maximum_ = 0;
  std::int64_t position_ = 0;
  WholePercent percent_;
};

}  // namespace scaleboot::cli
