// The station's events as a board without a screen shows them (platform::StationFeedback): its readiness
// once it watches, its counts as cards begin and end, and its stop. Fed every event the command line's
// station turns into lines, on the owner's thread.
#pragma once
#include <algorithm>
#include <cstddef>
#include <string>

#include "platform/StationFeedback.h"
#include "station/CardRecord.h"
#include "station/Events.h"
#include "ui/MessageTable.h"

namespace scaleboot::cli {

// "In progress: 1; written: 3; failed: 0", and "Stopping; ..." before it while a stop is under way.
std::string StationStatusText(LanguageIndex language, bool stopping, std::size_t running, std::size_t written,
                              std::size_t failed);

class StationStatusRelay {
 public:
  StationStatusRelay(platform::StationFeedback* feedback, LanguageIndex language)
      : feedback_(feedback), language_(language) {}
  void Take(const station::Event& event);

 private:
  void Ready() {
    ready_ = true;
    feedback_->Ready(Text());
    feedback_->Light(platform::Lamp::Idle);
  }
  // The first Watching, WatchingAny or Waiting: nothing more is said of it.
  bool ReadyOnce() {
    if (!ready_) Ready();
    return false;
  }
  // Counts only grow; the waiting line hidden at a stop carries none.
  bool Counts(std::size_t written, std::size_t failed) {
    written_ = std::max(written_, written);
    failed_ = std::max(failed_, failed);
    return true;
  }
  std::string Text() const { return StationStatusText(language_, stopping_, running_, written_, failed_); }

  platform::StationFeedback* feedback_;
  LanguageIndex language_;
  bool ready_ = false, stopping_ = false;
  bool needsTechnician_ = false;  // a card that ended since the station was last empty needs the technician
  std::size_t running_ = 0, written_ = 0, failed_ = 0;
};

}  // namespace scaleboot::cli
