// The program entries' one call, kept apart from the rest of the command-line program so that its tests need
// no platform layer.
#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"
#include "platform/Embedded.h"

namespace scaleboot::cli {

int RunWithEmbeddedImages(std::span<const std::string> arguments, platform::DriveSource& drives,
                          const FileSystemFactory& newFiles, platform::Console& console,
                          platform::Ejector* ejector, platform::CardSlotSource* cardSlots,
                          std::function<bool(int)> waitOrStop, platform::CardMounting* mounter,
                          std::chrono::milliseconds mountGrace, platform::StayAwake* stayAwake,
                          platform::StationFeedback* feedback, platform::Journal* journal) {
  const std::unique_ptr<platform::ByteFileSystem> files = newFiles();
  Environment environment{drives,
                          *files,
                          console,
                          FirmwareImages(),
                          LocaleIsRussian(platform::UserLocaleName()) ? kRussian : kEnglish,
                          newFiles,
                          platform::InspectPath,
                          ejector,
                          platform::IdentifyFolder};
  environment.cardSlots = cardSlots;
  environment.waitOrStop = waitOrStop;
  environment.mounter = mounter;
  environment.mountGrace = mountGrace;
  environment.stayAwake = stayAwake;
  environment.feedback = feedback;
  environment.journal = journal;
  environment.openLog = platform::OpenAppendFile;
  environment.imageSha256 = EmbeddedFirmwareSha256();
  environment.testFirmware = IsTestBuild();
  environment.clockSynchronised = platform::ClockSynchronised;
  return RunCli(arguments, environment);
}

}  // namespace scaleboot::cli
