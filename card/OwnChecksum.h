// What a file that differs from its image holds, judged by its own checksum trailer whatever firmware
// version it carries, and what a whole folder of module files holds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "card/BootModuleWriter.h"
#include "platform/Platform.h"

namespace scaleboot {

// Firmware files are far shorter than this; a longer file is damaged and is not read whole.
inline constexpr std::uint64_t kLongestCheckedFile = 16 * 1024 * 1024;
// Bytes asked for by each read of a checked file.
inline constexpr std::size_t kChecksumBlockSize = 64 * 1024;

struct OwnChecksum {
  int errorCode = 0;    // 0, or the I/O code of the open, read or close that failed: nothing is known then
  bool intact = false;  // the trailer holds the sum of the payload, which is not one byte value repeated

  bool operator==(const OwnChecksum&) const = default;
};

// Reads the file at `path` for reading only, a block per call, and applies the images' checksum rule at the
// file's own length. A file longer than kLongestCheckedFile is damaged: reading stops there, and nothing is
// read when `knownSize` already says so.
OwnChecksum CheckOwnChecksum(const std::string& path, platform::ByteFileSystem& files,
                             std::optional<std::uint64_t> knownSize = std::nullopt);

// The checksum of the bytes the device holds: the file read past the system's cache, up to one byte beyond
// kLongestCheckedFile; CheckOwnChecksum's read through the cache only where the file system refuses that.
OwnChecksum CheckDeviceChecksum(const std::string& path, platform::ByteFileSystem& files,
                                std::optional<std::uint64_t> knownSize = std::nullopt);

// The own checksum of one file of a folder after `finding`: an identical file is intact (the images pass the
// start-up test), a missing or unreadable one has none, any other is read by CheckDeviceChecksum.
std::optional<OwnChecksum> CheckFileChecksum(const std::string& path, const FileFinding& finding,
                                             platform::ByteFileSystem& files,
                                             std::optional<std::uint64_t> knownSize = std::nullopt);

enum class CardVerdict {
  ThisModule,    // every file identical
  OtherVersion,  // every file intact, at least one differing
  Damaged,       // a file damaged, missing, unreadable or not a regular file
  NoModule,      // none of the four files there: a blank card, or one kept for something else
};

// The verdict on a folder from each file's finding and own checksum, in the same order.
CardVerdict JudgeCard(std::span<const FileFinding> findings,
                      std::span<const std::optional<OwnChecksum>> checksums);

}  // namespace scaleboot
