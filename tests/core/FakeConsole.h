// A terminal in memory: what the program wrote to each stream, whether each stream is a terminal, and a
// standard output that can be made to fail like a full disk.
#pragma once
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

  void Write(Stream stream, std::string_view text) override {
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

 private:
  bool outFailed_ = false;
};

}  // namespace scaleboot::testing
