#include "corelib/FileTools.h"

#include <cstdio>

#include "platform/StdioOpen.h"

namespace VemoraCorelib::FileTools {

namespace {

// One byte of the stream with CR bytes dropped; false at the end or on an
// error.
bool readByteSkippingCr(std::FILE* file, char& out) {
  while (!std::feof(file) && !std::ferror(file)) {
    const int c = std::fgetc(file);
    if (c == EOF) return false;
    if (c == '\r') continue;
    out = static_cast<char>(c);
    return true;
  }
  return false;
}

}  // namespace

bool readFile(const std::string& path, std::string& out) {
  if (path.empty()) return false;
  std::FILE* file = platform::openStdio(path, "rb");
  if (file == nullptr) return false;
  out.clear();
  char c;
  while (readByteSkippingCr(file, c)) out += c;
  std::fclose(file);
  return true;
}

}  // namespace VemoraCorelib::FileTools
