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

// One call's transfer of the front of `bytes`: a WriteByte where `transferSize` is 1, else a block of at most
// `transferSize` bytes. Sets `moved` to the bytes written; a call that moved none says kShortTransfer.
int WriteSome(platform::ByteFileSystem& files, Handle handle, std::span<const std::uint8_t> bytes,
              std::size_t transferSize, std::size_t& moved) {
  moved = 0;
  if (transferSize == 1) {
    const int status = files.WriteByte(handle, bytes.front());
    if (status == 0) moved = 1;
    return status;
  }
  const std::span<const std::uint8_t> block = bytes.first(std::min(bytes.size(), transferSize));
  const int status = files.WriteBlock(handle, block, moved);
  moved = std::min(moved, block.size());
  if (status == 0 && moved == 0) return platform::ByteFileSystem::kShortTransfer;
  return status;
}

// One call's read into the front of `buffer` (at least one byte long), as WriteSome writes: kShortTransfer at
// the end of the file.
int ReadSome(platform::ByteFileSystem& files, Handle handle, std::span<std::uint8_t> buffer,
             std::size_t transferSize, std::size_t& got) {
  got = 0;
  if (transferSize == 1) {
    const int status = files.ReadByte(handle, buffer.front());
    if (status == 0) got = 1;
    return status;
  }
  const int status = files.ReadBlock(handle, buffer.first(std::min(buffer.size(), transferSize)), got);
  got = std::min(got, buffer.size());
  if (status == 0 && got == 0) return platform::ByteFileSystem::kShortTransfer;
  return status;
}

// What reading an open file back against an image found.
struct ReadBack {
  int status = 0;  // 0, or the status of the read that failed (kShortTransfer at the end of the file)
  std::uint32_t bytesRead = 0;
  std::int32_t mismatches = 0;
  std::uint32_t firstMismatch = 0;
};

