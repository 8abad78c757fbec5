// The command-line program over fake drives (C: fixed, D: CD, E: F: G: removable), an in-memory card file
// system, a fake terminal and, when a test sets them up, fake paths to inspect.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeConsole.h"
#include "FakeDrives.h"
#include "FakeFileSystem.h"
#include "LockedFileSystem.h"
#include "main/cli/Cli.h"

namespace scaleboot::testing {

struct CliHarness : ::testing::Test {
  FakeDrives drives;
  FakeFileSystem files;
  FakeConsole console;
  ImageTable images = FirmwareImages();
  // What InspectPath answers for a path; paths not named here are what the fake file system holds (a regular
  // file of its size) or missing. Used only once `inspect` is set.
  std::map<std::string, platform::PathInfo> paths;
  bool inspect = false;
  platform::Ejector* ejector = nullptr;  // eject and write --eject; none unless a test sets one
  bool testFirmware = false;             // run as a test build (placeholder images) runs
  // The folder each root names, once a test sets any: roots of equal identity are one folder of one card.
  std::map<std::string, platform::FolderIdentity> identities;
  std::mutex filesLock;

  CliHarness() { drives.Set({{"C:\\", 3}, {"D:\\", 5}, {"E:\\", 2}, {"F:\\", 2}, {"G:\\", 2}}); }

  int Run(std::vector<std::string> args) {
    console.out.clear();
    console.err.clear();
    console.errWrites.clear();
    console.ResetFailure();
    cli::Environment environment{drives, files, console, {.images = images}, kEnglish};
    // Each card of a batch gets an object of its own over the one in-memory file system.
    environment.services.newFiles = [this] { return std::make_unique<LockedFileSystem>(files, filesLock); };
    environment.services.ejector = ejector;
    environment.testFirmware = testFirmware;
    if (inspect) environment.inspectPath = [this](const std::string& path) { return Inspect(path); };
    if (!identities.empty()) {
      environment.services.identifyFolder = [this](const std::string& root) { return Identify(root); };
    }
    return cli::RunCli(args, environment);
  }
  platform::FolderLookup Identify(const std::string& root) const {
    const auto it = identities.find(root);
    return it == identities.end() ? platform::FolderLookup{std::nullopt, 1117}
                                  : platform::FolderLookup{it->second};
  }
  platform::PathInfo Inspect(const std::string& path) const {
    if (const auto it = paths.find(path); it != paths.end()) return it->second;
    if (const auto it = files.files.find(path); it != files.files.end())
      return {platform::PathInfo::Kind::RegularFile, it->second.size()};
    return {platform::PathInfo::Kind::Missing, 0};
  }
  void PutModule(const std::string& folder) {
    paths[folder] = {platform::PathInfo::Kind::Folder, 0};
    for (const FirmwareImage& image : images) {
      files.files[folder + std::string(image.fileName)].assign(image.bytes.begin(), image.bytes.end());
    }
  }
  bool HoldsModule(const std::string& folder) const {
    for (const FirmwareImage& image : images) {
      const auto it = files.files.find(folder + std::string(image.fileName));
      if (it == files.files.end() ||
          !std::equal(it->second.begin(), it->second.end(), image.bytes.begin(), image.bytes.end()))
        return false;
    }
    return true;
  }
  std::size_t CallsOn(const std::string& folder, FakeFileSystem::Op op) const {
    std::size_t n = 0;
    for (const auto& call : files.calls) n += call.op == op && call.path.starts_with(folder);
    return n;
  }
};

}  // namespace scaleboot::testing
