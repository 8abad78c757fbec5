#include "card/OwnChecksum.h"

#include <algorithm>
#include <vector>

#include "common/Errors.h"
#include "images/FirmwareImages.h"

namespace scaleboot {

OwnChecksum CheckOwnChecksum(const std::string& path, platform::ByteFileSystem& files,
                             std::optional<std::uint64_t> knownSize) {
  if (knownSize && *knownSize > kLongestCheckedFile) return {};
  platform::ByteFileSystem::Handle handle = 0;
  if (const int status = files.OpenForReading(path, handle)) return {status, false};
  TrailerChecksum checksum;
  std::vector<std::uint8_t> block(kChecksumBlockSize);
  int status = 0;
  bool tooLong = false;
  for (;;) {
    std::size_t count = 0;
    status = files.ReadBlock(handle, block, count);
    if (status != 0 || count == 0) break;
    checksum.Add(std::span(block).first(std::min(count, block.size())));
    if (checksum.BytesSeen() > kLongestCheckedFile) {
      tooLong = true;
      break;
    }
  }
  const int closed = files.Close(handle);
  if (status != 0) return {status, false};
  if (closed != 0) return {io::kCloseFailed, false};
  return {0, !tooLong && checksum.Matches() && !checksum.PayloadAllSame()};
}

OwnChecksum CheckDeviceChecksum(const std::string& path, platform::ByteFileSystem& files,
                                std::optional<std::uint64_t> knownSize) {
  if (knownSize && *knownSize > kLongestCheckedFile) return {};
  std::vector<std::uint8_t> contents;
  const int status = files.ReadPastCache(path, kLongestCheckedFile + 1, contents);
  if (status == platform::ByteFileSystem::kPastCacheRefused) return CheckOwnChecksum(path, files, knownSize);
  if (status != 0) return {status, false};
  if (contents.size() > kLongestCheckedFile) return {};
  TrailerChecksum checksum;
  checksum.Add(contents);
  return {0, checksum.Matches() && !checksum.PayloadAllSame()};
}

std::optional<OwnChecksum> CheckFileChecksum(const std::string& path, const FileFinding& finding,
                                             platform::ByteFileSystem& files,
                                             std::optional<std::uint64_t> knownSize) {
  using Kind = FileFinding::Kind;
  switch (finding.kind) {
    case Kind::Identical:
      return OwnChecksum{0, true};
    case Kind::Missing:
    case Kind::Unreadable:
      return std::nullopt;
    case Kind::Differs:
    case Kind::Shorter:
    case Kind::Longer:
      break;
  }
  return CheckDeviceChecksum(path, files, knownSize);
}

CardVerdict JudgeCard(std::span<const FileFinding> findings,
                      std::span<const std::optional<OwnChecksum>> checksums) {
  if (findings.size() != checksums.size()) throw RangeError();
  // A card without any of the files is not a broken one: nothing of the module was ever put there.
  if (!findings.empty() && std::ranges::all_of(findings, [](const FileFinding& finding) {
        return finding.kind == FileFinding::Kind::Missing;
      }))
    return CardVerdict::NoModule;
  bool allIdentical = true;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const std::optional<OwnChecksum>& checksum = checksums[i];
    if (!checksum || checksum->errorCode != 0 || !checksum->intact) return CardVerdict::Damaged;
    allIdentical = allIdentical && findings[i].kind == FileFinding::Kind::Identical;
  }
  return allIdentical ? CardVerdict::ThisModule : CardVerdict::OtherVersion;
}

}  // namespace scaleboot