// Reads exactly the image's length, `transferSize` bytes per call at most, counting the bytes that differ and
// advancing the gauge by the bytes of each call. Stops at the first failing read.
ReadBack ReadBackImage(platform::ByteFileSystem& files, Handle handle, const FirmwareImage& image,
                       WriterView& view, std::size_t transferSize) {
  ReadBack result;
  std::vector<std::uint8_t> buffer(std::max<std::size_t>(1, std::min(transferSize, image.bytes.size())));
  while (result.bytesRead < image.bytes.size()) {
    const std::span<const std::uint8_t> expected = image.bytes.subspan(result.bytesRead);
    std::size_t got = 0;
    result.status = ReadSome(files, handle, std::span(buffer).first(std::min(buffer.size(), expected.size())),
                             transferSize, got);
    if (result.status != 0) return result;
    for (std::size_t i = 0; i < got; ++i) {
      if (buffer[i] == expected[i]) continue;
      if (result.mismatches == 0) result.firstMismatch = result.bytesRead + static_cast<std::uint32_t>(i);
      if (__builtin_add_overflow(result.mismatches, 1, &result.mismatches)) throw OverflowError();
    }
    result.bytesRead += static_cast<std::uint32_t>(got);
    view.AddGaugeProgress(static_cast<int>(got));
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

// The read-back of the command line and the station: the file read once, past the system's cache, and
// compared with the image as its pieces arrive, the gauge moving by `step` bytes at most, as the calls of a
// read through the cache would move it. Not `compared` where the file system refuses such a read; then the
// file must be read through the cache instead.
DeviceRead ReadBackOnDevice(platform::ByteFileSystem& files, const std::string& path,
                            const FirmwareImage& image, WriterView& view, std::size_t step,
                            std::uint32_t& bytesRead) {
  DeviceRead result;
  bytesRead = 0;
  const auto take = [&](std::span<const std::uint8_t> piece) {
    while (!piece.empty() && bytesRead < image.bytes.size()) {
      const std::span<const std::uint8_t> expected = image.bytes.subspan(bytesRead);
      const std::size_t count = std::min({piece.size(), expected.size(), step});
      for (std::size_t i = 0; i < count; ++i) {
        if (piece[i] != expected[i] && result.mismatches++ == 0)
          result.firstMismatch = bytesRead + static_cast<std::uint32_t>(i);
      }
      bytesRead += static_cast<std::uint32_t>(count);
      view.AddGaugeProgress(static_cast<int>(count));
      piece = piece.subspan(count);
    }
  };
  const int status = files.StreamPastCache(path, image.bytes.size(), take);
  if (status == platform::ByteFileSystem::kPastCacheRefused) return result;
  result.status = status;
  result.compared = status == 0;
  return result;
}

int TotalLength(std::span<const FirmwareImage> images) {
  return GaugeMaximumFor(images) / 2;
}

// A file's finding, and whether its bytes were compared past the system's cache.
struct CheckedFile {
  FileFinding finding;
  bool deviceCompared = false;
};

CheckedFile VerifyFile(const std::string& path, const FirmwareImage& image, platform::ByteFileSystem& files,
                       WriterView& view, std::size_t transferSize) {
  using Kind = FileFinding::Kind;
  CheckedFile checked;
  FileFinding& finding = checked.finding;
  Handle handle = 0;
  if (const int status = files.OpenForReading(path, handle)) {
    finding.kind = status == io::kFileNotFound ? Kind::Missing : Kind::Unreadable;
    finding.errorCode = status;
    // The gauge still covers the whole module: skip the bytes of a file that could not be read.
    view.AddGaugeProgress(static_cast<int>(image.length));
    return checked;
  }
  OpenFile file(files, handle);
  const ReadBack read = ReadBackImage(files, handle, image, view, transferSize);
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
    std::size_t got = 0;
    const int beyond = ReadSome(files, handle, std::span(&extra, 1), transferSize, got);
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
  if (finding.kind == Kind::Unreadable) return checked;
  // The device's bytes are what the scales will read: where they differ more than the cached ones did, they
  // are the finding.
  const DeviceRead device = CompareOnDevice(files, path, image, finding.bytesRead);
  checked.deviceCompared = device.compared;
  if (device.status != 0) {
    finding.kind = Kind::Unreadable;
    finding.errorCode = device.status;
  } else if (device.compared && device.mismatches > finding.differingBytes) {
    finding.differingBytes = device.mismatches;
    finding.firstDifference = device.firstMismatch;
    if (finding.kind == Kind::Identical) finding.kind = Kind::Differs;
  }
  return checked;
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
  return WriteBootModule(driveRoot, images, files, view, kOneByteTransfers).outcome;
}

WriteReport WriteBootModule(const std::string& driveRoot, std::span<const FirmwareImage> images,
                            platform::ByteFileSystem& files, WriterView& view, std::size_t transferSize) {
  if (transferSize == 0) throw RangeError();
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
    for (std::span<const std::uint8_t> rest = image.bytes; !rest.empty();) {
      std::size_t moved = 0;
      CheckTransfer(WriteSome(files, handle, rest, transferSize, moved), io::kShortWrite);
      view.AddGaugeProgress(static_cast<int>(moved));
      rest = rest.subspan(moved);
    }
    if (file.Close() != 0) throw IoError(io::kCloseFailed);
  }

  view.BeginPhase(WriterView::Phase::Verifying);
  std::int32_t mismatches = 0;
  bool deviceCompared = true;
  for (const FirmwareImage& image : images) {
    Handle handle = 0;
    Check(files.Open(PathOf(driveRoot, image), handle));
    OpenFile file(files, handle);
    if (transferSize > 1) {
      // Blocks: the one read past the cache where the file system allows it, else the read through it.
      std::uint32_t bytesRead = 0;
      const DeviceRead device =
          ReadBackOnDevice(files, PathOf(driveRoot, image), image, view, transferSize, bytesRead);
      Check(device.status);
      deviceCompared = deviceCompared && device.compared;
      if (device.compared) {
        // A file that ends early fails as the read of its first missing byte does: the files stay.
        if (bytesRead < image.bytes.size()) throw IoError(io::kShortRead);
        if (__builtin_add_overflow(mismatches, static_cast<std::int32_t>(device.mismatches), &mismatches))
          throw OverflowError();
        if (file.Close() != 0) throw IoError(io::kCloseFailed);
        continue;
      }
    }
    const ReadBack read = ReadBackImage(files, handle, image, view, transferSize);
    CheckTransfer(read.status, io::kShortRead);
    if (__builtin_add_overflow(mismatches, read.mismatches, &mismatches)) throw OverflowError();
    if (file.Close() != 0) throw IoError(io::kCloseFailed);
    if (transferSize > 1) continue;  // the file system let no read past its cache
    // Then once more from the device itself, after the file's own read-back.
    const DeviceRead device = CompareOnDevice(files, PathOf(driveRoot, image), image, image.bytes.size());
    Check(device.status);
    deviceCompared = deviceCompared && device.compared;
    if (__builtin_add_overflow(mismatches, static_cast<std::int32_t>(device.mismatches), &mismatches))
      throw OverflowError();
  }

  view.SetGaugePosition(0);
  view.SetWriteEnabled(true);
  if (mismatches == 0) return {WriteOutcome::Verified, deviceCompared};
  for (const FirmwareImage& image : images) files.Delete(PathOf(driveRoot, image));
  return {WriteOutcome::Mismatch, deviceCompared};
}

std::vector<FileFinding> VerifyBootModule(const std::string& folder, std::span<const FirmwareImage> images,
                                          platform::ByteFileSystem& files, WriterView& view) {
  return CheckBootModule(folder, images, files, view, kOneByteTransfers).findings;
}

ModuleCheck CheckBootModule(const std::string& folder, std::span<const FirmwareImage> images,
                            platform::ByteFileSystem& files, WriterView& view, std::size_t transferSize) {
  if (transferSize == 0) throw RangeError();
  view.SetGaugeRange(0, TotalLength(images));
  view.SetGaugePosition(0);
  view.BeginPhase(WriterView::Phase::Verifying);
  ModuleCheck check;
  for (const FirmwareImage& image : images) {
    const CheckedFile file = VerifyFile(PathOf(folder, image), image, files, view, transferSize);
    check.findings.push_back(file.finding);
    const bool reachedDevice = file.deviceCompared || file.finding.kind == FileFinding::Kind::Missing ||
                               file.finding.kind == FileFinding::Kind::Unreadable;
    check.deviceCompared = check.deviceCompared && reachedDevice;
  }
  return check;
}

bool HoldsModule(std::span<const FileFinding> findings) {
  return std::all_of(findings.begin(), findings.end(),
                     [](const FileFinding& f) { return f.kind == FileFinding::Kind::Identical; });
}

}  // namespace scaleboot
