#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FakeFileSystem.h"
#include "card/BootModuleWriter.h"
#include "common/Errors.h"
#include "ui/Gauge.h"
#include "ui/WriteResult.h"

namespace scaleboot {
namespace {

using testing::FakeFileSystem;
using Op = FakeFileSystem::Op;

// Records what the writer does to the window; the gauge follows the same redraw rule as the real bar.
class RecordingView : public WriterView {
 public:
  GaugeModel gauge;
  std::vector<bool> enabledHistory;
  std::vector<Phase> phases;
  int redraws = 0;
  int redrawsAtHalf = -1;
  int positionAtHalfRedraw = -1;

  void SetWriteEnabled(bool enabled) override { enabledHistory.push_back(enabled); }
  void SetGaugeRange(int minimum, int maximum) override {
    redraws += gauge.SetMinimum(minimum);
    redraws += gauge.SetMaximum(maximum);
  }
  void SetGaugePosition(int position) override { redraws += gauge.SetPosition(position); }
  void AddGaugeProgress(int delta) override {
    if (gauge.AddProgress(delta)) {
      ++redraws;
      if (gauge.PercentDone() == 50) {
        redrawsAtHalf = redraws;
        positionAtHalfRedraw = gauge.position();
      }
    }
  }
  void BeginPhase(Phase phase) override { phases.push_back(phase); }
};

const std::string kRoot = "E:\\";
constexpr std::size_t kBlock = 16 * 1024;  // the command line's transfers
const char* const kNames[] = {"32yk2368.bin", "32yk936.bin", "yk2368.bin", "yk936.bin"};

struct Writer : ::testing::Test {
  FakeFileSystem fs;
  RecordingView view;
  const ImageTable& images = FirmwareImages();

  WriteOutcome Run() { return WriteBootModule(kRoot, images, fs, view); }
  std::string Path(int i) const { return kRoot + kNames[i]; }
  std::vector<std::pair<Op, std::string>> CallList() const {
    std::vector<std::pair<Op, std::string>> out;
    for (const auto& c : fs.calls) out.emplace_back(c.op, c.path);
    return out;
  }
};

TEST_F(Writer, FullRunWritesExactCopiesReadsThemBackAndReportsSuccess) {
  EXPECT_EQ(Run(), WriteOutcome::Verified);
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(fs.files.count(Path(i)));
    const auto& bytes = fs.files[Path(i)];
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), images[i].bytes.begin(), images[i].bytes.end()))
        << Path(i);
  }
  EXPECT_EQ(fs.files[Path(0)].size(), 422916u);
  EXPECT_EQ(fs.files[Path(1)].size(), 15750u);
  EXPECT_EQ(fs.writes, 877332u);
  EXPECT_EQ(fs.reads, 877332u);
  EXPECT_EQ(fs.deletes, 0u);
  EXPECT_THAT(view.enabledHistory, ::testing::ElementsAre(false, true));
  EXPECT_EQ(view.gauge.maximum(), 1754664);
  EXPECT_EQ(view.gauge.position(), 0);
  EXPECT_THAT(view.phases, ::testing::ElementsAre(WriterView::Phase::Writing, WriterView::Phase::Verifying));
}

TEST_F(Writer, OperationsRunInTableOrderWritePhaseThenVerifyPhase) {
  Run();
  std::vector<std::pair<Op, std::string>> expected;
  for (Op phase : {Op::Create, Op::Open}) {
    for (int i = 0; i < 4; ++i) {
      expected.emplace_back(phase, Path(i));
      expected.emplace_back(phase == Op::Create ? Op::Write : Op::Read, Path(i));
      expected.emplace_back(Op::Close, Path(i));
      // Each file read back is then read once more from the device itself.
      if (phase == Op::Open) expected.emplace_back(Op::PastCache, Path(i));
    }
  }
  EXPECT_EQ(CallList(), expected);
}

