#include "card/BootModuleWriter.h"

#include <algorithm>
#include <cstdint>

#include "common/Errors.h"

namespace scaleboot {
namespace {

using Handle = platform::ByteFileSystem::Handle;

void Check(int status) {
  if (status != 0) throw IoError(status);
}

void CheckTransfer(int status, int shortCode) {
  if (status == platform::ByteFileSystem::kShortTransfer) throw IoError(shortCode);
  Check(status);
}

// Closes a file left open by a failed byte transfer, so an error never leaks the handle; the close's own
// outcome does not matter then, the error already raised is the one reported.
class OpenFile {
 public:
  OpenFile(platform::ByteFileSystem& files, Handle handle) : files_(files), handle_(handle) {}
  ~OpenFile() {
    if (open_) files_.Close(handle_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  // The close's status; any non-zero one is a failure.
  int Close() {
    open_ = false;
    return files_.Close(handle_);
  }

 private:
  platform::ByteFileSystem& files_;
  Handle handle_;
  bool open_ = true;
};

std::string PathOf(const std::string& folder, const FirmwareImage& image) {
  return folder + std::string(image.fileName);
}

// What reading an open file back against an image found.
struct ReadBack {
  int status = 0;  // 0, or the status of the read that failed (kShortTransfer at the end of the file)
  std::uint32_t bytesRead = 0;
  std::int32_t mismatches = 0;
  std::uint32_t firstMismatch = 0;
};

// Reads exactly the image's length, one byte per call, counting the bytes that differ and advancing the gauge
// by one for each byte read. Stops at the first failing read.
ReadBack ReadBackImage(platform::ByteFileSystem& files, Handle handle, const FirmwareImage& image,
                       WriterView& view) {
  ReadBack result;
  for (const std::uint8_t expected : image.bytes) {
    std::uint8_t actual = 0;
    result.status = files.ReadByte(handle, actual);
    if (result.status != 0) return result;
    if (actual != expected) {
      if (result.mismatches == 0) result.firstMismatch = result.bytesRead;
      if (__builtin_add_overflow(result.mismatches, 1, &result.mismatches)) throw OverflowError();
    }
    ++result.bytesRead;
    view.AddGaugeProgress(1);
  }
  return result;
}

// How the file's bytes as the device returns them compare with the image.
struct DeviceRead {
  int status = 0;                // 0, or the code of the failing open or read
  bool compared = false;         // false where the file system cannot read past its cache
  std::uint32_t mismatches = 0;  // differing bytes within the image's length, each missing byte counted too
  std::uint32_t firstMismatch = 0;
};

// Reads the file once more past the system's cache and compares its first `length` bytes with the image's.
// Another program holding the file open can keep the cache from being purged, so the one-byte read-back may
// still have been served from memory; this read cannot be.
DeviceRead CompareOnDevice(platform::ByteFileSystem& files, const std::string& path,
                           const FirmwareImage& image, std::size_t length) {
  DeviceRead result;
  std::vector<std::uint8_t> contents;
  const int status = files.ReadPastCache(path, length, contents);
  if (status == platform::ByteFileSystem::kPastCacheRefused) return result;
  result.status = status;
  if (status != 0) return result;
  result.compared = true;
  for (std::size_t i = 0; i < length && i < image.bytes.size(); ++i) {
    if (i < contents.size() && contents[i] == image.bytes[i]) continue;
    if (result.mismatches++ == 0) result.firstMismatch = static_cast<std::uint32_t>(i);
  }
  return result;
}

int TotalLength(std::span<const FirmwareImage> images) {
  return GaugeMaximumFor(images) / 2;
}

FileFinding VerifyFile(const std::string& path, const FirmwareImage& image, platform::ByteFileSystem& files,
                       WriterView& view) {
  using Kind = FileFinding::Kind;
  FileFinding finding;
  Handle handle = 0;
  if (const int status = files.OpenForReading(path, handle)) {
    finding.kind = status == io::kFileNotFound ? Kind::Missing : Kind::Unreadable;
    finding.errorCode = status;
    // The gauge still covers the whole module: skip the bytes of a file that could not be read.
    view.AddGaugeProgress(static_cast<int>(image.length));
    return finding;
  }
  OpenFile file(files, handle);
  const ReadBack read = ReadBackImage(files, handle, image, view);
  finding.bytesRead = read.bytesRead;
  finding.differingBytes = static_cast<std::uint32_t>(read.mismatches);
  finding.firstDifference = read.firstMismatch;
  if (read.status == platform::ByteFileSystem::kShortTransfer) {
    finding.kind = Kind::Shorter;
  } else if (read.status != 0) {
    finding.kind = Kind::Unreadable;
    finding.errorCode = read.status;
  } else {
    std::uint8_t extra = 0;
    const int beyond = files.ReadByte(handle, extra);
    if (beyond == 0) {
      finding.kind = Kind::Longer;
    } else if (beyond != platform::ByteFileSystem::kShortTransfer) {
      finding.kind = Kind::Unreadable;
      finding.errorCode = beyond;
    } else {
      finding.kind = read.mismatches == 0 ? Kind::Identical : Kind::Differs;
    }
  }
  // The gauge still covers the whole image when the file ended or failed early.
  if (read.bytesRead < image.length) view.AddGaugeProgress(static_cast<int>(image.length - read.bytesRead));
  if (file.Close() != 0 && finding.kind != Kind::Unreadable) {
    finding.kind = Kind::Unreadable;
    finding.errorCode = io::kCloseFailed;
  }
  if (finding.kind == Kind::Unreadable) return finding;
  // The device's bytes are what the scales will read: where they differ more than the cached ones did, they
  // are the finding.
  const DeviceRead device = CompareOnDevice(files, path, image, finding.bytesRead);
  if (device.status != 0) {
    finding.kind = Kind::Unreadable;
    finding.errorCode = device.status;
  } else if (device.compared && device.mismatches > finding.differingBytes) {
    finding.differingBytes = device.mismatches;
    finding.firstDifference = device.firstMismatch;
    if (finding.kind == Kind::Identical) finding.kind = Kind::Differs;
  }
  return finding;
}

}  // namespace

int GaugeMaximumFor(std::span<const FirmwareImage> images) {
  std::int64_t total = 0;
  for (const FirmwareImage& image : images) total += image.bytes.size();
  if (total * 2 > INT32_MAX) throw OverflowError();
  return static_cast<int>(total * 2);
}

WriteOutcome WriteBootModule(const std::string& driveRoot, std::span<const FirmwareImage> images,
                             platform::ByteFileSystem& files, WriterView& view) {
  // No drive: the file names alone would name files in the working folder.
  if (driveRoot.empty()) throw IoError(io::kInvalidFilename);
  view.SetWriteEnabled(false);
  view.SetGaugeRange(0, GaugeMaximumFor(images));
  view.SetGaugePosition(0);

  view.BeginPhase(WriterView::Phase::Writing);
  for (const FirmwareImage& image : images) {
    Handle handle = 0;
    Check(files.Create(PathOf(driveRoot, image), handle));
    OpenFile file(files, handle);
    for (const std::uint8_t byte : image.bytes) {
      CheckTransfer(files.WriteByte(handle, byte), io::kShortWrite);
      view.AddGaugeProgress(1);
    }
    if (file.Close() != 0) throw IoError(io::kCloseFailed);
  }

  view.BeginPhase(WriterView::Phase::Verifying);
  std::int32_t mismatches = 0;
  for (const FirmwareImage& image : images) {
    Handle handle = 0;
    Check(files.Open(PathOf(driveRoot, image), handle));
    OpenFile file(files, handle);
    const ReadBack read = ReadBackImage(files, handle, image, view);
    CheckTransfer(read.status, io::kShortRead);
    if (__builtin_add_overflow(mismatches, read.mismatches, &mismatches)) throw OverflowError();
    if (file.Close() != 0) throw IoError(io::kCloseFailed);
    // Then once more from the device itself, after the file's own read-back.
    const DeviceRead device = CompareOnDevice(files, PathOf(driveRoot, image), image, image.bytes.size());
    Check(device.status);
    if (__builtin_add_overflow(mismatches, static_cast<std::int32_t>(device.mismatches), &mismatches))
      throw OverflowError();
  }

  view.SetGaugePosition(0);
  view.SetWriteEnabled(true);
  if (mismatches == 0) return WriteOutcome::Verified;
  for (const FirmwareImage& image : images) files.Delete(PathOf(driveRoot, image));
  return WriteOutcome::Mismatch;
}

std::vector<FileFinding> VerifyBootModule(const std::string& folder, std::span<const FirmwareImage> images,
                                          platform::ByteFileSystem& files, WriterView& view) {
  view.SetGaugeRange(0, TotalLength(images));
  view.SetGaugePosition(0);
  view.BeginPhase(WriterView::Phase::Verifying);
  std::vector<FileFinding> findings;
  for (const FirmwareImage& image : images)
    findings.push_back(VerifyFile(PathOf(folder, image), image, files, view));
  return findings;
}

bool HoldsModule(std::span<const FileFinding> findings) {
  return std::all_of(findings.begin(), findings.end(),
                     [](const FileFinding& f) { return f.kind == FileFinding::Kind::Identical; });
}

}  // namespace scaleboot
