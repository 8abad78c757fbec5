#include "main/cli/StationStatus.h"

#include <algorithm>

#include "ui/StationWindow.h"

namespace scaleboot::cli {

using Kind = station::Event::Kind;

std::string StationStatusText(LanguageIndex language, bool stopping, std::size_t running, std::size_t written,
                              std::size_t failed) {
  const bool ru = language == kRussian;
  std::string text = stopping ? (ru ? "Остановка; в работе: " : "Stopping; in progress: ")
                              : (ru ? "В работе: " : "In progress: ");
  text += std::to_string(running) + (ru ? "; записано: " : "; written: ") + std::to_string(written) +
          (ru ? "; с ошибкой: " : "; failed: ") + std::to_string(failed);
  return text;
}

void StationStatusRelay::Take(const station::Event& event) {
  if (feedback_ == nullptr) return;
  switch (event.kind) {
    case Kind::Watching:
    case Kind::WatchingAny:
      // Readers that all held a card at the start are watched without a Watching event: the first waiting
      // line then says the station is ready.
      if (!ready_) Ready();
      return;
    case Kind::CardStarted:
      // A card begun in an empty station starts its lights afresh.
      if (running_++ == 0) needsTechnician_ = false;
      feedback_->Light(platform::Lamp::Writing);
      break;
    case Kind::CardEnded:
      if (running_ != 0) --running_;
      needsTechnician_ = needsTechnician_ || !MayTakeAway(*event.card);
      if (running_ == 0)
        feedback_->Light(needsTechnician_ ? platform::Lamp::NeedsTechnician : platform::Lamp::TakeAway);
      break;
    case Kind::Waiting:
      if (!ready_) {
        Ready();
        return;
      }
      [[fallthrough]];
    case Kind::Stopped:
      // Counts only grow; the waiting line hidden at a stop carries none.
      written_ = std::max(written_, event.written);
      failed_ = std::max(failed_, event.failed);
      break;
    case Kind::Stopping:
      stopping_ = true;
      running_ = event.running;
      feedback_->Stopping(Text());
      return;
    default:
      return;
  }
  if (ready_) feedback_->Status(Text());
}

}  // namespace scaleboot::cli
