// A drive list that behaves like the Windows call: copies when it fits, otherwise reports the size needed.
#pragma once
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace scaleboot::testing {

class FakeDrives : public platform::DriveSource {
 public:
  std::string list;  // roots separated by NULs, each followed by one
  std::map<std::string, unsigned> types;
  std::vector<std::string> asked;
  std::vector<std::size_t> bufferSizes;
  bool fail = false;

  void Set(std::initializer_list<std::pair<const char*, unsigned>> drives) {
    list.clear();
    types.clear();
    for (const auto& [root, type] : drives) {
      list += root;
      list += '\0';
      types[root] = type;
    }
  }
  std::uint32_t LogicalDriveStrings(std::span<char> buffer) override {
    bufferSizes.push_back(buffer.size());
    if (fail) return 0;
    if (list.size() + 1 > buffer.size()) return static_cast<std::uint32_t>(list.size() + 1);
    std::memcpy(buffer.data(), list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  unsigned DriveType(const std::string& root) override {
    asked.push_back(root);
    auto it = types.find(root);
    return it == types.end() ? 1 : it->second;
  }
};

}  // namespace scaleboot::testing
