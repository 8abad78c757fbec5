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
#include "station/CardWrite.h"

namespace scaleboot::cli {

using ::scaleboot::CardOutcome;
using ::scaleboot::CardResult;

using station::kCardTransferSize;
using station::WriteCard;

// The exit status of one card's outcome, and the worse of two statuses: 4 before 3 before 1 before 0 (2, a
// usage error, is decided before any card is touched and stays as it is).
int StatusOf(CardOutcome outcome);
int WorstStatus(int a, int b);

// The label of each root on the batch progress line: "E:" for a drive letter; for a mount point its last
// folder name followed by ":", or its whole path when two cards share that name.
std::vector<std::string> ProgressLabels(std::span<const std::string> roots);

using station::FileSystemFactory;

// Writes the module to every root at the same time, one thread per card. Each card gets a file system of its
// own from `newFiles`, made here in the order of `roots` before any thread starts, so no worker touches
// another's state; a card that fails ends its own run only. Returns once every run has ended, the results in
// the order of `roots`.
std::vector<CardResult> WriteCards(std::span<const std::string> roots, std::span<const FirmwareImage> images,
                                   const FileSystemFactory& newFiles, ProgressLine& progress);

}  // namespace scaleboot::cli
