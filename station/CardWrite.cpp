#include "station/CardWrite.h"

#include <exception>

#include "common/Errors.h"

namespace scaleboot::station {

CardResult WriteCard(const std::string& root, std::span<const FirmwareImage> images,
                     platform::ByteFileSystem& files, WriterView& view, std::size_t transferSize) {
  CardResult result{root};
  try {
    const WriteReport report = WriteBootModule(root, images, files, view, transferSize);
    result.outcome = report.outcome == WriteOutcome::Verified ? CardOutcome::Verified : CardOutcome::Mismatch;
    result.deviceCompared = report.deviceCompared;
  } catch (const IoError& error) {
    result = {root, CardOutcome::IoError, error.code(), ErrorBoxText(error.what())};
  } catch (const std::exception& error) {
    // Nothing may leave a worker thread: any other failure ends this card's run alone, like an I/O error.
    result = {root, CardOutcome::IoError, 0, ErrorBoxText(error.what())};
  }
  return result;
}

CardResult WriteCardWithOwnFiles(const std::string& root, std::span<const FirmwareImage> images,
                                 const FileSystemFactory& newFiles, std::size_t transferSize) {
  std::unique_ptr<platform::ByteFileSystem> files;
  std::string why = "out of memory";
  try {
    files = newFiles();
  } catch (const std::exception& error) {
    why = error.what();
  }
  if (!files) {
    CardResult result{root, CardOutcome::IoError};
    result.filesUnprepared = why;
    return result;
  }
  NoWriterView view;
  return WriteCard(root, images, *files, view, transferSize);
}

std::function<CardResult(const std::string& root)> OwnFilesWriter(std::span<const FirmwareImage> images,
                                                                  FileSystemFactory newFiles,
                                                                  std::size_t transferSize) {
  return [images, newFiles = std::move(newFiles), transferSize](const std::string& root) {
    return WriteCardWithOwnFiles(root, images, newFiles, transferSize);
  };
}

}  // namespace scaleboot::station
