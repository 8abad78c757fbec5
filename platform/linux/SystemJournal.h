// The journal of systemd over its native socket (sd_journal_sendv), for a station whose standard error is the
// journal.
#pragma once
#include "platform/Journal.h"

namespace scaleboot::platform {

// Whether file descriptor `fd` is the stream that `journalStream` ($JOURNAL_STREAM, "DEVICE:INODE" in
// decimal) names: systemd sets it for a service whose standard error goes to the journal. Unset, malformed,
// or naming another file (standard error redirected since, by a script the service ran, say): not the
// journal.
bool IsJournalStream(const char* journalStream, int fd);

class SystemJournal : public Journal {
 public:
  bool Send(std::span<const JournalField> fields) override;
};

}  // namespace scaleboot::platform
