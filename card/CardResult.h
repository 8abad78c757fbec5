// How the write of one card ended: what a batch, the station and their records report.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/Eject.h"

namespace scaleboot {

enum class CardOutcome {
  Verified,       // every byte read back equals the image
  Mismatch,       // a byte differed: the four files have been deleted again
  IoError,        // a file operation failed: the files stay as they are
  CorruptImages,  // an embedded image failed its checksum test: nothing was written
};

struct CardResult {
  std::string root;
  CardOutcome outcome = CardOutcome::Verified;
  int ioCode = 0;           // the I/O code of an IoError outcome; 0 when the error carried none
  std::string errorText{};  // the text of an IoError outcome, as the window shows it ("I/O error 19.")
  // An IoError outcome of a card whose own file layer could not be made: why, in the system's words; the
  // owner puts it into its own (errorText is then empty).
  std::string filesUnprepared{};
  std::optional<platform::EjectResult> eject{};  // how the eject after the run ended, when one was asked for
  std::vector<std::string> alsoNamed{};          // the other roots given that name this card's folder
  bool deviceCompared = true;  // false where the file system let no read-back past its cache
};

}  // namespace scaleboot
