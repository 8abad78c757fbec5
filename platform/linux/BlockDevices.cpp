#include "platform/linux/BlockDevices.h"

#include <fcntl.h>
#include <libmount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace scaleboot::platform {
namespace {

struct TableDeleter {
  void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct IterDeleter {
  void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};
struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

int SkipUnparsableLine(libmnt_table*, const char*, int) {
  return 1;
}

std::string OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// The last part of the path the links of `path` lead to; empty when it leads nowhere.
std::string ResolvedName(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string resolved(real);
  std::free(real);
  return resolved.substr(resolved.rfind('/') + 1);
}

}  // namespace

std::string BlockFolder(const std::string& sysRoot, dev_t device) {
  return sysRoot + "/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

dev_t ParseDeviceNumber(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return 0;
  unsigned maj = 0, min = 0;
  const char* end = text.data() + text.size();
  const auto first = std::from_chars(text.data(), text.data() + colon, maj);
  const auto second = std::from_chars(text.data() + colon + 1, end, min);
  if (first.ec != std::errc() || first.ptr != text.data() + colon || second.ec != std::errc() ||
      second.ptr != end)
    return 0;
  return makedev(maj, min);
}

dev_t DeviceNumberIn(const std::string& path) {
  return ParseDeviceNumber(FirstLine(path));
}

std::string WholeDiskFolder(const std::string& folder) {
  return PathExists(folder + "/partition") ? folder + "/.." : folder;
}

dev_t WholeDiskOf(const std::string& sysRoot, dev_t device) {
  const std::string folder = BlockFolder(sysRoot, device);
  if (!PathExists(folder)) return 0;
  return PathExists(folder + "/partition") ? DeviceNumberIn(folder + "/../dev") : device;
}

bool IsRemovableCardDisk(const std::string& disk) {
  if (FirstLine(disk + "/removable") == "1") return true;
  return ResolvedName(disk).starts_with("mmcblk") && FirstLine(disk + "/device/type") == "SD";
}

std::optional<std::vector<MountRecord>> ParseMountTable(std::string_view text) {
  if (text.empty()) return std::vector<MountRecord>{};
  std::string copy(text);
  const std::unique_ptr<FILE, FileCloser> stream(::fmemopen(copy.data(), copy.size(), "r"));
  if (!stream) return std::nullopt;
  std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table());
  if (!table) return std::nullopt;
  mnt_table_set_parser_errcb(table.get(), SkipUnparsableLine);
  if (mnt_table_parse_stream(table.get(), stream.get(), "mountinfo") != 0) return std::nullopt;
  std::unique_ptr<libmnt_iter, IterDeleter> iter(mnt_new_iter(MNT_ITER_FORWARD));
  if (!iter) return std::nullopt;
  std::vector<MountRecord> records;
  libmnt_fs* fs = nullptr;
  while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
    const std::string target = OrEmpty(mnt_fs_get_target(fs));
    if (target.empty()) continue;
    records.push_back({mnt_fs_get_id(fs), mnt_fs_get_parent_id(fs), target, OrEmpty(mnt_fs_get_root(fs)),
                       mnt_fs_get_devno(fs), OrEmpty(mnt_fs_get_fstype(fs)), OrEmpty(mnt_fs_get_source(fs)),
                       OrEmpty(mnt_fs_get_fs_options(fs))});
  }
  return records;
}

std::optional<std::string> ReadText(const std::string& path) {
  // Plain reads: a stream would raise on a read that fails part-way (a folder, a device that went away).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ::close(fd);
      return got == 0 ? std::optional(std::move(text)) : std::nullopt;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

std::optional<std::vector<MountRecord>> ReadMountTable(const std::string& path) {
  const std::optional<std::string> text = ReadText(path);
  if (!text) return std::nullopt;
  return ParseMountTable(*text);
}

std::uint64_t MountIdOf(int fd) {
  struct statx st {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &st) == 0 && (st.stx_mask & STATX_MNT_ID) != 0 &&
      st.stx_mnt_id != 0)
    return st.stx_mnt_id;
  std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
  std::string line;
  while (std::getline(info, line)) {
    if (line.starts_with("mnt_id:")) return std::strtoull(line.c_str() + 7, nullptr, 10);
  }
  return 0;
}

}  // namespace scaleboot::platform
