#include "platform/RegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/Env.h"
#include "platform/LastError.h"

namespace platform {

namespace {

constexpr const char* kDefaultDir = "/var/lib/vemora/registry";

struct Value {
  std::string name;
  uint32_t type = kRegNone;
  std::string bytes;
};

struct KeyEntry {
  std::string path;  // segments joined by '\', stored spelling; "" is the root
  std::vector<Value> values;
};

// One root key's file in memory: its keys in file order. A key exists when it
// has an entry or lies above one.
struct Hive {
  std::vector<KeyEntry> keys;
};

uint32_t done(uint32_t code) {
  setLastError(code);
  return code;
}

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

// True when `path` is `prefix` or lies below it.
bool isAtOrBelow(const std::string& path, const std::string& prefix) {
  if (prefix.empty()) return true;
  if (path.size() < prefix.size()) return false;
  if (!equalNoCase(path.substr(0, prefix.size()), prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '\\';
}

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string joinPath(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) {
    if (!out.empty()) out += '\\';
    out += p;
  }
  return out;
}

std::string canonical(const std::string& path) {
  return joinPath(splitPath(path));
}

bool hasControl(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// ---- the text format ----

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void appendQuoted(std::string& out, const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

// Reads a quoted text at `pos` (which must hold '"'); moves past it.
bool readQuoted(const std::string& line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return false;
    const char e = line[pos];
    if (e == '\\' || e == '"') {
      out += e;
    } else if (e == 'x' && pos + 2 < line.size() && hexDigit(line[pos + 1]) >= 0 &&
               hexDigit(line[pos + 2]) >= 0) {
      out += static_cast<char>(hexDigit(line[pos + 1]) * 16 + hexDigit(line[pos + 2]));
      pos += 2;
    } else {
      return false;
    }
  }
  return false;
}

void skipSpaces(const std::string& line, size_t& pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

bool readHexNumber(const std::string& text, size_t maxDigits, uint64_t& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  value = 0;
  for (char c : text) {
    const int d = hexDigit(c);
    if (d < 0) return false;
    value = value * 16 + static_cast<uint64_t>(d);
  }
  return true;
}

std::string littleEndian(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
  return out;
}

// Parses the part after '=': "sz:...", "dword:...", "hex(N):..." and so on.
bool parseData(const std::string& text, Value& value) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::string form = text.substr(0, colon);
  for (auto& c : form) c = lowerAscii(c);
  std::string rest = text.substr(colon + 1);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  if (form == "sz" || form == "expand_sz") {
    size_t pos = 0;
    std::string s;
    if (!readQuoted(rest, pos, s) || pos != rest.size()) return false;
    value.type = form == "sz" ? kRegSz : kRegExpandSz;
    value.bytes = s + '\0';
    return true;
  }
  if (form == "multi_sz") {
    value.type = kRegMultiSz;
    value.bytes.clear();
    size_t pos = 0;
    skipSpaces(rest, pos);
    while (pos < rest.size()) {
      std::string s;
      if (!readQuoted(rest, pos, s)) return false;
      value.bytes += s + '\0';
      skipSpaces(rest, pos);
      if (pos < rest.size()) {
        if (rest[pos] != ',') return false;
        ++pos;
        skipSpaces(rest, pos);
        if (pos >= rest.size()) return false;
      }
    }
    value.bytes += '\0';
    return true;
  }
  uint64_t number = 0;
  if (form == "dword") {
    if (!readHexNumber(rest, 8, number)) return false;
    value.type = kRegDword;
    value.bytes = littleEndian(number, 4);
    return true;
  }
  if (form == "qword") {
    if (!readHexNumber(rest, 16, number)) return false;
    value.type = kRegQword;
    value.bytes = littleEndian(number, 8);
    return true;
  }
  if (form.size() > 5 && form.compare(0, 4, "hex(") == 0 && form.back() == ')') {
    if (!readHexNumber(form.substr(4, form.size() - 5), 8, number)) return false;
    value.type = static_cast<uint32_t>(number);
    value.bytes.clear();
    size_t pos = 0;
    while (pos < rest.size()) {
      skipSpaces(rest, pos);
      if (pos + 2 > rest.size()) return false;
      const int hi = hexDigit(rest[pos]);
      const int lo = hexDigit(rest[pos + 1]);
      if (hi < 0 || lo < 0) return false;
      value.bytes += static_cast<char>(hi * 16 + lo);
      pos += 2;
      skipSpaces(rest, pos);
      if (pos < rest.size()) {
        if (rest[pos] != ',') return false;
        ++pos;
        skipSpaces(rest, pos);
        if (pos >= rest.size()) return false;
      }
    }
    return true;
  }
  return false;
}

std::string hexForm(const Value& value) {
  static const char kHex[] = "0123456789abcdef";
  char head[32];
  std::snprintf(head, sizeof head, "hex(%x):", value.type);
  std::string out = head;
  for (size_t i = 0; i < value.bytes.size(); ++i) {
    const auto u = static_cast<unsigned char>(value.bytes[i]);
    if (i > 0) out += ',';
    out += kHex[u >> 4];
    out += kHex[u & 15];
  }
  return out;
}

uint64_t fromLittleEndian(const std::string& bytes) {
  uint64_t v = 0;
  for (size_t i = bytes.size(); i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
  return v;
}

// The friendly form of a value when it gives the bytes back exactly.
std::optional<std::string> friendlyForm(const Value& value) {
  std::string out;
  const std::string& b = value.bytes;
  if ((value.type == kRegSz || value.type == kRegExpandSz) && !b.empty() && b.back() == '\0') {
    out = value.type == kRegSz ? "sz:" : "expand_sz:";
    appendQuoted(out, b.substr(0, b.size() - 1));
  } else if (value.type == kRegMultiSz && !b.empty() && b.back() == '\0') {
    out = "multi_sz:";
    const std::string body = b.substr(0, b.size() - 1);
    if (!body.empty() && body.back() != '\0') return std::nullopt;
    size_t start = 0;
    bool first = true;
    while (start < body.size()) {
      const size_t end = body.find('\0', start);
      if (!first) out += ',';
      appendQuoted(out, body.substr(start, end - start));
      first = false;
      start = end + 1;
    }
  } else if (value.type == kRegDword && b.size() == 4) {
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08llx",
                  static_cast<unsigned long long>(fromLittleEndian(b)));
    out = text;
  } else if (value.type == kRegQword && b.size() == 8) {
    char text[32];
    std::snprintf(text, sizeof text, "qword:%016llx",
                  static_cast<unsigned long long>(fromLittleEndian(b)));
    out = text;
  } else {
    return std::nullopt;
  }
  Value check;
  if (!parseData(out, check) || check.type != value.type || check.bytes != value.bytes) {
    return std::nullopt;
  }
  return out;
}

KeyEntry* findEntry(Hive& hive, const std::string& path) {
  for (auto& k : hive.keys) {
    if (equalNoCase(k.path, path)) return &k;
  }
  return nullptr;
}

// The file as its lines, so that a write changes only the lines of what it
// changes: the operator's comments, blank lines and order stay as they were.
// `text` is a line without its '\n' (a '\r' before it stays part of it).
struct FileLine {
  enum Kind { kOther, kSection, kValue };
  std::string text;
  Kind kind = kOther;
  std::string key;   // section and value lines: the section's canonical path
  std::string name;  // value lines: the value's name
};

struct Document {
  // The pieces between '\n' bytes: joined with '\n' they give the file back
  // byte for byte (a file that ends with a line end has an empty last one).
  std::vector<FileLine> lines;
  std::string carriageReturn;  // "\r" when the file's lines end with CR LF
};

struct ParseError {
  size_t line = 0;
  std::string reason;
};

bool fail(ParseError* error, size_t line, const char* reason) {
  if (error != nullptr) *error = ParseError{line, reason};
  return false;
}

// A line that opens a key.
bool parseSection(const std::string& line, size_t pos, size_t number, Hive& hive,
                  std::string& current, FileLine& out, ParseError* error) {
  const size_t close = line.rfind(']');
  if (close == std::string::npos || close < pos) return fail(error, number, "no closing ']'");
  size_t after = close + 1;
  skipSpaces(line, after);
  if (after != line.size()) return fail(error, number, "text after the key's ']'");
  current = canonical(line.substr(pos + 1, close - pos - 1));
  if (findEntry(hive, current) == nullptr) hive.keys.push_back(KeyEntry{current, {}});
  out.kind = FileLine::kSection;
  out.key = current;
  return true;
}

// A line that sets a value of the key `current`.
bool parseValue(const std::string& line, size_t pos, size_t number, Hive& hive,
                const std::string& current, FileLine& out, ParseError* error) {
  KeyEntry* entry = findEntry(hive, current);
  if (entry == nullptr) return fail(error, number, "a value before the first [key] line");
  Value value;
  if (line[pos] == '@') {
    ++pos;
  } else if (!readQuoted(line, pos, value.name)) {
    return fail(error, number, "the value name is not a quoted text (or @)");
  }
  skipSpaces(line, pos);
  if (pos >= line.size() || line[pos] != '=') return fail(error, number, "no '=' after the name");
  ++pos;
  skipSpaces(line, pos);
  if (!parseData(line.substr(pos), value)) {
    return fail(error, number, "the data is not of a known form (sz, dword, hex(N), ...)");
  }
  out.kind = FileLine::kValue;
  out.key = entry->path;
  out.name = value.name;
  for (auto& v : entry->values) {
    if (equalNoCase(v.name, value.name)) {
      v.type = value.type;
      v.bytes = value.bytes;
      return true;
    }
  }
  entry->values.push_back(value);
  return true;
}

bool parseHive(const std::string& text, Hive& hive, Document* doc = nullptr,
               ParseError* error = nullptr) {
  hive.keys.clear();
  if (doc != nullptr) *doc = Document{};
  bool inKey = false;
  std::string current;
  size_t start = 0;
  for (size_t number = 1;; ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    FileLine entry;
    entry.text = text.substr(start, end - start);
    std::string line = entry.text;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (doc != nullptr && number == 1) doc->carriageReturn = "\r";
    }
    size_t pos = 0;
    skipSpaces(line, pos);
    if (pos < line.size() && line[pos] != ';' && line[pos] != '#') {
      if (line[pos] == '[') {
        if (!parseSection(line, pos, number, hive, current, entry, error)) return false;
        inKey = true;
      } else if (!inKey) {
        return fail(error, number, "a value before the first [key] line");
      } else if (!parseValue(line, pos, number, hive, current, entry, error)) {
        return false;
      }
    }
    if (doc != nullptr) doc->lines.push_back(std::move(entry));
    if (end == text.size()) break;
    start = end + 1;
  }
  return true;
}

std::string renderValue(const Value& v) {
  std::string out;
  if (v.name.empty()) {
    out += '@';
  } else {
    appendQuoted(out, v.name);
  }
  out += '=';
  const auto friendly = friendlyForm(v);
  out += friendly ? *friendly : hexForm(v);
  return out;
}

std::string renderDocument(const Document& doc) {
  std::string out;
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    if (i > 0) out += '\n';
    out += doc.lines[i].text;
  }
  return out;
}

bool isBlank(const FileLine& line) {
  return line.text.find_first_not_of(" \t\r") == std::string::npos;
}

FileLine makeLine(const Document& doc, const std::string& text, FileLine::Kind kind,
                  const std::string& key, const std::string& name = std::string()) {
  return FileLine{text + doc.carriageReturn, kind, key, name};
}

// A section for a key that has none, at the end of the file: after a blank
// line, and after the title line when the file is new. Gives the index of
// the section's line.
size_t addSection(Document& doc, const std::string& path, const std::string& rootName) {
  if (doc.lines.empty()) doc.lines.push_back(FileLine{});
  // A last line without a line end gets one.
  if (!doc.lines.back().text.empty()) doc.lines.push_back(FileLine{});
  bool empty = true;
  for (const FileLine& line : doc.lines) empty = empty && line.text.empty();
  std::vector<FileLine> added;
  if (empty) added.push_back(makeLine(doc, "; Vemora registry: " + rootName, FileLine::kOther, ""));
  const bool blankBefore = doc.lines.size() >= 2 && isBlank(doc.lines[doc.lines.size() - 2]);
  if (empty || !blankBefore) added.push_back(makeLine(doc, "", FileLine::kOther, ""));
  added.push_back(makeLine(doc, "[" + path + "]", FileLine::kSection, canonical(path)));
  doc.lines.insert(doc.lines.end() - 1, added.begin(), added.end());
  return doc.lines.size() - 2;
}

bool lineOfValue(const FileLine& line, const std::string& key, const std::string& name) {
  return line.kind == FileLine::kValue && equalNoCase(line.key, key) &&
         equalNoCase(line.name, name);
}

// Rewrites the line that sets the value (the last one, which the reader
// takes), or adds one under the key's last section, or a section for it.
void setValueLine(Document& doc, const std::string& path, const Value& value,
                  const std::string& rootName) {
  const std::string key = canonical(path);
  for (size_t i = doc.lines.size(); i-- > 0;) {
    FileLine& line = doc.lines[i];
    if (!lineOfValue(line, key, value.name)) continue;
    const size_t indent = line.text.find_first_not_of(" \t");
    line.text = line.text.substr(0, indent) + renderValue(value) + doc.carriageReturn;
    return;
  }
  size_t after = doc.lines.size();
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    const FileLine& line = doc.lines[i];
    if (line.kind != FileLine::kOther && equalNoCase(line.key, key)) after = i;
  }
  if (after == doc.lines.size()) after = addSection(doc, path, rootName);
  doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(after) + 1,
                   makeLine(doc, renderValue(value), FileLine::kValue, key, value.name));
}

