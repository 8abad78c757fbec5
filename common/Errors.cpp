#include "common/Errors.h"

#include <string>

namespace scaleboot {

IoError::IoError(int code) : RaisedError(TextFor(code)), code_(code) {}

std::string IoError::TextFor(int code) {
  switch (code) {
    case io::kFileNotFound:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case io::kAccessDenied:
      return "File access denied";
    case io::kShortRead:
      return "Read beyond end of file";
    case io::kShortWrite:
      return "Disk full";
    case 106:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(code);
  }
}

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
  return text;
}

}  // namespace scaleboot
