// The program entries' one call, kept apart from the rest of the command-line program so that its tests need
// no platform layer.
#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"
#include "platform/Embedded.h"

namespace scaleboot::cli {

int RunWithEmbeddedImages(std::span<const std::string> arguments, platform::DriveSource& drives,
                          platform::Console& console, station::Services services,
                          std::function<bool(int)> waitOrStop, platform::StationFeedback* feedback,
                          platform::Journal* journal) {
  const std::unique_ptr<platform::ByteFileSystem> files = services.newFiles();
  services.images = FirmwareImages();
  services.identifyFolder = platform::IdentifyFolder;
  Environment environment{drives,
                          *files,
                          console,
                          std::move(services),
                          LocaleIsRussian(platform::UserLocaleName()) ? kRussian : kEnglish,
                          platform::InspectPath,
                          std::move(waitOrStop)};
  environment.feedback = feedback;
  environment.journal = journal;
  environment.openLog = platform::OpenAppendFile;
  environment.imageSha256 = EmbeddedFirmwareSha256();
  environment.testFirmware = IsTestBuild();
  environment.clockSynchronised = platform::ClockSynchronised;
  return RunCli(arguments, environment);
}

}  // namespace scaleboot::cli