void removeValueLines(Document& doc, const std::string& path, const std::string& name) {
  const std::string key = canonical(path);
  std::vector<FileLine> kept;
  for (FileLine& line : doc.lines) {
    if (!lineOfValue(line, key, name)) kept.push_back(std::move(line));
  }
  doc.lines = std::move(kept);
}

// ---- files ----

const char* rootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RegistryRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegistryRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::kUsers:
      return "HKEY_USERS";
    case RegistryRoot::kCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
  }
  return "HKEY_LOCAL_MACHINE";
}

std::string storeDir() {
  auto dir = getEnv("VEMORA_REGISTRY_DIR");
  if (!dir || dir->empty()) return kDefaultDir;
  return *dir;
}

// Serialises the writers of this process; flock on the lock file serialises
// them against other processes.
std::mutex& writeMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult readWhole(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  out.clear();
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return ReadResult::kFailed;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::kOk;
}

// Loads a root key's file: 0, or 5 when it cannot be read or parsed (then
// `problem`, when given, tells why with the path and the line). A missing
// file is an empty hive.
uint32_t loadHive(RegistryRoot root, Hive& hive, Document* doc = nullptr,
                  std::string* problem = nullptr) {
  std::string text;
  const std::string path = RegistryStore::filePath(root);
  switch (readWhole(path, text)) {
    case ReadResult::kMissing:
      hive.keys.clear();
      if (doc != nullptr) *doc = Document{};
      return 0;
    case ReadResult::kFailed:
      if (problem != nullptr) *problem = path + ": " + std::strerror(errno);
      return kErrorAccessDenied;
    case ReadResult::kOk:
      break;
  }
  ParseError error;
  if (parseHive(text, hive, doc, &error)) return 0;
  if (problem != nullptr) {
    *problem = path + ", line " + std::to_string(error.line) + ": " + error.reason;
  }
  return kErrorAccessDenied;
}

