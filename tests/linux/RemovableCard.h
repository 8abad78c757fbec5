// The card that tests/linux/removable-card.sh mounts, and the program's file layer with a hand that pulls
// the card out during a run.
#pragma once
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/linux/LinuxPlatform.h"

namespace scaleboot::testing {

// The card of the harness: its mount point (ending in "/"), device and file-system type, or an empty mount
// point outside the harness.
struct HarnessCard {
  std::string root;
  std::string device;
  std::string type;

  // The first card, or with `number` "2" the second (when the harness was asked for two).
  static HarnessCard FromEnvironment(const std::string& number = "") {
    const auto get = [](const std::string& name) {
      const char* value = std::getenv(name.c_str());
      return std::string(value != nullptr ? value : "");
    };
    return {get("SCALEBOOT_TEST_CARD" + number), get("SCALEBOOT_TEST_CARD" + number + "_DEVICE"),
            get("SCALEBOOT_TEST_CARD_TYPE")};
  }

  // Whether the card is mounted on its folder (rather than the folder standing alone on the disk below).
  bool Mounted() const {
    struct stat folder {
    }, parent{};
    return ::stat(root.c_str(), &folder) == 0 && ::stat((root + "..").c_str(), &parent) == 0 &&
           folder.st_dev != parent.st_dev;
  }
  // Mounts the card again after a test unmounted it: an empty string, or what failed.
  std::string Mount() const {
    if (!Mounted() && ::mount(device.c_str(), root.c_str(), type.c_str(), 0, nullptr) != 0) {
      return "mount " + device + ": " + std::strerror(errno);
    }
    return {};
  }
  // Mounts the card when it is not, and empties it.
  std::string MountEmpty() const {
    if (std::string failure = Mount(); !failure.empty()) return failure;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
      std::filesystem::remove_all(entry.path(), error);
    }
    return error ? error.message() : "";
  }
  // Unmounts the card the way a desktop does when a card is pulled: at once, whatever is open.
  bool Unmount() const { return ::umount2(root.c_str(), MNT_DETACH) == 0; }
};

// The program's own file layer (its card-root rule included), which unmounts the card as soon as the file
// number `unmountAfterClose` (counting from 1) has been closed.
class UnmountingFileSystem : public platform::ByteFileSystem {
 public:
  UnmountingFileSystem(HarnessCard card, int unmountAfterClose)
      : card_(std::move(card)), unmountAfterClose_(unmountAfterClose) {}

  bool unmounted = false;
  int deletes = 0;

  int Create(const std::string& path, Handle& handle) override { return files_.Create(path, handle); }
  int Open(const std::string& path, Handle& handle) override { return files_.Open(path, handle); }
  int OpenForReading(const std::string& path, Handle& handle) override {
    return files_.OpenForReading(path, handle);
  }
  int WriteByte(Handle handle, std::uint8_t byte) override { return files_.WriteByte(handle, byte); }
  int ReadByte(Handle handle, std::uint8_t& byte) override { return files_.ReadByte(handle, byte); }
  int WriteBlock(Handle handle, std::span<const std::uint8_t> bytes, std::size_t& count) override {
    return files_.WriteBlock(handle, bytes, count);
  }
  int ReadBlock(Handle handle, std::span<std::uint8_t> buffer, std::size_t& count) override {
    return files_.ReadBlock(handle, buffer, count);
  }
  int Close(Handle handle) override {
    const int status = files_.Close(handle);
    if (++closes_ == unmountAfterClose_) unmounted = card_.Unmount();
    return status;
  }
  void Delete(const std::string& path) override {
    ++deletes;
    files_.Delete(path);
  }
  int ReadPastCache(const std::string& path, std::size_t limit,
                    std::vector<std::uint8_t>& contents) override {
    return files_.ReadPastCache(path, limit, contents);
  }

 private:
  platform::PosixByteFileSystem files_;
  HarnessCard card_;
  int unmountAfterClose_;
  int closes_ = 0;
};

}  // namespace scaleboot::testing
