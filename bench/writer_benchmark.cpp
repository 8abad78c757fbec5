// Measures what the boot-module writer costs on top of the system calls it cannot avoid.
//
// Runs the real WriteBootModule into a fresh folder on tmpfs (/dev/shm) through PosixByteFileSystem, with a
// view that counts the gauge's repaints (each file's read past the cache after its read-back included, where
// tmpfs takes O_DIRECT), and then a bare loop of the same one-byte system calls (open, write,
// fsync, close for each image; open, read, close for each image). Prints both times (median of the rounds),
// their ratio, the number of repaints, the command-line program's batch of two cards at once against two
// single runs one after another, and the cost of one card-root check of the program's rule.
// Then the command-line program's write (the writer in 16 KiB calls behind its progress line) against the
// floor of the same work in block calls (each file written with one call, flushed, read back with one call
// past the cache where the file system takes O_DIRECT, and compared), with the write calls each makes: in the
// folder, and on the card SCALEBOOT_TEST_CARD names where one is set (as root: SCALEBOOT_TEST_CARD_TYPE=ext2
// tests/linux/removable-card.sh build/linux/bench/writer_benchmark). Usage: writer_benchmark [rounds]
// [folder]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "card/BootModuleWriter.h"
#include "images/FirmwareImages.h"
#include "main/cli/Cli.h"
#include "platform/linux/LinuxPlatform.h"
#include "ui/Gauge.h"

namespace {

using scaleboot::FirmwareImage;
using Clock = std::chrono::steady_clock;

// The window as the writer sees it; a repaint is counted wherever the real bar would repaint.
class RepaintCountingView : public scaleboot::WriterView {
 public:
  scaleboot::GaugeModel gauge;
  int repaints = 0;

  void SetWriteEnabled(bool) override {}
  void SetGaugeRange(int minimum, int maximum) override {
    repaints += gauge.SetMinimum(minimum);
    repaints += gauge.SetMaximum(maximum);
  }
  void SetGaugePosition(int position) override { repaints += gauge.SetPosition(position); }
  void AddGaugeProgress(int delta) override { repaints += gauge.AddProgress(delta); }
};

// The terminal of the command-line program: counts the progress lines instead of showing them (a batch writes
// them under its own lock).
class CountingConsole : public scaleboot::platform::Console {
 public:
  int lines = 0;
  void Write(Stream, std::string_view) override { ++lines; }
  bool IsTerminal(Stream) override { return true; }
  bool Failed(Stream) override { return false; }
};

[[noreturn]] void Fail(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

// The same system calls without the writer: the floor that the writer cannot go below.
void BareLoop(const std::string& root, std::span<const FirmwareImage> images) {
  for (const FirmwareImage& image : images) {
    const std::string path = root + std::string(image.fileName);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) Fail(path);
    for (const std::uint8_t byte : image.bytes) {
      if (::write(fd, &byte, 1) != 1) Fail("write");
    }
    if (::fsync(fd) != 0) Fail("fsync");
    if (::close(fd) != 0) Fail("close");
  }
  unsigned differing = 0;
  for (const FirmwareImage& image : images) {
    const std::string path = root + std::string(image.fileName);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) Fail(path);
    for (const std::uint8_t expected : image.bytes) {
      std::uint8_t byte = 0;
      if (::read(fd, &byte, 1) != 1) Fail("read");
      differing += byte != expected;
    }
    if (::close(fd) != 0) Fail("close");
  }
  if (differing != 0) Fail("bare loop read back different bytes");
}

// Bytes of a direct read: a multiple of every logical block size, in memory aligned as strictly.
constexpr std::size_t kDirectAlignment = 4096;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// The floor of the command line's write: one write call per file, fsync, and one read per file past the cache
// (through it where the file system refuses O_DIRECT, as tmpfs does), compared with the image.
void BlockFloor(const std::string& root, std::span<const FirmwareImage> images) {
  std::size_t longest = 0;
  for (const FirmwareImage& image : images) {
    const std::string path = root + std::string(image.fileName);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) Fail(path);
    if (::write(fd, image.bytes.data(), image.bytes.size()) != static_cast<ssize_t>(image.bytes.size()))
      Fail("write");
    if (::fsync(fd) != 0) Fail("fsync");
    if (::close(fd) != 0) Fail("close");
    longest = std::max<std::size_t>(longest, image.bytes.size());
  }
  const std::size_t size = (longest / kDirectAlignment + 1) * kDirectAlignment;
  const std::unique_ptr<void, FreeDeleter> buffer(std::aligned_alloc(kDirectAlignment, size));
  if (!buffer) Fail("aligned_alloc");
  for (const FirmwareImage& image : images) {
    const std::string path = root + std::string(image.fileName);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    if (fd < 0 && errno == EINVAL) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail(path);
    if (::read(fd, buffer.get(), size) != static_cast<ssize_t>(image.bytes.size())) Fail("read");
    if (!std::equal(image.bytes.begin(), image.bytes.end(), static_cast<const std::uint8_t*>(buffer.get())))
      Fail("the floor read back different bytes");
    if (::close(fd) != 0) Fail("close");
  }
}

