#include "main/cli/BatchWrite.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

#include "common/Errors.h"
#include "main/cli/Cli.h"
#include "main/cli/CliTexts.h"

namespace scaleboot::cli {
int StatusOf(CardOutcome outcome) {
  switch (outcome) {
    case CardOutcome::Verified:
      return kExitSuccess;
    case CardOutcome::Mismatch:
      return kExitMismatch;
    case CardOutcome::IoError:
      return kExitIoError;
    case CardOutcome::CorruptImages:
      return kExitCorrupt;
  }
  return kExitIoError;
}

int WorstStatus(int a, int b) {
  // Ranks from best to worst; a usage error ranks above all, since nothing else can have happened with it.
  const auto rank = [](int status) {
    switch (status) {
      case kExitSuccess:
        return 0;
      case kExitMismatch:
        return 1;
      case kExitIoError:
        return 2;
      case kExitCorrupt:
        return 3;
      default:
        return 4;
    }
  };
  return rank(a) >= rank(b) ? a : b;
}

std::vector<std::string> ProgressLabels(std::span<const std::string> roots) {
  std::vector<std::string> keys, names;
  for (const std::string& root : roots) {
    keys.push_back(RootKey(root));
    const std::string& key = keys.back();
    const auto slash = key.find_last_of("/\\");
    // A drive letter ("E:") or "/" is its own label.
    std::string name = slash == std::string::npos || key.size() == 1 ? key : key.substr(slash + 1);
    if (name.back() != ':') name += ':';
    names.push_back(std::move(name));
  }
  std::vector<std::string> labels = names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (std::count(names.begin(), names.end(), names[i]) > 1) labels[i] = keys[i] + ":";
  }
  return labels;
}

std::vector<CardResult> WriteCards(std::span<const std::string> roots, std::span<const FirmwareImage> images,
                                   const FileSystemFactory& newFiles, ProgressLine& progress) {
  std::vector<std::unique_ptr<platform::ByteFileSystem>> files;
  std::vector<std::unique_ptr<CardProgress>> views;
  for (std::size_t i = 0; i < roots.size(); ++i) {
    files.push_back(newFiles());
    views.push_back(std::make_unique<CardProgress>(progress, i));
  }
  std::vector<CardResult> results(roots.size());
  const auto run = [&](std::size_t i) {
    results[i] = WriteCard(roots[i], images, *files[i], *views[i]);
    progress.SetFinished(i, results[i].outcome == CardOutcome::Verified);
  };
  std::vector<std::thread> workers;
  workers.reserve(roots.size());  // no reallocation may destroy a running thread
  for (std::size_t i = 0; i < roots.size(); ++i) {
    try {
      workers.emplace_back(run, i);
    } catch (const std::system_error&) {
      // No thread to be had: this card is written on the calling thread, alongside the workers already
      // running.
      run(i);
    }
  }
  for (std::thread& worker : workers) worker.join();
  return results;
}

}  // namespace scaleboot::cli