bool writeAll(int fd, const std::string& text) {
  size_t off = 0;
  while (off < text.size()) {
    const ssize_t n = ::write(fd, text.data() + off, text.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

bool makeDirs(const std::string& dir) {
  std::string partial;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
        return false;
      }
    }
    if (i < dir.size()) partial += dir[i];
  }
  return true;
}

bool replaceFile(const std::string& path, const std::string& text, mode_t mode) {
  const std::string temp = path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  const int dirFd = ::open(storeDir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

// Runs `change` on the current content of a root key's file (its values and
// its lines) under the writers' lock and writes the lines back atomically.
// `change` answers 0 to write, another code to stop without writing.
template <typename Change>
uint32_t modifyHive(RegistryRoot root, Change change) {
  std::lock_guard<std::mutex> guard(writeMutex());
  const std::string dir = storeDir();
  if (!makeDirs(dir)) return kErrorAccessDenied;
  const std::string path = RegistryStore::filePath(root);
  const int lockFd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0) return kErrorAccessDenied;
  while (::flock(lockFd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(lockFd);
      return kErrorAccessDenied;
    }
  }
  Hive hive;
  Document doc;
  uint32_t rc = loadHive(root, hive, &doc);
  if (rc == 0) rc = change(hive, doc);
  if (rc == 0) {
    const mode_t mode = root == RegistryRoot::kCurrentUser ? 0600 : 0644;
    if (!replaceFile(path, renderDocument(doc), mode)) rc = kErrorAccessDenied;
  }
  ::flock(lockFd, LOCK_UN);
  ::close(lockFd);
  return rc;
}

bool keyExists(const Hive& hive, const std::string& path) {
  if (path.empty()) return true;
  for (const auto& k : hive.keys) {
    if (isAtOrBelow(k.path, path)) return true;
  }
  return false;
}

// The path with each existing segment in its stored spelling.
std::string storedSpelling(const Hive& hive, const std::string& path) {
  const auto parts = splitPath(path);
  std::vector<std::string> out;
  for (const auto& part : parts) {
    out.push_back(part);
    const std::string candidate = joinPath(out);
    for (const auto& k : hive.keys) {
      if (isAtOrBelow(k.path, candidate)) {
        out.back() = splitPath(k.path)[out.size() - 1];
        break;
      }
    }
  }
  return joinPath(out);
}

// The key's entry, made (with a section line at the end of the file) when
// the key has none.
KeyEntry& ensureEntry(Hive& hive, Document& doc, const std::string& path, RegistryRoot root) {
  if (KeyEntry* e = findEntry(hive, path)) return *e;
  hive.keys.push_back(KeyEntry{storedSpelling(hive, path), {}});
  addSection(doc, hive.keys.back().path, rootName(root));
  return hive.keys.back();
}

}  // namespace

