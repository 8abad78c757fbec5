#include "card/BootModuleWriter.h"

#include <cstdint>

#include "ui/Errors.h"

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

void CheckClose(int status) {
  if (status != 0) throw IoError(1);
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
  void Close() {
    open_ = false;
    CheckClose(files_.Close(handle_));
  }

 private:
  platform::ByteFileSystem& files_;
  Handle handle_;
  bool open_ = true;
};

std::string PathOf(const std::string& driveRoot, const FirmwareImage& image) {
  return driveRoot + std::string(image.fileName);
}

}  // namespace

int GaugeMaximumFor(std::span<const FirmwareImage> images) {
  std::int64_t total = 0;
  for (const FirmwareImage& image : images) total += image.bytes.size();
  if (total * 2 > INT32_MAX) throw OverflowError();
  return static_cast<int>(total * 2);
}

void WriteBootModule(const std::string& driveRoot, std::span<const FirmwareImage> images,
                     platform::ByteFileSystem& files, LanguageIndex language, WriterView& view) {
  view.SetWriteEnabled(false);
  view.SetGaugeRange(0, GaugeMaximumFor(images));
  view.SetGaugePosition(0);

  for (const FirmwareImage& image : images) {
    Handle handle = 0;
    Check(files.Create(PathOf(driveRoot, image), handle));
    OpenFile file(files, handle);
    for (const std::uint8_t byte : image.bytes) {
      CheckTransfer(files.WriteByte(handle, byte), 101);
      view.AddGaugeProgress(1);
    }
    file.Close();
  }

  std::int32_t mismatches = 0;
  for (const FirmwareImage& image : images) {
    Handle handle = 0;
    Check(files.Open(PathOf(driveRoot, image), handle));
    OpenFile file(files, handle);
    for (const std::uint8_t expected : image.bytes) {
      std::uint8_t actual = 0;
      CheckTransfer(files.ReadByte(handle, actual), 100);
      if (actual != expected && __builtin_add_overflow(mismatches, 1, &mismatches)) throw OverflowError();
      view.AddGaugeProgress(1);
    }
    file.Close();
  }

  view.SetGaugePosition(0);
  view.SetWriteEnabled(true);
  if (mismatches == 0) {
    view.ShowBox({std::string(Text(language, Msg::WriteOkText)),
                  std::string(Text(language, Msg::WriteOkCaption)), BoxIcon::Information});
    return;
  }
  for (const FirmwareImage& image : images) files.Delete(PathOf(driveRoot, image));
  const std::string failed(Text(language, Msg::WriteFailedText));
  view.ShowBox({failed, failed, BoxIcon::Error});
}

}  // namespace scaleboot
