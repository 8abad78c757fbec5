// One card's write and read-back as the station and the command line run it: blocks of many bytes per call,
// and every failure turned into the card's outcome, so that nothing leaves a worker thread.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "card/BootModuleWriter.h"
#include "card/CardResult.h"
#include "images/FirmwareImages.h"
#include "platform/Platform.h"

namespace scaleboot::station {

// Bytes per write or read call: a progress line still moves 2 % at most per call (the smaller images are
// 15,750 bytes), and a card takes about 55 write calls instead of 877,332.
inline constexpr std::size_t kCardTransferSize = 16 * 1024;

// Writes the module to one card as the window's button does, `transferSize` bytes per call at most, and says
// how it ended; never raises.
CardResult WriteCard(const std::string& root, std::span<const FirmwareImage> images,
                     platform::ByteFileSystem& files, WriterView& view,
                     std::size_t transferSize = kCardTransferSize);

// The progress of a card nobody watches: a worker's run, the check of a card there at the start.
class NoWriterView : public WriterView {
 public:
  void SetWriteEnabled(bool) override {}
  void SetGaugeRange(int, int) override {}
  void SetGaugePosition(int) override {}
  void AddGaugeProgress(int) override {}
};

using FileSystemFactory = std::function<std::unique_ptr<platform::ByteFileSystem>()>;

// The same with a file layer of its own from `newFiles`, and no progress shown: how the station writes a
// card, on a worker of its own. A layer that cannot be made ends the card with an I/O error whose
// `filesUnprepared` says why.
CardResult WriteCardWithOwnFiles(const std::string& root, std::span<const FirmwareImage> images,
                                 const FileSystemFactory& newFiles,
                                 std::size_t transferSize = kCardTransferSize);

// That write as the station's StationParts::writeCard. It keeps its own copy of `newFiles`: a worker whose
// card stopped answering may return after the station's owner is gone.
std::function<CardResult(const std::string& root)> OwnFilesWriter(
    std::span<const FirmwareImage> images, FileSystemFactory newFiles,
    std::size_t transferSize = kCardTransferSize);

}  // namespace scaleboot::station
