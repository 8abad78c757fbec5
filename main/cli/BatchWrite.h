// Writing the module to several cards at once: one worker thread per card, each running exactly the write of
// a single card with a file system of its own, and one progress line on the terminal for all of them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "card/BootModuleWriter.h"
#include "card/CardResult.h"
#include "images/FirmwareImages.h"
#include "main/cli/ProgressLine.h"
#include "platform/Eject.h"
#include "platform/Platform.h"

namespace scaleboot::cli {

using ::scaleboot::CardOutcome;
using ::scaleboot::CardResult;

// Bytes per write or read call of the command line's runs: the progress line still moves 2 % at most per call
// (the smaller images are 15,750 bytes), and a card takes about 55 write calls instead of 877,332.
inline constexpr std::size_t kCardTransferSize = 16 * 1024;

// The exit status of one card's outcome, and the worse of two statuses: 4 before 3 before 1 before 0 (2, a
// usage error, is decided before any card is touched and stays as it is).
int StatusOf(CardOutcome outcome);
int WorstStatus(int a, int b);

// The label of each root on the batch progress line: "E:" for a drive letter; for a mount point its last
// folder name followed by ":", or its whole path when two cards share that name.
std::vector<std::string> ProgressLabels(std::span<const std::string> roots);

// Writes the module to one card as the window's button does, `transferSize` bytes per call at most, and says
// how it ended; never raises.
CardResult WriteCard(const std::string& root, std::span<const FirmwareImage> images,
                     platform::ByteFileSystem& files, WriterView& view,
                     std::size_t transferSize = kCardTransferSize);

using FileSystemFactory = std::function<std::unique_ptr<platform::ByteFileSystem>()>;

// Writes the module to every root at the same time, one thread per card. Each card gets a file system of its
// own from `newFiles`, made here in the order of `roots` before any thread starts, so no worker touches
// another's state; a card that fails ends its own run only. Returns once every run has ended, the results in
// the order of `roots`.
std::vector<CardResult> WriteCards(std::span<const std::string> roots, std::span<const FirmwareImage> images,
                                   const FileSystemFactory& newFiles, ProgressLine& progress);

}  // namespace scaleboot::cli