std::string RegistryStore::filePath(RegistryRoot root) {
  std::string name = rootName(root);
  if (root == RegistryRoot::kCurrentUser) name += "-" + std::to_string(::getuid());
  return storeDir() + "/" + name + ".reg";
}

std::string RegistryStore::fileProblem(RegistryRoot root) {
  Hive hive;
  std::string problem;
  loadHive(root, hive, nullptr, &problem);
  return problem;
}

bool RegistryStore::rootFromName(const std::string& name, RegistryRoot* root) {
  static const RegistryRoot kAll[] = {RegistryRoot::kClassesRoot, RegistryRoot::kCurrentUser,
                                      RegistryRoot::kLocalMachine, RegistryRoot::kUsers,
                                      RegistryRoot::kCurrentConfig};
  for (RegistryRoot r : kAll) {
    if (name == rootName(r)) {
      if (root != nullptr) *root = r;
      return true;
    }
  }
  return false;
}

uint32_t RegistryStore::openKey(RegistryRoot root, const std::string& path, Key* key) {
  Hive hive;
  if (const uint32_t rc = loadHive(root, hive)) return done(rc);
  const std::string canon = canonical(path);
  if (!keyExists(hive, canon)) return done(kErrorFileNotFound);
  if (key != nullptr) *key = Key{root, storedSpelling(hive, canon)};
  return done(0);
}

