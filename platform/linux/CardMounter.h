// Mounting the cards nobody mounts: on a machine without a desktop a card put in a reader stays unmounted, so
// the station mounts it itself, through udisks2 when it is on the system bus, else, as root, into a folder of
// its own under /run/scaleboot. After the card's run it is unmounted again and that folder removed.
#pragma once
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/CardMounting.h"

namespace scaleboot::platform {

class CardMounter : public CardMounting {
 public:
  // `sysRoot` is normally /sys, `runFolder` where the cards mounted as root go; the mount table and the list
  // of active swaps tell the disks the running system uses, which are never candidates nor mounted. A mount
  // table that cannot be read or parsed lists no candidate and mounts nothing; while an automount of a system
  // folder stands empty (SystemDisks.h), no card is mounted either, and the first refusal says why.
  explicit CardMounter(std::string sysRoot = "/sys", std::string runFolder = "/run/scaleboot",
                       std::string mountInfoPath = "/proc/self/mountinfo",
                       std::string swapsPath = "/proc/swaps");
  ~CardMounter() override;
  CardMounter(const CardMounter&) = delete;
  CardMounter& operator=(const CardMounter&) = delete;

  // The removable cards, from `sysRoot`; each probed with libblkid once while it stays in.
  std::vector<UnmountedCandidate> Candidates() override;
  MountScope ScopeOf(std::span<const std::string> readers) override;
  std::string Mount(const UnmountedCandidate& card) override;
  std::string Release(const std::string& root) override;
  void ReleaseGone() override;

 private:
  struct Mounted {
    std::string device;
    bool throughUdisks = false;
  };
  struct Probe {
    bool hasFileSystem = false;
    std::string type;
  };
  std::optional<Probe> Probed(const std::string& identity);
  std::map<std::string, Mounted> Mounts();
  bool MountThroughUdisks(const UnmountedCandidate& card, std::string& why);
  bool MountAsRoot(const UnmountedCandidate& card, std::string& why);
  bool UsableFolder(const std::string& folder, bool ownedByRoot) const;
  std::string Unmount(const std::string& root, const Mounted& mounted);

  std::mutex mutex_;  // guards the maps, never held across a probe, a bus call or a mount
  std::string sysRoot_, runFolder_, mountInfoPath_, swapsPath_;
  std::map<std::string, Mounted> mounted_;  // by the mount point, without a trailing "/"
  std::map<std::string, Probe> probed_;     // by the card's identity
  bool automountSaid_ = false;              // an empty system automount was said, and is still empty
};

}  // namespace scaleboot::platform
