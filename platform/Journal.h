// The system's journal (systemd's), for a station whose standard error is the journal: each entry carries
// fields of its own besides its message, so that a service centre can select the cards of a station, of an
// outcome or of a firmware by them (journalctl SCALEBOOT_OUTCOME=mismatch).
#pragma once
#include <span>
#include <string>

namespace scaleboot::platform {

// NAME: upper-case letters, digits and "_", not beginning with "_"; VALUE: any bytes, line breaks included.
// A NAME given twice is one field with two values.
struct JournalField {
  std::string name;
  std::string value;
};

class Journal {
 public:
  virtual ~Journal() = default;
  // Sends one entry; false when the journal did not take it (the caller then says it another way).
  virtual bool Send(std::span<const JournalField> fields) = 0;
};

}  // namespace scaleboot::platform
