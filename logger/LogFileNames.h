// Path helpers of the log-file agents. The extension is taken from the
// file-name part only, so a dot in a folder name is never mistaken for one.
#pragma once

#include <string>

namespace Vemora::LogFileNames {

// The text after the last '.' of the file-name part; "" when there is none.
inline std::string extension(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot + 1);
}

// The path without the '.' and extension of its file-name part.
inline std::string stem(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

}  // namespace Vemora::LogFileNames
