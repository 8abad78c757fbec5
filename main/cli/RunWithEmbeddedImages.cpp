// The program entries' one call, kept apart from the rest of the command-line program so that its tests need
// no platform layer.
#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"

namespace scaleboot::cli {

int RunWithEmbeddedImages(std::span<const std::string> arguments, platform::DriveSource& drives,
                          platform::ByteFileSystem& files, platform::Console& console) {
  Environment environment{drives, files, console, FirmwareImages(),
                          LocaleIsRussian(platform::UserLocaleName()) ? kRussian : kEnglish};
  return RunCli(arguments, environment);
}

}  // namespace scaleboot::cli
