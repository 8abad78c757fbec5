// Reading the small files of sysfs and /proc: one value a file, on its first line.
#pragma once
#include <sys/stat.h>

#include <fstream>
#include <string>

namespace scaleboot::platform {

inline bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The first line without its trailing blanks; empty when the file cannot be read.
inline std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.pop_back();
  return line;
}

}  // namespace scaleboot::platform
