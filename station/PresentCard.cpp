#include "station/PresentCard.h"

#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "card/BootModuleWriter.h"

namespace scaleboot::station {

PresentCheck CheckPresentCard(const std::string& root, std::span<const FirmwareImage> images,
                              const FileSystemFactory& newFiles) {
  PresentCheck check;
  try {
    const std::unique_ptr<platform::ByteFileSystem> files = newFiles();
    if (!files) return check;
    NoWriterView view;
    const ModuleCheck module = CheckBootModule(root, images, *files, view, kCardTransferSize);
    std::vector<std::optional<OwnChecksum>> checksums;
    for (std::size_t i = 0; i < module.findings.size() && i < images.size(); ++i)
      checksums.push_back(
          CheckFileChecksum(root + std::string(images[i].fileName), module.findings[i], *files));
    check.verdict = JudgeCard(module.findings, checksums);
    check.deviceCompared = module.deviceCompared;
  } catch (const std::exception&) {
    // Unreadable as a whole (the card went, the reader failed): not a card to take away as it is.
    check = {};
  }
  return check;
}

}  // namespace scaleboot::station
