// Which volumes belong to the disk Windows runs from: every volume of the disk that holds the Windows folder,
// so that no partition of a Windows To Go disk or a WinPE stick is taken for a card. Decided from facts read
// for each volume (VolumePlace), so that the rule can be checked against canned machines.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace scaleboot::platform {

// Where a volume lies, each part empty when it cannot be read: its root (the root of the volume a subst
// letter names, not the letter's), its GUID name ("\\?\Volume{...}\"), and the numbers of the disks it lies
// on (one for an ordinary volume, each disk of its extents for a spanned one).
struct VolumePlace {
  std::wstring root;
  std::wstring volumeName;
  std::vector<DWORD> disks;
};

// Whether `candidate` lies on the disk of the Windows folder's volume `windows`: one disk in common, where
// the disks of both can be read; otherwise, the same volume (by GUID name where both have one, else by root).
bool OnWindowsDisk(const VolumePlace& windows, const VolumePlace& candidate);

// The folder a subst letter names, from QueryDosDeviceW's answer for it ("\??\C:\cards" gives "C:\cards\");
// empty for any other answer (a volume's device, "\Device\HarddiskVolume3", or a network drive).
std::wstring SubstFolder(std::wstring_view dosDevice);

// The place of the volume at the drive root `root` ("E:\"), a subst letter followed to the volume it names;
// and that of the volume holding the Windows folder.
VolumePlace PlaceOfDrive(const std::wstring& root);
// The disks of the volume open as `volume` (a handle of "\\.\E:" or of its GUID name); none when they
// cannot be read.
std::vector<DWORD> DisksOfOpenVolume(HANDLE volume);
VolumePlace PlaceOfWindowsFolder();

}  // namespace scaleboot::platform
