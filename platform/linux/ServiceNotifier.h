// The station's state for systemd (sd_notify): READY=1 once it watches, STATUS= with its counts, STOPPING=1.
// Outside a service (no $NOTIFY_SOCKET) nothing is sent.
#pragma once
#include <string>

#include "platform/StationFeedback.h"

namespace scaleboot::platform {

class ServiceNotifier : public StationFeedback {
 public:
  void Ready(const std::string& status) override;
  void Status(const std::string& status) override;
  void Stopping(const std::string& status) override;
  void Light(Lamp) override {}  // the service manager has no lights

 private:
  void Send(const std::string& assignments);
  std::string last_;
};

}  // namespace scaleboot::platform