uint32_t RegistryStore::createKey(RegistryRoot root, const std::string& path, Key* key) {
  const std::string canon = canonical(path);
  if (hasControl(canon)) return done(kErrorInvalidParameter);
  {
    Hive hive;
    if (loadHive(root, hive) == 0 && keyExists(hive, canon)) {
      if (key != nullptr) *key = Key{root, storedSpelling(hive, canon)};
      return done(0);
    }
  }
  std::string stored;
  const uint32_t rc = modifyHive(root, [&](Hive& hive, Document& doc) -> uint32_t {
    stored = ensureEntry(hive, doc, canon, root).path;
    return 0;
  });
  if (rc == 0 && key != nullptr) *key = Key{root, stored};
  return done(rc);
}

uint32_t RegistryStore::queryValue(const Key& key, const std::string& name, uint32_t* type,
                                   uint8_t* data, uint32_t* size) {
  Hive hive;
  if (const uint32_t rc = loadHive(key.root, hive)) return done(rc);
  const KeyEntry* entry = findEntry(hive, canonical(key.path));
  if (entry == nullptr) return done(kErrorFileNotFound);
  for (const auto& v : entry->values) {
    if (!equalNoCase(v.name, name)) continue;
    if (type != nullptr) *type = v.type;
    const auto needed = static_cast<uint32_t>(v.bytes.size());
    if (data != nullptr) {
      const uint32_t room = size != nullptr ? *size : 0;
      if (size != nullptr) *size = needed;
      if (room < needed) return done(kErrorMoreData);
      if (needed > 0) std::memcpy(data, v.bytes.data(), needed);
    } else if (size != nullptr) {
      *size = needed;
    }
    return done(0);
  }
  return done(kErrorFileNotFound);
}

