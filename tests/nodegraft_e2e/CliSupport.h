// Small helpers the nodegraft end-to-end suites share.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace nodegraft_e2e {

// The argument in single quotes for /bin/sh.
inline std::string shellQuoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// NODEGRAFT_BIN, else the nodegraft of the build folder that holds this test.
inline std::string nodegraftBinary() {
  const char* bin = std::getenv("NODEGRAFT_BIN");
  if (bin != nullptr && *bin != 0) return bin;
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (self.parent_path().parent_path() / "nodegraft" / "nodegraft").string();
}

}  // namespace nodegraft_e2e
