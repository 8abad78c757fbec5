// An in-memory one-byte file layer that records every call and can fail any one of them.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace scaleboot::testing {

class FakeFileSystem : public platform::ByteFileSystem {
 public:
  // clang-format off
  enum class Op { Create, Open, OpenForReading, Write, Read, Close, Delete, ReadBlock, PastCache, WriteBlock };
  // clang-format on
  struct Call {
    Op op;
    std::string path;
  };
  struct OpenFile {
    std::string path;
    std::size_t pos = 0;
  };

  std::map<std::string, std::vector<std::uint8_t>> files;
  std::vector<Call> calls;  // Write and Read are recorded only at a file's first byte
  std::map<Handle, OpenFile> open;
  // Called before every operation with the operation, the file and the byte index (for Write/Read); a
  // non-zero result is returned as the operation's status instead of doing it.
  std::function<int(Op, const std::string&, std::size_t)> fault;
  // Called after a file is closed from writing; lets a test damage what "reached the card".
  std::function<void(const std::string&, std::vector<std::uint8_t>&)> afterWrite;
  // What a read past the cache finds: the file's bytes as they are, unless this changes them (a card whose
  // cache holds other bytes than the card itself). `pastCacheRefused` makes every such read refused.
  std::function<void(const std::string&, std::vector<std::uint8_t>&)> onDevice;
  bool pastCacheRefused = false;
  std::size_t blockLimit = SIZE_MAX;  // bytes a block call moves at most: a card taking blocks in parts
  std::size_t writes = 0, reads = 0, deletes = 0, blockReads = 0, blockWrites = 0;

  int Create(const std::string& path, Handle& h) override {
    if (int s = Fault(Op::Create, path, 0)) return s;
    files[path].clear();
    return Track(Op::Create, path, h);
  }
  int Open(const std::string& path, Handle& h) override {
    if (int s = Fault(Op::Open, path, 0)) return s;
    if (!files.count(path)) return 2;
    return Track(Op::Open, path, h);
  }
  int OpenForReading(const std::string& path, Handle& h) override {
    if (int s = Fault(Op::OpenForReading, path, 0)) return s;
    if (!files.count(path)) return 2;
    return Track(Op::OpenForReading, path, h);
  }
  int WriteByte(Handle h, std::uint8_t b) override {
    OpenFile& f = open.at(h);
    if (f.pos == 0) calls.push_back({Op::Write, f.path});
    if (int s = Fault(Op::Write, f.path, f.pos)) return s;
    auto& data = files[f.path];
    if (f.pos < data.size()) {
      data[f.pos] = b;
    } else {
      data.push_back(b);
    }
    ++f.pos;
    ++writes;
    return 0;
  }
  int ReadByte(Handle h, std::uint8_t& b) override {
    OpenFile& f = open.at(h);
    if (f.pos == 0) calls.push_back({Op::Read, f.path});
    if (int s = Fault(Op::Read, f.path, f.pos)) return s;
    const auto& data = files[f.path];
    if (f.pos >= data.size()) return kShortTransfer;
    b = data[f.pos++];
    ++reads;
    return 0;
  }
  // Block calls are recorded at a file's first block; the fault sees the offset of the block.
  int WriteBlock(Handle h, std::span<const std::uint8_t> bytes, std::size_t& count) override {
    OpenFile& f = open.at(h);
    if (f.pos == 0) calls.push_back({Op::WriteBlock, f.path});
    if (int s = Fault(Op::WriteBlock, f.path, f.pos)) return s;
    auto& data = files[f.path];
    count = std::min(bytes.size(), blockLimit);
    if (data.size() < f.pos + count) data.resize(f.pos + count);
    std::copy_n(bytes.begin(), count, data.begin() + static_cast<std::ptrdiff_t>(f.pos));
    f.pos += count;
    ++blockWrites;
    return 0;
  }
  int ReadBlock(Handle h, std::span<std::uint8_t> buffer, std::size_t& count) override {
    OpenFile& f = open.at(h);
    if (f.pos == 0) calls.push_back({Op::ReadBlock, f.path});
    if (int s = Fault(Op::ReadBlock, f.path, f.pos)) return s;
    const auto& data = files[f.path];
    count = std::min({buffer.size(), blockLimit, data.size() - std::min(f.pos, data.size())});
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(f.pos), count, buffer.begin());
    f.pos += count;
    ++blockReads;
    return 0;
  }
  int Close(Handle h) override {
    const OpenFile f = open.at(h);
    open.erase(h);
    calls.push_back({Op::Close, f.path});
    if (int s = Fault(Op::Close, f.path, 0)) return s;
    if (afterWrite && lastWasCreate_[h]) afterWrite(f.path, files[f.path]);
    return 0;
  }
  void Delete(const std::string& path) override {
    calls.push_back({Op::Delete, path});
    ++deletes;
    if (!Fault(Op::Delete, path, 0)) files.erase(path);
  }
  int ReadPastCache(const std::string& path, std::size_t limit,
                    std::vector<std::uint8_t>& contents) override {
    calls.push_back({Op::PastCache, path});
    if (int s = Fault(Op::PastCache, path, 0)) return s;
    if (pastCacheRefused) return kPastCacheRefused;
    if (!files.count(path)) return 2;
    contents = files[path];
    if (onDevice) onDevice(path, contents);
    if (contents.size() > limit) contents.resize(limit);
    return 0;
  }

 private:
  int Fault(Op op, const std::string& path, std::size_t index) { return fault ? fault(op, path, index) : 0; }
  int Track(Op op, const std::string& path, Handle& h) {
    h = nextHandle_++;
    open[h] = {path, 0};
    lastWasCreate_[h] = op == Op::Create;
    calls.push_back({op, path});
    return 0;
  }
  Handle nextHandle_ = 100;
  std::map<Handle, bool> lastWasCreate_;
};

}  // namespace scaleboot::testing
