// Keeping the machine up through systemd-logind: while held, a "sleep" inhibitor that blocks suspending and a
// "shutdown" inhibitor that delays a shutdown or logout for the few seconds logind allows, so that the card
// in progress is finished and recorded. The bus calls run on a thread of its own: logind may be slow or
// absent, and the station's owner never waits for it. Without logind (a container, no system bus) nothing is
// held.
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/StayAwake.h"

namespace scaleboot::platform {

class LogindInhibitor : public StayAwake {
 public:
  // `who` and `why` are what `systemd-inhibit --list` shows.
  LogindInhibitor(std::string who, std::string why);
  ~LogindInhibitor() override;  // lets go of what it holds
  LogindInhibitor(const LogindInhibitor&) = delete;
  LogindInhibitor& operator=(const LogindInhibitor&) = delete;

  void Hold(bool busy) override;

 private:
  void Serve();

  std::string who_, why_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool wanted_ = false, ending_ = false;  // by mutex_
  std::thread worker_;
};

}  // namespace scaleboot::platform
