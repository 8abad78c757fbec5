// The eject's system calls in order, through a stand-in volume (a real dismount under Wine would unmount a
// host device), and how each failure is reported.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Win32Ejector.h"

namespace scaleboot::platform {
namespace {

using Status = EjectResult::Status;

struct FakeVolume : VolumeControl {
  DWORD openError = 0;
  std::map<DWORD, DWORD> errors;  // control code -> error it answers
  int lockRefusals = 0;           // FSCTL_LOCK_VOLUME fails this many times before it succeeds
  std::vector<std::string> calls;
  HANDLE volume = reinterpret_cast<HANDLE>(0x40);

  DWORD Open(const std::wstring& path, DWORD access, DWORD share, HANDLE& handle) override {
    const bool asSample =
        access == (GENERIC_READ | GENERIC_WRITE) && share == (FILE_SHARE_READ | FILE_SHARE_WRITE);
    calls.push_back("open " + std::string(path.begin(), path.end()) + (asSample ? "" : " (other access)"));
    handle = openError ? INVALID_HANDLE_VALUE : volume;
    return openError;
  }
  DWORD Control(HANDLE handle, DWORD code, const void* input, DWORD inputSize) override {
    if (handle != volume) calls.push_back("control on another handle");
    static const std::map<DWORD, std::string> names{{FSCTL_LOCK_VOLUME, "lock"},
                                                    {FSCTL_DISMOUNT_VOLUME, "dismount"},
                                                    {IOCTL_STORAGE_MEDIA_REMOVAL, "allow removal"},
                                                    {IOCTL_STORAGE_EJECT_MEDIA, "eject"}};
    std::string name = names.count(code) ? names.at(code) : "other";
    if (code == IOCTL_STORAGE_MEDIA_REMOVAL &&
        (inputSize != sizeof(PREVENT_MEDIA_REMOVAL) ||
         static_cast<const PREVENT_MEDIA_REMOVAL*>(input)->PreventMediaRemoval != FALSE))
      name += " (prevent)";
    calls.push_back(name);
    if (code == FSCTL_LOCK_VOLUME && lockRefusals > 0) {
      --lockRefusals;
      return ERROR_ACCESS_DENIED;
    }
    const auto it = errors.find(code);
    return it == errors.end() ? 0 : it->second;
  }
  void Close(HANDLE handle) override { calls.push_back(handle == volume ? "close" : "close another handle"); }
  void Wait(DWORD milliseconds) override { calls.push_back("wait " + std::to_string(milliseconds)); }
  unsigned type = DRIVE_REMOVABLE;  // what the drive is when asked again
  unsigned DriveTypeOf(const std::wstring& root, HANDLE handle) override {
    calls.push_back("type of " + std::string(root.begin(), root.end()) +
                    (handle == volume ? "" : " (closed)"));
    return type;
  }
};

std::vector<std::string> Repeat(std::vector<std::string> calls, int times) {
  std::vector<std::string> out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), calls.begin(), calls.end());
  return out;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(Win32Eject, LocksDismountsAllowsRemovalAndEjectsThenSaysHowItWent) {
  const std::vector<std::string> open{"open \\\\.\\E:", "type of E:\\"};
  const std::vector<std::string> after{"dismount", "allow removal", "eject", "close"};
  struct Case {
    const char* name;
    DWORD openError;
    std::map<DWORD, DWORD> errors;
    int lockRefusals;
    Status status;
    bool mediaEjected;
    std::vector<std::string> calls;
    unsigned type = DRIVE_REMOVABLE;
  };
  const Case cases[] = {
      {"ejected", 0, {}, 0, Status::Ejected, true, Join({open, {"lock"}, after})},
      {"open refused", ERROR_ACCESS_DENIED, {}, 0, Status::AccessDenied, true, {open[0]}},
      {"no such drive", ERROR_FILE_NOT_FOUND, {}, 0, Status::Gone, true, {open[0]}},
      {"no card in the slot", ERROR_NOT_READY, {}, 0, Status::Gone, true, {open[0]}},
      // Asked again once open: the letter now names the system's disk, or a fixed drive. Nothing locked.
      {"now the system's disk",
       0,
       {},
       0,
       Status::SystemDisk,
       true,
       Join({open, {"close"}}),
       kDriveSystemDisk},
      {"now a fixed drive", 0, {}, 0, Status::NotRemovable, true, Join({open, {"close"}}), DRIVE_FIXED},
      {"let go within two seconds",
       0,
       {},
       3,
       Status::Ejected,
       true,
       Join({open, {"lock"}, Repeat({"wait 100", "lock"}, 3), after})},
      {"held by another program",
       0,
       {},
       100,
       Status::InUse,
       true,
       Join({open, {"lock"}, Repeat({"wait 100", "lock"}, Win32Ejector::kLockAttempts - 1), {"close"}})},
      {"dismount fails",
       0,
       {{FSCTL_DISMOUNT_VOLUME, ERROR_GEN_FAILURE}},
       0,
       Status::Failed,
       true,
       Join({open, {"lock", "dismount", "close"}})},
      // A built-in slot cannot push the card out, but the volume is dismounted: safe to pull.
      {"slot cannot eject",
       0,
       {{IOCTL_STORAGE_EJECT_MEDIA, ERROR_NOT_SUPPORTED}},
       0,
       Status::Ejected,
       false,
       Join({open, {"lock"}, after})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeVolume volume;
    volume.openError = c.openError;
    volume.errors = c.errors;
    volume.lockRefusals = c.lockRefusals;
    volume.type = c.type;
    const EjectResult result = Win32Ejector(volume).Eject("E:\\", {});
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.mediaEjected, c.mediaEjected);
    EXPECT_EQ(volume.calls, c.calls);
    if (c.status == Status::Failed) {
      EXPECT_FALSE(result.detail.empty());
    }
  }
}

}  // namespace
}  // namespace scaleboot::platform
