// scaleboot-cli on Linux: the mount-table drive list, POSIX card files, udisks for ejecting and the terminal.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "main/cli/Cli.h"
#include "platform/linux/CardMounter.h"
#include "platform/linux/CardSlots.h"
#include "platform/linux/LedLights.h"
#include "platform/linux/LinuxEjector.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/LogindInhibitor.h"
#include "platform/linux/ServiceNotifier.h"
#include "platform/linux/SystemJournal.h"

int main(int argc, char** argv) {
  scaleboot::platform::MountDriveSource drives;
  scaleboot::platform::StdioConsole console;
  scaleboot::platform::LinuxEjector ejector;
  // Each card of a batch gets its own file layer: the set of files it has created is its own.
  const auto newFiles = [] { return std::make_unique<scaleboot::platform::PosixByteFileSystem>(); };
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // The station mounts a card nobody has mounted after this grace (SCALEBOOT_MOUNT_GRACE_MS overrides it), so
  // as not to race a desktop's automounter.
  const char* grace = std::getenv("SCALEBOOT_MOUNT_GRACE_MS");
  const std::chrono::milliseconds mountGrace(grace ? std::chrono::milliseconds(std::atol(grace))
                                                   : scaleboot::kMountGrace);
  scaleboot::platform::CardMounter mounter;
  scaleboot::platform::LinuxCardSlots cardSlots(drives);
  scaleboot::platform::LogindInhibitor awake("scaleboot-cli", "writing a memory card");
  // Under systemd (the scaleboot-station service), the station's readiness and counts for systemctl status.
  scaleboot::platform::ServiceNotifier notifier;
  // The board's LEDs named in SCALEBOOT_LEDS (blank-separated; the service's settings file sets it), under
  // /sys/class/leds or SCALEBOOT_LED_FOLDER; their own triggers come back when the program ends.
  std::vector<std::string> ledNames;
  if (const char* leds = std::getenv("SCALEBOOT_LEDS")) {
    std::istringstream words(leds);
    for (std::string name; words >> name;) ledNames.push_back(name);
  }
  const char* ledFolder = std::getenv("SCALEBOOT_LED_FOLDER");
  scaleboot::platform::LedLights lights(ledFolder ? ledFolder : "/sys/class/leds", ledNames);
  scaleboot::platform::BoardFeedback feedback(notifier, lights);
  // A service's standard error that is the journal: the station's records there are entries of their own.
  scaleboot::platform::SystemJournal journal;
  const bool toJournal = scaleboot::platform::IsJournalStream(std::getenv("JOURNAL_STREAM"), 2);
  // Ctrl+C and SIGTERM let the station finish the cards in progress; other commands end as they always did.
  if (std::find(arguments.begin(), arguments.end(), "station") != arguments.end())
    scaleboot::platform::InstallStopHandlers();
  scaleboot::station::Services services{&cardSlots, newFiles};
  services.ejector = &ejector;
  services.mounter = &mounter;
  services.mountGrace = mountGrace;
  services.stayAwake = &awake;
  return scaleboot::cli::RunWithEmbeddedImages(arguments, drives, console, std::move(services),
                                               scaleboot::platform::WaitOrStop, &feedback,
                                               toJournal ? &journal : nullptr);
}
