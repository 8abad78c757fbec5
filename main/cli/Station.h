// scaleboot-cli station: looks at the card readers once a second and writes every card that appears, each in
// a worker of its own as soon as it is seen, then ejects it; ends on the user's stop (Ctrl+C) once the cards
// in progress are finished, or, past the station's stop bound, ended as ones that stopped answering.
#pragma once
#include "main/cli/Cli.h"
#include "main/cli/CommandLine.h"
#include "platform/AppendFile.h"

namespace scaleboot::cli {

// Runs the station until a stop is asked for and returns the worst status of its cards (0 when none failed).
// `log`, when given, gets one line per card.
int RunStation(Environment& environment, const CommandLine& line, LanguageIndex language,
               platform::AppendFile* log);

}  // namespace scaleboot::cli
