#include "main/cli/StationStatus.h"

#include <algorithm>
#include <variant>

#include "common/Overloaded.h"

namespace scaleboot::cli {

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
  namespace ev = station::event;
  const bool said = std::visit(
      Overloaded{
          // Readers that all held a card at the start are watched without a Watching event: the first
          // waiting line then says the station is ready.
          [&](const ev::Watching&) { return ReadyOnce(); },
          [&](const ev::WatchingAny&) { return ReadyOnce(); },
          [&](const ev::CardStarted&) {
            // A card begun in an empty station starts its lights afresh.
            if (running_++ == 0) needsTechnician_ = false;
            feedback_->Light(platform::Lamp::Writing);
            return true;
          },
          [&](const ev::CardEnded& ended) {
            if (running_ != 0) --running_;
            needsTechnician_ = needsTechnician_ || !MayTakeAway(ended.card);
            if (running_ == 0)
              feedback_->Light(needsTechnician_ ? platform::Lamp::NeedsTechnician : platform::Lamp::TakeAway);
            return true;
          },
          [&](const ev::Waiting& waiting) {
            if (!ready_) return ReadyOnce();
            return Counts(waiting.written, waiting.failed);
          },
          [&](const ev::Stopped& stopped) { return Counts(stopped.written, stopped.failed); },
          [&](const ev::Stopping& stopping) {
            stopping_ = true;
            running_ = stopping.running;
            feedback_->Stopping(Text());
            return false;
          },
          [](const auto&) { return false; },
      },
      event);
  if (!said) return;
  if (ready_) feedback_->Status(Text());
}

}  // namespace scaleboot::cli
