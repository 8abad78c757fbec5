#include "platform/win32/SystemVolume.h"

#include <winioctl.h>

#include <algorithm>
#include <vector>

namespace scaleboot::platform {
namespace {

bool SameText(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && !b.empty() && ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// The disks the volume named `volumeName` ("\\?\Volume{...}\") lies on.
std::vector<DWORD> DisksOfVolume(std::wstring volumeName) {
  if (volumeName.empty()) return {};
  if (volumeName.back() == L'\\') volumeName.pop_back();  // the volume's device, not its root folder
  const HANDLE volume = ::CreateFileW(volumeName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return {};
  std::vector<DWORD> disks = DisksOfOpenVolume(volume);
  ::CloseHandle(volume);
  return disks;
}

// The place of the volume holding `path` (any folder on it).
VolumePlace PlaceOfPath(const std::wstring& path) {
  VolumePlace place;
  wchar_t root[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameW(path.c_str(), root, MAX_PATH + 1)) return place;
  place.root = root;
  wchar_t name[64] = {};
  if (::GetVolumeNameForVolumeMountPointW(root, name, 64)) place.volumeName = name;
  place.disks = DisksOfVolume(place.volumeName);
  return place;
}

}  // namespace

// The storage device number where the volume is a partition of one disk, otherwise the disks of its extents.
std::vector<DWORD> DisksOfOpenVolume(HANDLE volume) {
  std::vector<DWORD> disks;
  STORAGE_DEVICE_NUMBER number{};
  DWORD returned = 0;
  if (::DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                        &returned, nullptr) &&
      returned >= sizeof number && number.DeviceType == FILE_DEVICE_DISK) {
    disks.push_back(number.DeviceNumber);
    return disks;
  }
  // A spanned or striped volume has several extents; room for 32 of them.
  std::vector<unsigned char> buffer(sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT));
  const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
  if (::DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
    for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < 32; ++i)
      disks.push_back(extents->Extents[i].DiskNumber);
  }
  return disks;
}

bool OnWindowsDisk(const VolumePlace& windows, const VolumePlace& candidate) {
  if (!windows.disks.empty() && !candidate.disks.empty()) {
    return std::any_of(candidate.disks.begin(), candidate.disks.end(), [&](DWORD disk) {
      return std::find(windows.disks.begin(), windows.disks.end(), disk) != windows.disks.end();
    });
  }
  if (!windows.volumeName.empty() && !candidate.volumeName.empty())
    return SameText(windows.volumeName, candidate.volumeName);
  return SameText(windows.root, candidate.root);
}

std::wstring SubstFolder(std::wstring_view dosDevice) {
  constexpr std::wstring_view kPrefix = L"\\??\\";
  if (!dosDevice.starts_with(kPrefix)) return {};
  std::wstring folder(dosDevice.substr(kPrefix.size()));
  // A drive-letter path only ("C:\..."): a subst of a network share ("UNC\server\share") has no local disk.
  if (folder.size() < 2 || folder[1] != L':') return {};
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

VolumePlace PlaceOfDrive(const std::wstring& root) {
  if (root.size() >= 2 && root[1] == L':') {
    wchar_t target[MAX_PATH + 8] = {};
    const std::wstring letter = root.substr(0, 2);
    if (::QueryDosDeviceW(letter.c_str(), target, MAX_PATH + 8) != 0) {
      const std::wstring folder = SubstFolder(target);
      if (!folder.empty() && !SameText(folder.substr(0, 2), letter)) return PlaceOfPath(folder);
    }
  }
  return PlaceOfPath(root);
}

VolumePlace PlaceOfWindowsFolder() {
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return {};
  return PlaceOfDrive(windows);
}

}  // namespace scaleboot::platform
