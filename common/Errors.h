// Errors raised by the program's operations, the I/O codes they carry, and how an error's text is shown.
#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

namespace scaleboot {

// I/O codes: a failing create, open, read or write carries the system's own code (Windows numbering; the
// Linux layer maps errno to it); these are the ones the program gives itself or looks at.
namespace io {
inline constexpr int kCloseFailed = 1;      // any failing close, whatever the system said
inline constexpr int kFileNotFound = 2;     // also what opening a missing card file gives
inline constexpr int kInvalidFilename = 3;  // also an empty drive root: no drive selected
inline constexpr int kAccessDenied = 5;
inline constexpr int kDriveNotReady = 21;  // the drive root is no longer a mounted removable drive
inline constexpr int kNotAFolder = 267;    // a path that must name a folder names a file
inline constexpr int kShortRead = 100;     // a read returned fewer bytes than asked: end of file
inline constexpr int kShortWrite = 101;    // a write stored fewer bytes than asked: disk full
}  // namespace io

// An error that ends the current operation and is shown to the user. The message is fixed when the error is
// raised.
class RaisedError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failed file operation of the boot-module writer; the text follows from the code.
class IoError : public RaisedError {
 public:
  explicit IoError(int code);
  int code() const { return code_; }
  static std::string TextFor(int code);

 private:
  int code_;
};

// A table index outside its bounds.
class RangeError : public RaisedError {
 public:
  RangeError() : RaisedError("Range check error") {}
};

// An integer result that does not fit its type.
class OverflowError : public RaisedError {
 public:
  OverflowError() : RaisedError("Integer overflow") {}
};

// Text shown for an error: the message, with a full stop appended when it is not empty and its last byte is
// above '.' (so letters, digits, '/', ':' and Cyrillic letters get one; '.', blanks and '!'..'-' do not).
std::string ErrorBoxText(std::string_view message);

}  // namespace scaleboot