TEST_F(Writer, GaugeFillsToHalfInTheWritePhaseAndToTheEndInTheVerifyPhase) {
  int positionAtFirstOpen = -1;
  int positionAtLastClose = -1;
  fs.fault = [&](Op op, const std::string& path, std::size_t) {
    if (op == Op::Open && path == Path(0)) positionAtFirstOpen = view.gauge.position();
    if (op == Op::Close && path == Path(3) && positionAtFirstOpen >= 0)
      positionAtLastClose = view.gauge.position();
    return 0;
  };
  Run();
  EXPECT_EQ(positionAtFirstOpen, 877332);
  EXPECT_EQ(positionAtLastClose, 1754664);
  EXPECT_EQ(view.positionAtHalfRedraw, 877332);
  // 1 for the range, 50 per phase, 1 for the return to empty.
  EXPECT_EQ(view.redrawsAtHalf, 51);
  EXPECT_EQ(view.redraws, 102);
}

TEST(WriteResultBox, FollowsTheOutcomeAndTheLanguage) {
  EXPECT_EQ(
      WriteResultBox(WriteOutcome::Verified, kEnglish),
      (MessageBoxSpec{"Module creation completed successfully", "Creation completed", BoxIcon::Information}));
  EXPECT_EQ(WriteResultBox(WriteOutcome::Verified, kRussian),
            (MessageBoxSpec{"Запись загрузочного модуля на карту завершена успешно", "Запись завершена",
                            BoxIcon::Information}));
  for (LanguageIndex language : {kEnglish, kRussian}) {
    const std::string text(Text(language, Msg::WriteFailedText));
    EXPECT_EQ(WriteResultBox(WriteOutcome::Mismatch, language), (MessageBoxSpec{text, text, BoxIcon::Error}));
  }
}

TEST_F(Writer, LongerExistingFilesAreCutToTheImageLength) {
  for (int i = 0; i < 4; ++i) fs.files[Path(i)] = std::vector<std::uint8_t>(500000, 0xAA);
  EXPECT_EQ(Run(), WriteOutcome::Verified);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(fs.files[Path(i)].size(), images[i].length);
}

