// A file that lines are appended to, each with a single write of its own: the system puts each write at the
// file's end as one piece (O_APPEND, FILE_APPEND_DATA), so two programs logging to one file never mix their
// lines.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace scaleboot::platform {

class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Appends `line` with one write; false when the system took less than all of it.
  virtual bool Append(std::string_view line) = 0;
};

// Opens `path` for appending, creating it when it does not exist; nothing, and the system's words in `why`,
// when it cannot be opened.
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string& why);

}  // namespace scaleboot::platform