// The process's write calls so far (syscw of /proc/self/io), or -1 where the kernel does not say.
long long WriteCalls() {
  std::FILE* io = std::fopen("/proc/self/io", "r");
  if (io == nullptr) return -1;
  long long value = -1;
  char name[32] = {};
  while (std::fscanf(io, "%31s %lld", name, &value) == 2 && std::string(name) != "syscw:") value = -1;
  std::fclose(io);
  return value;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Processor time of the whole process so far, user and system, in seconds.
double ProcessorSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The command line's write (its progress line on a terminal) against BlockFloor, side by side in one run, in
// fresh folders under `base`: in the program's calls of kCardTransferSize and, for comparison, in larger
// ones. Each round runs the floor and every size once, so that the machine's other load falls on all alike.
void CompareWithBlockFloor(const std::string& name, const std::string& base, int rounds) {
  std::string pattern = base + "/scaleboot-blocks-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) Fail(pattern);
  const std::string cliRoot = pattern + "/cli/", floorRoot = pattern + "/floor/";
  for (const std::string& folder : {cliRoot, floorRoot}) std::filesystem::create_directory(folder);
  const auto& images = scaleboot::FirmwareImages();
  scaleboot::platform::PosixByteFileSystem files(scaleboot::platform::OpenAnyFolder);
  const std::size_t sizes[] = {scaleboot::cli::kCardTransferSize, 64 * 1024, 1024 * 1024};
  constexpr std::size_t kSizes = std::size(sizes);
  std::vector<double> cliTimes[kSizes], floorTimes;
  long long cliWrites[kSizes] = {}, floorWrites = 0;
  int progressLines[kSizes] = {};
  bool deviceCompared = false;
  for (int round = 0; round <= rounds; ++round) {
    const long long w0 = WriteCalls();
    const auto t0 = Clock::now();
    BlockFloor(floorRoot, images);
    const double floorTime = Seconds(Clock::now() - t0);
    if (round > 0) floorTimes.push_back(floorTime), floorWrites = WriteCalls() - w0;
    for (std::size_t k = 0; k < kSizes; ++k) {
      CountingConsole console;
      scaleboot::cli::ProgressLine progress(console, scaleboot::kEnglish, true);
      scaleboot::cli::CardProgress view(progress, 0, 2);
      const long long w1 = WriteCalls();
      const auto t1 = Clock::now();
      const scaleboot::cli::CardResult card =
          scaleboot::cli::WriteCard(cliRoot, images, files, view, sizes[k]);
      progress.Finish();
      const double cliTime = Seconds(Clock::now() - t1);
      if (card.outcome != scaleboot::cli::CardOutcome::Verified) Fail("the command line's write failed");
      if (round == 0) continue;  // warms the caches
      cliTimes[k].push_back(cliTime);
      cliWrites[k] = WriteCalls() - w1;
      progressLines[k] = console.lines;
      deviceCompared = card.deviceCompared;
    }
  }
  std::filesystem::remove_all(pattern);
  const double floor = Median(floorTimes);
  std::printf("command line in %s, %d rounds, median%s:\n", name.c_str(), rounds,
              deviceCompared ? "" : " (no read past the cache on either side)");
  std::printf("  floor:                   %.4f s, %lld write calls\n", floor, floorWrites);
  for (std::size_t k = 0; k < kSizes; ++k) {
    const double cli = Median(cliTimes[k]);
    std::printf("  write, %7zu-byte calls: %.4f s, ratio %.2f%s, %lld write calls, %d progress writes\n",
                sizes[k], cli, cli / floor, k == 0 ? " (the program's; target at most 1.5)" : "",
                cliWrites[k], progressLines[k]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string base = argc > 2 ? argv[2] : "/dev/shm";
  std::string pattern = base + "/scaleboot-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) Fail(pattern);
  const std::string writerRoot = pattern + "/writer/";
  const std::string bareRoot = pattern + "/bare/";
  const std::vector<std::string> batchRoots{pattern + "/card1/", pattern + "/card2/"};
  for (const std::string& folder : {writerRoot, bareRoot, batchRoots[0], batchRoots[1]})
    std::filesystem::create_directory(folder);

  const auto& images = scaleboot::FirmwareImages();
  std::size_t calls = 0;
  for (const FirmwareImage& image : images) calls += 2 * image.bytes.size();

  // A folder on tmpfs is no removable drive: the program's card-root rule is timed on its own below.
  scaleboot::platform::PosixByteFileSystem files(scaleboot::platform::OpenAnyFolder);
  std::vector<double> writerTimes, bareTimes, batchTimes, oneAfterTheOtherTimes, batchBusyCores;
  int repaints = 0, batchLines = 0;
  // Each card of a batch has a file layer of its own, as in the program.
  const scaleboot::cli::FileSystemFactory newFiles = [] {
    return std::make_unique<scaleboot::platform::PosixByteFileSystem>(scaleboot::platform::OpenAnyFolder);
  };
  // Round 0 warms the caches and is not counted; the two loops alternate so that drift affects both alike.
  for (int round = 0; round <= rounds; ++round) {
    RepaintCountingView view;
    const auto t0 = Clock::now();
    const auto outcome = scaleboot::WriteBootModule(writerRoot, images, files, view);
    const auto t1 = Clock::now();
    BareLoop(bareRoot, images);
    const auto t2 = Clock::now();
    const auto t3 = Clock::now();
    // Two cards: one batch of both at once, then the same two written one after the other.
    CountingConsole batchConsole;
    scaleboot::cli::ProgressLine batchLine(batchConsole, scaleboot::kEnglish, {"A:", "B:"}, true);
    const double cpu0 = ProcessorSeconds();
    const auto batch = scaleboot::cli::WriteCards(batchRoots, images, newFiles, batchLine);
    batchLine.Finish();
    const auto t4 = Clock::now();
    const double batchCpu = ProcessorSeconds() - cpu0;
    bool singlesVerified = true;
    for (const std::string& root : batchRoots) {
      CountingConsole singleConsole;
      scaleboot::cli::ProgressLine single(singleConsole, scaleboot::kEnglish, true);
      scaleboot::cli::CardProgress singleView(single, 0, 2);
      singlesVerified =
          singlesVerified && scaleboot::cli::WriteCard(root, images, *newFiles(), singleView).outcome ==
                                 scaleboot::cli::CardOutcome::Verified;
      single.Finish();
    }
    const auto t5 = Clock::now();
    const bool batchVerified = std::all_of(batch.begin(), batch.end(), [](const auto& card) {
      return card.outcome == scaleboot::cli::CardOutcome::Verified;
    });
    if (outcome != scaleboot::WriteOutcome::Verified || !batchVerified || !singlesVerified) {
      Fail("the writer did not report success");
    }
    if (round == 0) continue;
    repaints = view.repaints;
    batchLines = batchConsole.lines;
    writerTimes.push_back(Seconds(t1 - t0));
    bareTimes.push_back(Seconds(t2 - t1));
    batchTimes.push_back(Seconds(t4 - t3));
    oneAfterTheOtherTimes.push_back(Seconds(t5 - t4));
    batchBusyCores.push_back(batchCpu / Seconds(t4 - t3));
  }
  std::filesystem::remove_all(pattern);

  // The program's card-root rule runs once per Create, Open and Delete (eight times in a run that succeeds):
  // it opens the folder, asks for its mount and reads the mount table. "/" is a mount root on a block device
  // on most machines, so every step runs before it is refused as not removable.
  constexpr int kChecks = 2000;
  auto openRoot = scaleboot::platform::RemovableDriveRoots();
  const auto c0 = Clock::now();
  for (int i = 0; i < kChecks; ++i) {
    int folder = -1;
    if (openRoot("/", folder) == 0) ::close(folder);
  }
  const double check = Seconds(Clock::now() - c0) / kChecks;

  const double writer = Median(writerTimes);
  const double bare = Median(bareTimes);
  const double ratio = writer / bare;
  std::printf("folder:            %s (tmpfs)\n", base.c_str());
  std::printf("one-byte calls:    %zu per run (%d rounds, median)\n", calls, rounds);
  std::printf("WriteBootModule:   %.3f s (%.0f ns per byte)\n", writer, writer * 1e9 / calls);
  std::printf("bare system calls: %.3f s (%.0f ns per byte)\n", bare, bare * 1e9 / calls);
  std::printf("ratio:             %.3f (overhead %+.1f%%, target at most +10%%)\n", ratio, (ratio - 1) * 100);
  std::printf("gauge repaints:    %d per run\n", repaints);
  const double together = Median(batchTimes), apart = Median(oneAfterTheOtherTimes);
  std::printf(
      "two cards at once: %.3f s against %.3f s for two single runs one after another (%.2fx the time, "
      "%.2fx one run), %d progress writes\n",
      together, apart, together / apart, together / (apart / 2), batchLines);
  // Below two busy cores the workers waited for a processor: other load on the machine, not the batch.
  std::printf("                   %.2f of %u cores busy while both ran\n", Median(batchBusyCores),
              std::thread::hardware_concurrency());
  std::printf("card-root check:   %.1f us per call (%.2f%% of a run for eight)\n", check * 1e6,
              8 * check / writer * 100);
  // A block run takes a few hundredths of a second: more rounds steady its median.
  CompareWithBlockFloor(base + " (tmpfs)", base, 15 * rounds);
  if (const char* card = std::getenv("SCALEBOOT_TEST_CARD")) {
    CompareWithBlockFloor(std::string(card) + " (a card)", card, 15 * rounds);
  } else {
    std::printf(
        "on a card:         skipped (no SCALEBOOT_TEST_CARD: run as root through removable-card.sh)\n");
  }
  return 0;
}
