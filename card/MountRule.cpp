#include "card/MountRule.h"

#include <algorithm>

namespace scaleboot {

bool MountableFileSystem(std::string_view type) {
  return type == "vfat" || type == "exfat";
}

void MountRule::Begin(std::span<const UnmountedCandidate> candidates) {
  for (const UnmountedCandidate& candidate : candidates) done_.insert(candidate.identity);
}

MountDecision MountRule::Due(std::span<const UnmountedCandidate> candidates, const MountScope& scope,
                             Clock::time_point now) {
  std::set<std::string> present;
  for (const UnmountedCandidate& candidate : candidates) present.insert(candidate.identity);
  // A card taken out is forgotten: the next one in its reader starts afresh.
  std::erase_if(done_, [&](const std::string& identity) { return !present.contains(identity); });
  std::erase_if(seen_, [&](const auto& entry) { return !present.contains(entry.first); });
  std::erase_if(unanswered_, [&](const auto& entry) { return !present.contains(entry.first); });

  MountDecision due;
  for (const UnmountedCandidate& candidate : candidates) {
    if (done_.contains(candidate.identity)) continue;
    if (candidate.mounted) {
      done_.insert(candidate.identity);
      seen_.erase(candidate.identity);
      continue;
    }
    const bool inScope = scope.any || std::ranges::any_of(scope.readers, [&](unsigned long long reader) {
                           return reader == candidate.number || reader == candidate.diskNumber;
                         });
    if (!inScope) continue;
    if (candidate.unreadable) {
      const Clock::time_point since = unanswered_.try_emplace(candidate.identity, now).first->second;
      if (now - since >= retry_) {
        done_.insert(candidate.identity);
        unanswered_.erase(candidate.identity);
        due.unreadable.push_back(candidate);
      }
      continue;
    }
    unanswered_.erase(candidate.identity);
    if (!candidate.hasFileSystem) continue;
    const Clock::time_point since = seen_.try_emplace(candidate.identity, now).first->second;
    if (now - since < grace_) continue;
    done_.insert(candidate.identity);
    seen_.erase(candidate.identity);
    if (MountableFileSystem(candidate.fileSystem)) {
      due.mount.push_back(candidate);
    } else {
      due.refused.push_back(candidate);
    }
  }
  return due;
}

}  // namespace scaleboot
