#include "platform/linux/SystemJournal.h"

#include <sys/stat.h>
#include <sys/uio.h>
// The entries' own fields say where they come from; this file's name and line would say nothing more.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scaleboot::platform {
namespace {

// A decimal number that is the whole of `text`.
bool WholeNumber(std::string_view text, std::uint64_t& number) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  return !text.empty() && error == std::errc() && stop == end;
}

}  // namespace

bool IsJournalStream(const char* journalStream, int fd) {
  if (journalStream == nullptr) return false;
  const std::string_view value(journalStream);
  const std::size_t colon = value.find(':');
  std::uint64_t device = 0, inode = 0;
  if (colon == std::string_view::npos || !WholeNumber(value.substr(0, colon), device) ||
      !WholeNumber(value.substr(colon + 1), inode))
    return false;
  struct stat stream {};
  return ::fstat(fd, &stream) == 0 && static_cast<std::uint64_t>(stream.st_dev) == device &&
         static_cast<std::uint64_t>(stream.st_ino) == inode;
}

bool SystemJournal::Send(std::span<const JournalField> fields) {
  // "NAME=value" each; the library frames values that hold line breaks, and passes an entry too large for
  // one datagram in a memory file.
  std::vector<std::string> assignments;
  assignments.reserve(fields.size());
  for (const JournalField& field : fields) assignments.push_back(field.name + "=" + field.value);
  std::vector<iovec> parts;
  parts.reserve(assignments.size());
  for (std::string& assignment : assignments) parts.push_back({assignment.data(), assignment.size()});
  return !parts.empty() && sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0;
}

}  // namespace scaleboot::platform
