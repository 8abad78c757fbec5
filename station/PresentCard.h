// What a card that was already in its reader when the station started holds, checked without writing: the
// verdict verify gives it, from the bytes read past the system's cache where the file system allows that. A
// station killed in the middle of a card leaves it half-written; started again, it must say so.
#pragma once
#include <span>
#include <string>

#include "card/OwnChecksum.h"
#include "images/FirmwareImages.h"
#include "station/CardWrite.h"

namespace scaleboot::station {

struct PresentCheck {
  CardVerdict verdict = CardVerdict::Damaged;
  bool deviceCompared = true;  // false where the file system let no read past its cache
};

// Reads the four files at `root` with a file layer of its own from `newFiles`; never raises. A card that
// cannot be read at all, or a layer that cannot be made, is not called good: it is Damaged.
PresentCheck CheckPresentCard(const std::string& root, std::span<const FirmwareImage> images,
                              const FileSystemFactory& newFiles);

}  // namespace scaleboot::station
