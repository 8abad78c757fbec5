// The disks the running system uses, which are never cards: told from the mount table, sysfs and the list of
// active swaps, all passed in as they were read, so that the rule can be decided again on every look and
// checked against canned machines.
#pragma once
#include <sys/types.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/BlockDevices.h"

namespace scaleboot::platform {

// Whether a file system mounted at `target` is the running system's: /, at or below /boot, /efi, /usr, /var,
// /srv, /opt or /etc, /root, /home or a user's home right below it (/home/USER), or where a live system's
// medium is mounted. Anywhere else (/media, /run/media, /mnt, /tmp, a folder deeper in a home) a card may be.
bool IsSystemFolder(std::string_view target);

// An automount (autofs) of a system folder with nothing mounted on it, the automount of /boot or /efi after
// it expired: its folder, when there is one. The disk it mounts when asked cannot be told from a card then.
std::optional<std::string> EmptySystemAutomount(const std::vector<MountRecord>& mounts);

// The whole disks the running system uses, as device numbers. A disk is one when any file system of it is
// mounted at a system folder (IsSystemFolder; a bind mount or a subvolume counts as well as the whole file
// system), holds an active swap (a swap partition, or the file system holding a swap
// file), or is the medium a live system started from. From each such mount the walk goes down only, to the
// whole disks below: a partition to its disk, device-mapper, LVM and md through their "slaves", a loop device
// to the file system holding its backing file, btrfs through the devices sysfs lists for its UUID, an overlay
// through the mounts holding its lower and upper folders. It never goes up from a card to what holds it: a
// card on a loop device whose image lies on the system's disk is still a card. What cannot be read marks
// nothing: no `swaps` text, a root on tmpfs, zfs or nfs, a swap entry naming no local device, a device sysfs
// does not list.
std::set<dev_t> SystemDisks(const std::vector<MountRecord>& mounts, std::optional<std::string_view> swaps,
                            const std::string& sysRoot);
std::set<dev_t> SystemDisks(std::string_view mountTable, std::optional<std::string_view> swaps,
                            const std::string& sysRoot);

}  // namespace scaleboot::platform