// The write click of either window, in order: the run, the input queued during it dropped whatever its end,
// then the result box; an error (an I/O error, no drive selected) instead of the box.
TEST(WriteClick, DropsTheQueuedInputThenShowsTheBoxOrRaises) {
  struct Window : WriteWindow {
    std::vector<std::string> events;
    void SetWriteEnabled(bool enabled) override { events.push_back(enabled ? "enable" : "disable"); }
    void SetGaugeRange(int, int) override { events.push_back("gauge"); }
    void SetGaugePosition(int) override {}
    void AddGaugeProgress(int) override {}
    void DiscardPendingInput() override { events.push_back("discard"); }
    void ShowBox(const MessageBoxSpec& box) override { events.push_back(box.text + " | " + box.caption); }
  };
  const std::string failed(Text(kRussian, Msg::WriteFailedText));
  const struct {
    const char* name;
    std::string root;
    LanguageIndex language;
    int createError;  // of the second file
    bool damaged;
    int raised;  // the I/O code raised, 0 for none
    std::vector<std::string> events;
  } cases[] = {
      {"verified",
       kRoot,
       kEnglish,
       0,
       false,
       0,
       {"disable", "gauge", "enable", "discard",
        "Module creation completed successfully | Creation completed"}},
      {"mismatch",
       kRoot,
       kRussian,
       0,
       true,
       0,
       {"disable", "gauge", "enable", "discard", failed + " | " + failed}},
      {"I/O error", kRoot, kEnglish, 19, false, 19, {"disable", "gauge", "discard"}},
      {"no drive selected", "", kEnglish, 0, false, io::kInvalidFilename, {"discard"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    files.fault = [&](Op op, const std::string& path, std::size_t) {
      return op == Op::Create && path == c.root + kNames[1] ? c.createError : 0;
    };
    files.afterWrite = [&](const std::string&, std::vector<std::uint8_t>& data) {
      if (c.damaged) data[0] ^= 1;
    };
    Window window;
    int raised = 0;
    try {
      WriteAndReport(c.root, FirmwareImages(), files, c.language, window);
    } catch (const IoError& error) {
      raised = error.code();
    }
    EXPECT_EQ(raised, c.raised);
    EXPECT_EQ(window.events, c.events);
    if (c.root.empty()) {
      EXPECT_TRUE(files.calls.empty()) << "nothing written relative to the working folder";
    }
  }
}

TEST_F(Writer, AMismatchInAnyFileDeletesAllFourAndReportsFailure) {
  for (int bad = 0; bad < 4; ++bad) {
    {  // one clean file layer per damaged file
      FakeFileSystem files;
      RecordingView v;
      files.afterWrite = [&](const std::string& path, std::vector<std::uint8_t>& data) {
        if (path == Path(bad)) data[data.size() / 2] ^= 0x10;
      };
      EXPECT_EQ(WriteBootModule(kRoot, images, files, v), WriteOutcome::Mismatch);
      EXPECT_TRUE(files.files.empty()) << "file " << bad;
      std::vector<std::string> deleted;
      for (const auto& c : files.calls) {
        if (c.op == Op::Delete) deleted.push_back(c.path);
      }
      EXPECT_THAT(deleted, ::testing::ElementsAre(Path(0), Path(1), Path(2), Path(3)));
      EXPECT_EQ(files.reads, 877332u) << "the verify phase runs to the end";
      EXPECT_EQ(v.gauge.position(), 0);
      EXPECT_THAT(v.enabledHistory, ::testing::ElementsAre(false, true));
    }
  }
}

TEST_F(Writer, FailingDeletionsAreIgnored) {
  fs.afterWrite = [](const std::string&, std::vector<std::uint8_t>& data) { data[0] ^= 1; };
  fs.fault = [](Op op, const std::string&, std::size_t) { return op == Op::Delete ? 5 : 0; };
  EXPECT_EQ(Run(), WriteOutcome::Mismatch);
  EXPECT_EQ(fs.deletes, 4u);
}

struct Injection {
  Op op;
  int file;           // 0..3
  std::size_t index;  // byte index for Write/Read; SIZE_MAX means the file's last byte
  int status;         // what the file layer returns
  const char* text;   // the error box text
};

TEST_F(Writer, AnInjectedErrorEndsTheRunWithItsTextAndTouchesNothingLater) {
  const Injection cases[] = {
      {Op::Create, 0, 0, 5, "File access denied."},
      {Op::Create, 2, 0, 3, "Invalid filename."},
      {Op::Write, 1, 0, 19, "I/O error 19."},
      {Op::Write, 0, 211458, 112, "I/O error 112."},
      {Op::Write, 3, SIZE_MAX, FakeFileSystem::kShortTransfer, "Disk full."},
      {Op::Close, 1, 0, 1117, "I/O error 1."},
      {Op::Open, 0, 0, 2, "File not found."},
      {Op::Open, 3, 0, 21, "I/O error 21."},
      {Op::Read, 2, 0, 4, "Too many open files."},
      {Op::Read, 1, 7000, 1117, "I/O error 1117."},
      {Op::Read, 3, SIZE_MAX, FakeFileSystem::kShortTransfer, "Read beyond end of file."},
      {Op::Read, 0, 5, FakeFileSystem::kShortTransfer, "Read beyond end of file."},
      {Op::PastCache, 2, 0, 21, "I/O error 21."},
  };
  for (const Injection& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " at file " + std::to_string(c.file));
    FakeFileSystem files;
    RecordingView v;
    const std::string target = Path(c.file);
    const std::size_t last = images[c.file].length - 1;
    bool verifying = false;
    bool fired = false;
    int gaugeAtFault = -1;
    std::size_t callsAtFault = 0;
    files.fault = [&](Op op, const std::string& path, std::size_t index) {
      if (op == Op::Open) verifying = true;
      if (fired) {
        // Only the closing of the file that failed may follow the error.
        EXPECT_EQ(op, Op::Close);
        EXPECT_EQ(path, target);
        return 0;
      }
      const bool closeInRightPhase = op != Op::Close || verifying == (c.op == Op::Read || c.op == Op::Open);
      if (op == c.op && path == target && closeInRightPhase &&
          ((op != Op::Write && op != Op::Read) || index == (c.index == SIZE_MAX ? last : c.index))) {
        fired = true;
        gaugeAtFault = v.gauge.position();
        callsAtFault = files.calls.size();
        return c.status;
      }
      return 0;
    };
    try {
      WriteBootModule(kRoot, images, files, v);
      ADD_FAILURE() << "no error raised";
    } catch (const IoError& e) {
      EXPECT_EQ(ErrorBoxText(e.what()), c.text);
    }
    EXPECT_TRUE(fired);
    EXPECT_EQ(files.deletes, 0u);
    EXPECT_THAT(v.enabledHistory, ::testing::ElementsAre(false)) << "the button stays disabled";
    EXPECT_EQ(v.gauge.position(), gaugeAtFault) << "the gauge keeps its position";
    EXPECT_TRUE(files.open.empty()) << "a file left open by the error is closed";
    EXPECT_LE(files.calls.size(), callsAtFault + 1);
  }
}

// A folder holding the module with one file changed as a case says; verify must name what it finds there.
struct VerifyCase {
  const char* name;
  int file;
  std::function<void(std::vector<std::uint8_t>&)> change;  // null: the file is missing
  Op failOp;                                               // Open/Read/Close fails with failStatus when set
  int failStatus;
  FileFinding expected;
  std::size_t failAt = 0;  // the byte a failing Read is reading
};

TEST_F(Writer, VerifyNamesWhatEachFileHoldsAndNeverWrites) {
  using Kind = FileFinding::Kind;
  const auto keep = [](std::vector<std::uint8_t>&) {};
  const VerifyCase cases[] = {
      {"identical", 0, keep, Op::Create, 0, {Kind::Identical, 422916}},
      {"one byte differs",
       1,
       [](auto& d) { d[7000] ^= 0x01; },
       Op::Create,
       0,
       {Kind::Differs, 15750, 1, 7000}},
      {"three bytes differ",
       2,
       [](auto& d) { d[3] ^= 1, d[4] ^= 1, d.back() ^= 1; },
       Op::Create,
       0,
       {Kind::Differs, 422916, 3, 3}},
      {"shorter", 3, [](auto& d) { d.resize(100); }, Op::Create, 0, {Kind::Shorter, 100}},
      {"empty", 3, [](auto& d) { d.clear(); }, Op::Create, 0, {Kind::Shorter, 0}},
      {"shorter and different",
       0,
       [](auto& d) { d.resize(50), d[9] ^= 1; },
       Op::Create,
       0,
       {Kind::Shorter, 50, 1, 9}},
      {"longer", 1, [](auto& d) { d.push_back(0); }, Op::Create, 0, {Kind::Longer, 15750}},
      {"longer and different",
       1,
       [](auto& d) { d.push_back(0), d[0] ^= 1; },
       Op::Create,
       0,
       {Kind::Longer, 15750, 1, 0}},
      {"missing", 2, nullptr, Op::Create, 0, {Kind::Missing, 0, 0, 0, 2}},
      {"access denied", 3, keep, Op::OpenForReading, 5, {Kind::Unreadable, 0, 0, 0, 5}},
      {"read fails", 0, keep, Op::Read, 1117, {Kind::Unreadable, 0, 0, 0, 1117}},
      {"the read past the last byte fails",
       1,
       keep,
       Op::Read,
       1117,
       {Kind::Unreadable, 15750, 0, 0, 1117},
       15750},
      {"close fails", 1, keep, Op::Close, 6, {Kind::Unreadable, 15750, 0, 0, 1}},
  };
  // The command line's verify reads the same in blocks: the same findings, the read past the end included.
  std::vector<std::pair<VerifyCase, std::size_t>> runs;
  for (const std::size_t transfer : {kOneByteTransfers, kBlock})
    for (const VerifyCase& c : cases) runs.emplace_back(c, transfer);
  for (const auto& [c, transfer] : runs) {
    SCOPED_TRACE(std::string(c.name) + " in calls of " + std::to_string(transfer));
    const Op failOp = transfer > 1 && c.failOp == Op::Read ? Op::ReadBlock : c.failOp;
    FakeFileSystem files;
    RecordingView v;
    for (int i = 0; i < 4; ++i) files.files[Path(i)].assign(images[i].bytes.begin(), images[i].bytes.end());
    if (c.change) {
      c.change(files.files[Path(c.file)]);
    } else {
      files.files.erase(Path(c.file));
    }
    const auto before = files.files;
    files.fault = [&](Op op, const std::string& path, std::size_t index) {
      return op == failOp && path == Path(c.file) &&
                     ((op != Op::Read && op != Op::ReadBlock) || index == c.failAt)
                 ? c.failStatus
                 : 0;
    };
    const std::vector<FileFinding> findings =
        transfer == 1 ? VerifyBootModule(kRoot, images, files, v)
                      : CheckBootModule(kRoot, images, files, v, transfer).findings;
    ASSERT_EQ(findings.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      const FileFinding intact{Kind::Identical, images[i].length};
      EXPECT_EQ(findings[i], i == c.file ? c.expected : intact) << Path(i);
    }
    EXPECT_EQ(HoldsModule(findings), c.expected.kind == Kind::Identical);
    EXPECT_EQ(files.files, before) << "verify changes nothing";
    for (const auto& call : files.calls) {
      EXPECT_TRUE(call.op == Op::OpenForReading || call.op == (transfer == 1 ? Op::Read : Op::ReadBlock) ||
                  call.op == Op::Close || call.op == Op::PastCache);
    }
    EXPECT_TRUE(files.open.empty());
    EXPECT_EQ(v.gauge.position(), v.gauge.maximum()) << "the gauge covers the whole module";
    EXPECT_EQ(v.gauge.maximum(), 877332);
  }
}

// A card whose cache serves other bytes than the card holds: the one-byte read-back finds every byte right,
// the read from the device does not. The write must fail and verify must say what the device holds.
struct DeviceCase {
  const char* name;
  std::function<void(std::vector<std::uint8_t>&)> device;  // what the device returns for file 1
  bool refused;                                            // the file system reads only through its cache
  int failStatus;                                          // the read past the cache fails with this
  int writeCode;  // -1 verified, -2 mismatch, else the I/O code raised
  FileFinding finding;
};

TEST_F(Writer, BytesTheDeviceReturnsDecideWhateverTheCacheSays) {
  using Kind = FileFinding::Kind;
  const DeviceCase cases[] = {
      {"same bytes", nullptr, false, 0, -1, {Kind::Identical, 15750}},
      {"one byte differs", [](auto& d) { d[15000] ^= 4; }, false, 0, -2, {Kind::Differs, 15750, 1, 15000}},
      {"two bytes differ", [](auto& d) { d[1] ^= 4, d[2] ^= 4; }, false, 0, -2, {Kind::Differs, 15750, 2, 1}},
      {"ends early", [](auto& d) { d.resize(15000); }, false, 0, -2, {Kind::Differs, 15750, 750, 15000}},
      {"refused", [](auto& d) { d[0] ^= 1; }, true, 0, -1, {Kind::Identical, 15750}},
      {"read fails", nullptr, false, 1117, 1117, {Kind::Unreadable, 15750, 0, 0, 1117}},
  };
  for (const DeviceCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    RecordingView v;
    files.pastCacheRefused = c.refused;
    files.onDevice = [&](const std::string& path, std::vector<std::uint8_t>& bytes) {
      if (path == Path(1) && c.device) c.device(bytes);
    };
    files.fault = [&](Op op, const std::string& path, std::size_t) {
      return op == Op::PastCache && path == Path(1) ? c.failStatus : 0;
    };
    int code = -1;
    try {
      code = WriteBootModule(kRoot, images, files, v) == WriteOutcome::Verified ? -1 : -2;
    } catch (const IoError& e) {
      code = e.code();
    }
    EXPECT_EQ(code, c.writeCode);
    // Each file is read back one byte at a time before the device is read: an error there stops the run after
    // the second file.
    EXPECT_EQ(files.reads, c.writeCode > 0 ? 422916u + 15750u : 877332u);
    EXPECT_EQ(files.files.empty(), c.writeCode == -2) << "a mismatch deletes the four files, only a mismatch";

    for (int i = 0; i < 4; ++i) files.files[Path(i)].assign(images[i].bytes.begin(), images[i].bytes.end());
    const std::vector<FileFinding> findings = VerifyBootModule(kRoot, images, files, v);
    ASSERT_EQ(findings.size(), 4u);
    EXPECT_EQ(findings[1], c.finding);
    EXPECT_EQ(findings[0], (FileFinding{Kind::Identical, 422916}));
  }
}

// The command line's run in blocks: a card that takes part of a block is asked for the rest; a call that
// fails gives its own code, and only one that moves nothing without an error gives 101 or 100.
struct BlockCase {
  const char* name;
  std::function<void(FakeFileSystem&)> card;
  int code;  // -1 verified, else the I/O code raised
  std::size_t maxWriteCalls = 60;
};

TEST_F(Writer, BlocksWriteTheSameFilesInFewCallsAndFailWithTheCodesOfOneByteCalls) {
  const auto failing = [](Op failing, std::size_t from, int code) {
    return [=](FakeFileSystem& fs) {
      fs.fault = [=](Op op, auto&, std::size_t at) { return op == failing && at >= from ? code : 0; };
    };
  };
  const BlockCase cases[] = {
      {"whole blocks", [](FakeFileSystem&) {}, -1},
      {"the card takes 1000 bytes a call", [](FakeFileSystem& fs) { fs.blockLimit = 1000; }, -1, 900},
      {"a write call moves no byte", [](FakeFileSystem& fs) { fs.blockLimit = 0; }, 101},
      {"the card is full", failing(Op::WriteBlock, 1, 112), 112},
      {"the read past the cache fails", failing(Op::PastCache, 0, 1117), 1117},
      {"a read through the cache fails where none past it is allowed",
       [](FakeFileSystem& fs) {
         fs.pastCacheRefused = true;
         fs.fault = [](Op op, auto&, std::size_t) { return op == Op::ReadBlock ? 1117 : 0; };
       },
       1117},
      {"a file ends before the read-back does",
       [](FakeFileSystem& fs) { fs.afterWrite = [](auto&, auto& bytes) { bytes.pop_back(); }; }, 100},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem files;
    RecordingView v;
    c.card(files);
    int code = -1;
    try {
      EXPECT_EQ(WriteBootModule(kRoot, images, files, v, kBlock).outcome, WriteOutcome::Verified);
    } catch (const IoError& e) {
      code = e.code();
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(files.writes + files.reads, 0u) << "no one-byte call";
    const bool throughCache =
        std::any_of(files.calls.begin(), files.calls.end(),
                    [](const FakeFileSystem::Call& call) { return call.op == Op::ReadBlock; });
    EXPECT_EQ(throughCache, files.pastCacheRefused) << "read back once, past the cache where it may";
    EXPECT_LE(files.blockWrites, c.maxWriteCalls);
  }
}

TEST_F(Writer, GaugeMaximumIsTwiceTheImageBytes) {
  EXPECT_EQ(GaugeMaximumFor(images), 1754664);
  EXPECT_EQ(GaugeMaximumFor({}), 0);
}

}  // namespace
}  // namespace scaleboot
