// Errors raised by the program's operations and the rules for showing them.
#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

namespace scaleboot {

// An error that ends the current event handler and is shown to the user by the error reporter. The message is
// fixed when the error is raised.
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

// Text of the error box: the message, with a full stop appended when it is not empty and its last byte is
// above '.' (so letters, digits, '/', ':' and Cyrillic letters get one; '.', blanks and '!'..'-' do not).
std::string ErrorBoxText(std::string_view message);

// The application title before the first language is applied: the executable's file name without its folder,
// cut at its first full stop, first character kept and the rest in lower case ("ScaleBoot.exe" ->
// "Scaleboot").
std::string FallbackApplicationTitle(std::string_view executablePath);

}  // namespace scaleboot