uint32_t RegistryStore::setValue(const Key& key, const std::string& name, uint32_t type,
                                 const uint8_t* data, uint32_t size) {
  if (data == nullptr && size > 0) return done(kErrorInvalidParameter);
  const std::string bytes = size > 0 ? std::string(reinterpret_cast<const char*>(data), size) : "";
  const uint32_t rc = modifyHive(key.root, [&](Hive& hive, Document& doc) -> uint32_t {
    KeyEntry& entry = ensureEntry(hive, doc, canonical(key.path), key.root);
    Value value{name, type, bytes};
    for (const auto& v : entry.values) {
      if (equalNoCase(v.name, name)) value.name = v.name;  // keeps its spelling
    }
    setValueLine(doc, entry.path, value, rootName(key.root));
    return 0;
  });
  return done(rc);
}

uint32_t RegistryStore::deleteValue(const Key& key, const std::string& name) {
  const uint32_t rc = modifyHive(key.root, [&](Hive& hive, Document& doc) -> uint32_t {
    KeyEntry* entry = findEntry(hive, canonical(key.path));
    if (entry == nullptr) return kErrorFileNotFound;
    for (const auto& v : entry->values) {
      if (!equalNoCase(v.name, name)) continue;
      removeValueLines(doc, entry->path, name);
      return 0;
    }
    return kErrorFileNotFound;
  });
  return done(rc);
}

uint32_t RegistryStore::subKeyNames(const Key& key, std::vector<std::string>* names) {
  Hive hive;
  if (const uint32_t rc = loadHive(key.root, hive)) return done(rc);
  const std::string canon = canonical(key.path);
  if (!keyExists(hive, canon)) return done(kErrorFileNotFound);
  const size_t depth = splitPath(canon).size();
  std::vector<std::string> out;
  for (const auto& k : hive.keys) {
    if (!isAtOrBelow(k.path, canon)) continue;
    const auto parts = splitPath(k.path);
    if (parts.size() <= depth) continue;
    bool seen = false;
    for (const auto& n : out) seen = seen || equalNoCase(n, parts[depth]);
    if (!seen) out.push_back(parts[depth]);
  }
  if (names != nullptr) *names = out;
  return done(0);
}

uint32_t RegistryStore::valueNames(const Key& key, std::vector<std::string>* names) {
  Hive hive;
  if (const uint32_t rc = loadHive(key.root, hive)) return done(rc);
  const std::string canon = canonical(key.path);
  if (!keyExists(hive, canon)) return done(kErrorFileNotFound);
  std::vector<std::string> out;
  if (const KeyEntry* entry = findEntry(hive, canon)) {
    for (const auto& v : entry->values) out.push_back(v.name);
  }
  if (names != nullptr) *names = out;
  return done(0);
}

}  // namespace platform
