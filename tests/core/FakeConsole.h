// A terminal in memory: what the program wrote to each stream, whether each stream is a terminal, and a
// standard output that can be made to fail like a full disk.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace scaleboot::testing {

class FakeConsole : public platform::Console {
 public:
  std::string out, err;
  std::vector<std::string> errWrites;
  bool terminal = false;     // standard error is a terminal
  bool outTerminal = false;  // standard output is a terminal
  bool outFails = false;     // every write to standard output fails

  // The station writes from its owner's thread while its looker and workers read (Copy): one at a time.
  void Write(Stream stream, std::string_view text) override {
    const std::lock_guard lock(mutex_);
    if (stream == Stream::Out) {
      if (outFails) {
        outFailed_ = true;
        return;
      }
      out += text;
    } else {
      err += text;
      errWrites.emplace_back(text);
    }
  }
  bool IsTerminal(Stream stream) override { return stream == Stream::Err ? terminal : outTerminal; }
  bool Failed(Stream stream) override { return stream == Stream::Out && outFailed_; }
  void ResetFailure() { outFailed_ = false; }  // a new run starts with nothing lost
  std::string Copy(Stream stream) const {
    const std::lock_guard lock(mutex_);
    return stream == Stream::Out ? out : err;
  }

 private:
  // A console assigned anew (console = {}) keeps a lock of its own.
  struct Lock : std::mutex {
    Lock() = default;
    Lock(const Lock&) {}
    Lock& operator=(const Lock&) { return *this; }
  };
  mutable Lock mutex_;
  bool outFailed_ = false;
};

}  // namespace scaleboot::testing
