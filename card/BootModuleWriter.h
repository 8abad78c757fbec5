// Writes the four images into the root of a card, reads them back and reports the outcome; and checks the
// files already in a folder against the images without writing anything. The windows move one byte per call;
// the command line passes a block size, which changes the number of calls and gauge steps, nothing else.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "images/FirmwareImages.h"
#include "platform/Platform.h"

namespace scaleboot {

// What a run drives while it runs: the write button and the progress bar. The gauge calls must repaint the
// bar at once when its rule asks for it: a run does not return to the event loop until it ends.
class WriterView {
 public:
  enum class Phase { Writing, Verifying };

  virtual ~WriterView() = default;
  virtual void SetWriteEnabled(bool enabled) = 0;
  virtual void SetGaugeRange(int minimum, int maximum) = 0;
  virtual void SetGaugePosition(int position) = 0;
  virtual void AddGaugeProgress(int delta) = 0;
  // Called as each phase starts, before its first byte.
  virtual void BeginPhase(Phase) {}
};

enum class WriteOutcome {
  Verified,  // every byte read back equals the image
  Mismatch,  // some byte differed: the four files have been deleted again
};

// The transfers of the windows: one byte per write or read call, one gauge step per byte.
inline constexpr std::size_t kOneByteTransfers = 1;

// How a write-and-verify ended, and whether every file's read-back was also compared past the system's cache
// (false where the file system refused such a read: the bytes compared may have come from memory).
struct WriteReport {
  WriteOutcome outcome = WriteOutcome::Verified;
  bool deviceCompared = true;
};

// Twice the total length of the images: every byte is written once and read back once.
int GaugeMaximumFor(std::span<const FirmwareImage> images);

// Runs one write-and-verify of `images` under `driveRoot` (which ends in its separator). An empty root raises
// IoError 3 before the view is touched or a file opened. A failing file operation raises IoError and ends the
// run at once: the write button stays disabled, the gauge keeps its
// position and the files stay as they are. A read-back that differs deletes the four files. Either outcome
// leaves the gauge at 0 and the write button enabled.
WriteOutcome WriteBootModule(const std::string& driveRoot, std::span<const FirmwareImage> images,
                             platform::ByteFileSystem& files, WriterView& view);
// The same run with at most `transferSize` bytes per write or read call (1: exactly as above; 0 raises
// RangeError). A block call that moves part of its bytes is followed by one for the rest; one that moves none
// without an error raises IoError 101 while writing, 100 while reading back. In blocks each file is read back
// once, past the system's cache, and compared there (a file that ends early raises IoError 100 too); through
// the cache only where the file system refuses that read.
WriteReport WriteBootModule(const std::string& driveRoot, std::span<const FirmwareImage> images,
                            platform::ByteFileSystem& files, WriterView& view, std::size_t transferSize);

// How one file in a folder compares with its image.
struct FileFinding {
  enum class Kind {
    Identical,   // the image's bytes, and nothing after them
    Differs,     // the image's length, with bytes that differ
    Shorter,     // ends before the image does; differingBytes counts those that differ before the end
    Longer,      // goes on past the image's length; differingBytes counts those that differ within it
    Missing,     // no such file
    Unreadable,  // opening, reading or closing it failed
  };
  Kind kind = Kind::Identical;
  std::uint32_t bytesRead = 0;       // bytes compared with the image (the file's length when Shorter)
  std::uint32_t differingBytes = 0;  // among those compared
  std::uint32_t firstDifference =
      0;              // offset of the first differing byte, from 0; meaningful when any differ
  int errorCode = 0;  // the I/O code when Unreadable

  bool operator==(const FileFinding&) const = default;
};

// Reads each image's file in `folder` (which ends in its separator) for reading only and compares it with the
// image; never writes or deletes. The view's gauge runs once over the total length of the images. A longer
// file counts against the module, since the scales would read it whole.
std::vector<FileFinding> VerifyBootModule(const std::string& folder, std::span<const FirmwareImage> images,
                                          platform::ByteFileSystem& files, WriterView& view);

// The findings of a check, and whether every file that could be read was also compared past the system's
// cache.
struct ModuleCheck {
  std::vector<FileFinding> findings;
  bool deviceCompared = true;
};
// VerifyBootModule with at most `transferSize` bytes per read call (0 raises RangeError).
ModuleCheck CheckBootModule(const std::string& folder, std::span<const FirmwareImage> images,
                            platform::ByteFileSystem& files, WriterView& view, std::size_t transferSize);

// True when every finding is Identical: the folder holds exactly this module.
bool HoldsModule(std::span<const FileFinding> findings);

}  // namespace scaleboot
