#include "main/cli/ProgressLine.h"

#include <algorithm>

#include "main/cli/CliTexts.h"

namespace scaleboot::cli {
namespace {

std::string PadLeft(std::string_view text, std::size_t width) {
  const std::size_t length = Characters(text);
  return std::string(width > length ? width - length : 0, ' ') + std::string(text);
}

}  // namespace

ProgressLine::ProgressLine(platform::Console& console, LanguageIndex language, bool enabled)
    : console_(console), language_(language), layout_(Layout::OneCard), enabled_(enabled), cards_(1) {}

ProgressLine::ProgressLine(platform::Console& console, LanguageIndex language,
                           std::vector<std::string> labels, bool enabled)
    : console_(console),
      language_(language),
      layout_(Layout::Batch),
      labels_(std::move(labels)),
      enabled_(enabled),
      cards_(labels_.size()) {}

void ProgressLine::SetPhase(std::size_t card, Phase phase) {
  if (!enabled_) return;
  const std::lock_guard lock(mutex_);
  cards_.at(card).phase = phase;
  phaseStarted_ = true;
}

void ProgressLine::SetPercent(std::size_t card, int percent) {
  if (!enabled_) return;
  const std::lock_guard lock(mutex_);
  CardState next = cards_.at(card);
  next.percent = percent;
  Show(card, next);
}

void ProgressLine::SetFinished(std::size_t card, bool verified) {
  if (!enabled_) return;
  const std::lock_guard lock(mutex_);
  CardState next = cards_.at(card);
  next.end = verified ? CardState::End::Done : CardState::End::Failed;
  Show(card, next);
}

void ProgressLine::Show(std::size_t card, const CardState& next) {
  if (next == cards_[card] && width_ != 0 && !phaseStarted_) return;
  cards_[card] = next;
  phaseStarted_ = false;
  const std::string line = ComposeLocked();
  width_ = Characters(line);
  console_.Write(platform::Console::Stream::Err, "\r" + line);
}

std::string ProgressLine::ComposeLocked() const {
  if (layout_ == Layout::OneCard) {
    // The phase's name padded to the longer one, the percentage right-aligned.
    const std::string_view writing = Text(language_, CliText::Writing);
    const std::string_view verifying = Text(language_, CliText::Verifying);
    const CardState& card = cards_.front();
    const std::string_view label = card.phase == Phase::Writing ? writing : verifying;
    const std::size_t width = std::max(Characters(writing), Characters(verifying));
    return std::string(label) + std::string(width - Characters(label), ' ') +
           PadLeft(std::to_string(card.percent) + "%", Characters("100%") + 1);
  }
  // Each card's field has one width whatever it shows.
  const std::string_view done = Text(language_, CliText::ProgressDone);
  const std::string_view failed = Text(language_, CliText::ProgressFailed);
  const std::size_t field = std::max({Characters("100%"), Characters(done), Characters(failed)});
  std::string line;
  for (std::size_t i = 0; i < cards_.size(); ++i) {
    const CardState& card = cards_[i];
    const std::string value = card.end == CardState::End::Done     ? std::string(done)
                              : card.end == CardState::End::Failed ? std::string(failed)
                                                                   : std::to_string(card.percent) + "%";
    line += (i == 0 ? "" : " | ") + labels_[i] + " " + PadLeft(value, field);
  }
  return line;
}

void ProgressLine::Finish() {
  const std::lock_guard lock(mutex_);
  if (width_ == 0) return;
  if (layout_ == Layout::OneCard) {
    console_.Write(platform::Console::Stream::Err, "\n");
  } else {
    std::string blank(width_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    console_.Write(platform::Console::Stream::Err, blank);
  }
  width_ = 0;
}

void CardProgress::SetGaugeRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
  position_ = minimum;
  if (phases_ == 0) percent_.Start(minimum, static_cast<std::int64_t>(maximum) - minimum);
}

void CardProgress::BeginPhase(Phase phase) {
  if (phases_ == 0) return;
  line_.SetPhase(card_, phase);
  percent_.Start(position_, (static_cast<std::int64_t>(maximum_) - minimum_) / phases_);
  AddGaugeProgress(0);
}

}  // namespace scaleboot::cli
