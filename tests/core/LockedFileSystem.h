// Forwards every call to one shared file system under one lock: how the workers of a batch write share the
// single in-memory card file system of a test, which must not be called from two threads at once.
#pragma once
#include <mutex>

#include "platform/Platform.h"

namespace scaleboot::testing {

class LockedFileSystem : public platform::ByteFileSystem {
 public:
  LockedFileSystem(platform::ByteFileSystem& files, std::mutex& mutex) : files_(files), mutex_(mutex) {}
  int Create(const std::string& path, Handle& handle) override {
    const std::lock_guard lock(mutex_);
    return files_.Create(path, handle);
  }
  int Open(const std::string& path, Handle& handle) override {
    const std::lock_guard lock(mutex_);
    return files_.Open(path, handle);
  }
  int OpenForReading(const std::string& path, Handle& handle) override {
    const std::lock_guard lock(mutex_);
    return files_.OpenForReading(path, handle);
  }
  int WriteByte(Handle handle, std::uint8_t byte) override {
    const std::lock_guard lock(mutex_);
    return files_.WriteByte(handle, byte);
  }
  int ReadByte(Handle handle, std::uint8_t& byte) override {
    const std::lock_guard lock(mutex_);
    return files_.ReadByte(handle, byte);
  }
  int WriteBlock(Handle handle, std::span<const std::uint8_t> bytes, std::size_t& count) override {
    const std::lock_guard lock(mutex_);
    return files_.WriteBlock(handle, bytes, count);
  }
  int ReadBlock(Handle handle, std::span<std::uint8_t> buffer, std::size_t& count) override {
    const std::lock_guard lock(mutex_);
    return files_.ReadBlock(handle, buffer, count);
  }
  int Close(Handle handle) override {
    const std::lock_guard lock(mutex_);
    return files_.Close(handle);
  }
  void Delete(const std::string& path) override {
    const std::lock_guard lock(mutex_);
    files_.Delete(path);
  }
  int ReadPastCache(const std::string& path, std::size_t limit,
                    std::vector<std::uint8_t>& contents) override {
    const std::lock_guard lock(mutex_);
    return files_.ReadPastCache(path, limit, contents);
  }

 private:
  platform::ByteFileSystem& files_;
  std::mutex& mutex_;
};

}  // namespace scaleboot::testing
