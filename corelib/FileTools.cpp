#include "corelib/FileTools.h"

#include <cstdio>

#include "platform/StdioOpen.h"

namespace VemoraCorelib::FileTools {

bool readFile(const std::string& path, std::string& out) {
  if (path.empty()) return false;
  std::FILE* file = platform::openStdio(path, "rb");
  if (file == nullptr) return false;
  out.clear();
  // Byte by byte in effect (CR bytes dropped), read in blocks for speed.
  char block[65536];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
    for (std::size_t i = 0; i < got; ++i) {
      if (block[i] != '\r') out += block[i];
    }
  }
  std::fclose(file);
  return true;
}

}  // namespace VemoraCorelib::FileTools
