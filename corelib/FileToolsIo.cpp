// The stdio primitives of FileTools: opening, byte, block and UTF-16 unit
// reads and writes.
#include <string_view>

#include "corelib/FileTools.h"
#include "platform/CoreFiles.h"
#include "platform/StdioOpen.h"

namespace VemoraCorelib::FileTools {

std::atomic<bool> skipCarriageReturns{true};

namespace {

// A wide name has one unit per name byte; a unit above 0xFF has no byte.
bool toNarrowName(const std::wstring& wide, std::string& narrow) {
  narrow.clear();
  for (wchar_t unit : wide) {
    if (static_cast<uint32_t>(unit) > 0xFF) return false;
    narrow += static_cast<char>(static_cast<unsigned char>(unit));
  }
  return true;
}

std::FILE* openNarrow(const std::string& name, const char* mode) {
  if (name.empty()) return nullptr;
  return platform::openStdio(name, mode);
}

std::FILE* openWide(const std::wstring& name, const char* mode) {
  std::string narrow;
  if (name.empty() || !toNarrowName(name, narrow)) return nullptr;
  return platform::openStdio(narrow, mode);
}

// A read after a write (or the reverse) needs a positioning call first.
void prepareRead(std::FILE* file) {
  if (platform::lastOperationWasWrite(file)) std::fseek(file, 0, SEEK_CUR);
}

void prepareWrite(std::FILE* file) {
  if (platform::lastOperationWasRead(file)) std::fseek(file, 0, SEEK_CUR);
}

// One byte, CR bytes skipped when `skipCr`.
bool readRawByte(std::FILE* file, char& out, bool skipCr) {
  if (file == nullptr) return false;
  while (!std::feof(file) && !std::ferror(file)) {
    prepareRead(file);
    const int c = std::fgetc(file);
    if (c == EOF) return false;
    if (c == '\r' && skipCr) continue;
    out = static_cast<char>(c);
    return true;
  }
  return false;
}

// Whole-stream reads go in blocks of this size, straight into the caller's
// memory for all but the stream's own small buffer.
constexpr std::size_t kReadBlock = 64 * 1024;

// Reserves room in `out` for the rest of a seekable stream, so that a large
// file is not copied while `out` grows. A pipe or FIFO reserves nothing.
void reserveRest(std::FILE* file, std::string& out) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return;
  const long end = std::ftell(file);
  std::fseek(file, here, SEEK_SET);
  if (end > here) out.reserve(out.size() + static_cast<std::size_t>(end - here));
}

// Appends `bytes`, without CR bytes when `skipCr`.
void appendBlock(std::string& out, std::string_view bytes, bool skipCr) {
  if (!skipCr) {
    out.append(bytes);
    return;
  }
  for (std::size_t cr = bytes.find('\r'); cr != std::string_view::npos; cr = bytes.find('\r')) {
    out.append(bytes.substr(0, cr));
    bytes.remove_prefix(cr + 1);
  }
  out.append(bytes);
}

bool writeRawByte(std::FILE* file, char byte) {
  prepareWrite(file);
  return std::fputc(static_cast<unsigned char>(byte), file) != EOF;
}

}  // namespace

std::FILE* openForRead(const std::string& name) {
  return openNarrow(name, "rb");
}

std::FILE* openForWrite(const std::string& name) {
  return openNarrow(name, "wb");
}

std::FILE* openForRead(const std::wstring& name) {
  return openWide(name, "rb");
}

std::FILE* openForWrite(const std::wstring& name) {
  return openWide(name, "wb");
}

bool readByte(std::FILE* file, char& out) {
  return readRawByte(file, out, skipCarriageReturns.load(std::memory_order_relaxed));
}

bool readBytes(std::FILE* file, std::string& out, std::size_t count) {
  out.clear();
  for (std::size_t i = 0; i < count; ++i) {
    char byte;
    if (!readByte(file, byte)) return !out.empty();
    out += byte;
  }
  return true;
}

void readToEnd(std::FILE* file, std::string& out) {
  if (file == nullptr || std::feof(file) || std::ferror(file)) return;
  prepareRead(file);
  reserveRest(file, out);
  char block[kReadBlock];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
    appendBlock(out, std::string_view(block, got),
                skipCarriageReturns.load(std::memory_order_relaxed));
  }
}

bool readUnit16(std::FILE* file, wchar_t& out) {
  for (;;) {
    char first, second;
    if (!readRawByte(file, first, false) || !readRawByte(file, second, false)) return false;
    const auto a = static_cast<unsigned char>(first);
    const auto b = static_cast<unsigned char>(second);
    // Assembled arithmetically: low byte first whatever the machine's order.
    const unsigned value = a | (b << 8);
    if (value == 13 && skipCarriageReturns.load(std::memory_order_relaxed)) continue;
    out = static_cast<wchar_t>(value);
    return true;
  }
}

bool writeUnit16(std::FILE* file, wchar_t unit) {
  if (file == nullptr) return false;
  const auto value = static_cast<uint16_t>(unit);
  return writeRawByte(file, static_cast<char>(value & 0xFF)) &&
         writeRawByte(file, static_cast<char>(value >> 8));
}

bool writeText(std::FILE* file, const std::string& text) {
  if (file == nullptr) return false;
  for (char byte : text) {
    if (!writeRawByte(file, byte)) return false;
  }
  return true;
}

bool writeText(std::FILE* file, const std::wstring& text) {
  if (file == nullptr) return false;
  for (wchar_t unit : text) {
    if (!writeUnit16(file, unit)) return false;
  }
  return true;
}

}  // namespace VemoraCorelib::FileTools
