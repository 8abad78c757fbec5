// Ejecting a card on Windows: the volume is opened, asked again whether it is a removable drive on no disk
// Windows runs from (the letter may name another volume than the one listed), locked, dismounted, its removal
// allowed and its medium ejected, as Microsoft's sample for ejecting removable media does. The reader keeps
// its drive letter for the next card; the reader's device itself is never removed.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>

#include "platform/Eject.h"

namespace scaleboot::platform {

// The system calls of an eject, so that tests can stand in for a volume (under Wine a dismount of a real
// volume would unmount the host's device).
class VolumeControl {
 public:
  virtual ~VolumeControl() = default;
  // CreateFileW(path, access, share, OPEN_EXISTING): 0 and the handle, or the error code.
  virtual DWORD Open(const std::wstring& path, DWORD access, DWORD share, HANDLE& handle) = 0;
  // DeviceIoControl with `input` as its input buffer and no output: 0 or the error code.
  virtual DWORD Control(HANDLE handle, DWORD code, const void* input, DWORD inputSize) = 0;
  virtual void Close(HANDLE handle) = 0;
  virtual void Wait(DWORD milliseconds) = 0;
  // The type of the drive at `root` ("E:\"), asked with the volume `volume` open: DRIVE_REMOVABLE, another
  // GetDriveTypeW type, or kDriveSystemDisk for a removable volume on the disk Windows runs from.
  virtual unsigned DriveTypeOf(const std::wstring& root, HANDLE volume) = 0;
};

// The real calls.
class SystemVolumeControl : public VolumeControl {
 public:
  DWORD Open(const std::wstring& path, DWORD access, DWORD share, HANDLE& handle) override;
  DWORD Control(HANDLE handle, DWORD code, const void* input, DWORD inputSize) override;
  void Close(HANDLE handle) override;
  void Wait(DWORD milliseconds) override;
  unsigned DriveTypeOf(const std::wstring& root, HANDLE volume) override;
};

class Win32Ejector : public Ejector {
 public:
  // The lock is tried this many times, this far apart (about two seconds in all).
  static constexpr int kLockAttempts = 20;
  static constexpr DWORD kLockInterval = 100;

  explicit Win32Ejector(VolumeControl& control) : control_(control) {}
  // `root` is a drive root ("E:\"). EjectOptions::powerOff is not acted on: the reader stays.
  EjectResult Eject(const std::string& root, const EjectOptions& options) override;

 private:
  std::mutex mutex_;  // one eject at a time: the volume's lock and the removal are not asked for at once
  VolumeControl& control_;
};

}  // namespace scaleboot::platform
