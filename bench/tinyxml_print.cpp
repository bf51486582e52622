// tinyxml_print FILE [--parse-only]: the yardstick for nodegraft's speed.
// Reads FILE whole, parses it with TinyXML and prints it with TiXmlPrinter
// (one TAB of indent) on standard output: the work every nodegraft edit
// needs at least, without any of nodegraft's own. With --parse-only it stops
// after parsing (the yardstick for "exists"). Exit 0, or 2 when the file
// cannot be read or parsed.
#include <cstdio>
#include <cstring>
#include <string>

#include "nodegraft/TinyXml.h"

namespace {

bool readWhole(const char* path, std::string& text) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size > 0) text.reserve(static_cast<size_t>(size));
    std::rewind(file);
  }
  char block[1 << 16];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tinyxml_print FILE [--parse-only]\n");
    return 2;
  }
  const bool parseOnly = argc > 2 && std::strcmp(argv[2], "--parse-only") == 0;
  std::string text;
  if (!readWhole(argv[1], text)) return 2;
  TiXmlDocument document;
  document.Parse(text.c_str());
  if (document.Error()) return 2;
  if (parseOnly) return 0;
  TiXmlPrinter printer;
  printer.SetIndent("\t");
  document.Accept(&printer);
  const bool written = std::fwrite(printer.CStr(), 1, printer.Size(), stdout) == printer.Size();
  return written && std::fflush(stdout) == 0 ? 0 : 2;
}
