#include "platform/win32/Win32Ejector.h"

#include <winioctl.h>

#include "platform/win32/SystemVolume.h"
#include "platform/win32/Win32Platform.h"

namespace scaleboot::platform {

using Status = EjectResult::Status;

DWORD SystemVolumeControl::Open(const std::wstring& path, DWORD access, DWORD share, HANDLE& handle) {
  handle = ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  return handle == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
}

DWORD SystemVolumeControl::Control(HANDLE handle, DWORD code, const void* input, DWORD inputSize) {
  DWORD returned = 0;
  return ::DeviceIoControl(handle, code, const_cast<void*>(input), inputSize, nullptr, 0, &returned, nullptr)
             ? 0
             : ::GetLastError();
}

void SystemVolumeControl::Close(HANDLE handle) {
  ::CloseHandle(handle);
}

void SystemVolumeControl::Wait(DWORD milliseconds) {
  ::Sleep(milliseconds);
}

unsigned SystemVolumeControl::DriveTypeOf(const std::wstring& root, HANDLE volume) {
  const unsigned type = ::GetDriveTypeW(root.c_str());
  if (type != DRIVE_REMOVABLE) return type;
  // The disk of the volume opened, not of whatever the letter names by now.
  VolumePlace place = PlaceOfDrive(root);
  place.disks = DisksOfOpenVolume(volume);
  return OnWindowsDisk(PlaceOfWindowsFolder(), place) ? kDriveSystemDisk : type;
}

EjectResult Win32Ejector::Eject(const std::string& root, const EjectOptions&) {
  const std::lock_guard lock(mutex_);
  if (root.size() < 2 || root[1] != ':')
    return {Status::Failed, true, {}, SystemErrorText(ERROR_INVALID_DRIVE)};
  const std::wstring volume = L"\\\\.\\" + Widen(root.substr(0, 2));
  HANDLE handle = INVALID_HANDLE_VALUE;
  const DWORD opened =
      control_.Open(volume, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, handle);
  if (opened == ERROR_ACCESS_DENIED) return {Status::AccessDenied};
  if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND || opened == ERROR_NOT_READY ||
      opened == ERROR_INVALID_DRIVE || opened == ERROR_NO_MEDIA_IN_DRIVE)
    return {Status::Gone};
  if (opened != 0) return {Status::Failed, true, {}, SystemErrorText(opened)};
  // Asked again now that it is open: since the list was read, the letter may have come to name another
  // volume, or the system's disk.
  if (const unsigned type = control_.DriveTypeOf(Widen(root.substr(0, 2)) + L"\\", handle);
      type != DRIVE_REMOVABLE) {
    control_.Close(handle);
    return {type == kDriveSystemDisk ? Status::SystemDisk : Status::NotRemovable};
  }

  // Another program with a file open on the volume holds the lock; it may be about to let go.
  DWORD locked = 0;
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (attempt > 0) control_.Wait(kLockInterval);
    locked = control_.Control(handle, FSCTL_LOCK_VOLUME, nullptr, 0);
    if (locked == 0) break;
  }
  EjectResult result{Status::Ejected};
  if (locked != 0) {
    result = {Status::InUse};
  } else if (const DWORD dismounted = control_.Control(handle, FSCTL_DISMOUNT_VOLUME, nullptr, 0)) {
    result = {Status::Failed, true, {}, SystemErrorText(dismounted)};
  } else {
    // Dismounted: the card is safe to pull from here on, whether or not the slot can push it out.
    PREVENT_MEDIA_REMOVAL allow{};
    allow.PreventMediaRemoval = FALSE;
    control_.Control(handle, IOCTL_STORAGE_MEDIA_REMOVAL, &allow, sizeof allow);
    result.mediaEjected = control_.Control(handle, IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0) == 0;
  }
  control_.Close(handle);
  return result;
}

}  // namespace scaleboot::platform
