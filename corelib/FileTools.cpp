// FileTools path helpers and queries.
#include "corelib/FileTools.h"

#include <vector>

#include "corelib/Environment.h"
#include "corelib/StringTools.h"
#include "corelib/WildcardMatch.h"
#include "platform/CoreFiles.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace VemoraCorelib::FileTools {

namespace {

constexpr std::size_t npos = std::string::npos;

bool isDriveShape(const std::string& path) {
  return WildcardMatch(path, "?*:\\*", 0, npos);
}

bool isNetworkShape(const std::string& path) {
  return WildcardMatch(path, "\\\\?*\\*", 0, npos);
}

bool endsInSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// Replaces "%NAME%" references of set variables; others stay.
void expandPercentReferences(std::string& path) {
  std::size_t position = 0;
  for (;;) {
    const std::size_t open = path.find('%', position);
    if (open == npos) return;
    const std::size_t close = path.find('%', open + 1);
    if (close == npos) return;
    const std::string name = path.substr(open + 1, close - open - 1);
    std::string value;
    if (!name.empty() && getEnvironmentVariable(name, value)) {
      path.replace(open, close - open + 1, value);
      position = open + value.size();
    } else {
      position = close + 1;
    }
  }
}

// Replaces "$NAME" before a '\' when NAME is set; the '\' stays.
void expandDollarReferences(std::string& path) {
  std::size_t position = 0;
  for (;;) {
    const std::size_t dollar = path.find('$', position);
    if (dollar == npos) return;
    const std::size_t end = path.find('\\', dollar + 1);
    if (end == npos) return;
    const std::string name = path.substr(dollar + 1, end - dollar - 1);
    std::string value;
    if (!name.empty() && getEnvironmentVariable(name, value)) {
      path.replace(dollar, end - dollar, value);
      position = dollar + value.size();
    } else {
      position = end;
    }
  }
}

void replaceSpecialWholePath(std::string& path) {
  if (compareNoCase(path, "\\c:") == 0) {
    path = "C:";
  } else if (compareNoCase(path, "\\systemroot") == 0) {
    const std::optional<std::string> windows = platform::windowsDirectory();
    if (windows) path = *windows;
  } else if (compareNoCase(path, "\\??") == 0) {
    path.clear();
  }
}

std::vector<std::string> keptComponents(const std::string& path) {
  std::vector<std::string> kept;
  for (const std::string& component : StringTools::split(path, '\\', 0, true)) {
    if (component == ".") continue;
    if (component == ".." && !kept.empty() && kept.back() != "..") {
      kept.pop_back();
      continue;
    }
    kept.push_back(component);
  }
  return kept;
}

}  // namespace

std::string toLowerCopy(const std::string& text) {
  std::string copy = text;
  return StringTools::toLower(copy);
}

int compareNoCase(const std::string& a, const std::string& b) {
  return toLowerCopy(a).compare(toLowerCopy(b));
}

std::string& toBackslashes(std::string& path) {
  return StringTools::replaceChar(path, '/', '\\');
}

const std::string& separator() {
  static const std::string text = "\\";
  return text;
}

std::string& addTrailingSeparator(std::string& path) {
  if (!path.empty() && !endsInSeparator(path)) path += '\\';
  return path;
}

std::string& stripTrailingSeparators(std::string& path) {
  toBackslashes(path);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool isAbsolute(const std::string& path) {
  return isDriveShape(path) || WildcardMatch(path, "?*:*", 0, npos) || isNetworkShape(path);
}

std::size_t extensionStart(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == npos) return npos;
  const std::size_t backslash = path.rfind('\\');
  return backslash == npos || backslash < dot ? dot + 1 : npos;
}

std::size_t extensionEnd(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t backslash = path.rfind('\\');
  if (dot != npos && backslash != npos && backslash >= dot) return npos;
  return path.size();
}

std::string extension(const std::string& path) {
  const std::size_t start = extensionStart(path);
  const std::size_t end = extensionEnd(path);
  if (start == npos || end == npos || start >= end) return std::string();
  return path.substr(start, end - start);
}

bool isShortcut(const std::string& path) {
  return toLowerCopy(extension(path)) == "lnk";
}

std::size_t rootStart(const std::string& path) {
  return isDriveShape(path) || isNetworkShape(path) ? 0 : npos;
}

std::size_t rootEnd(const std::string& path) {
  if (isDriveShape(path)) return path.find(':') + 1;
  if (isNetworkShape(path)) return path.find('\\', 2);
  return npos;
}

std::size_t directoryStart(const std::string& path) {
  if (isDriveShape(path)) return path.find('\\', path.find(':')) + 1;
  if (isNetworkShape(path)) return path.find('\\', 2) + 1;
  return path.find('\\') != npos ? 0 : npos;
}

std::string root(const std::string& path) {
  const std::size_t start = rootStart(path);
  const std::size_t end = rootEnd(path);
  if (start == npos || end == npos || start >= end) return std::string();
  return path.substr(start, end - start);
}

std::string directoryPart(std::string path) {
  toBackslashes(path);
  const std::size_t start = directoryStart(path);
  if (start == npos) return std::string();
  const std::size_t last = path.rfind('\\');
  if (last == npos || start >= last) return std::string();
  return path.substr(start, last - start);
}

std::string parentDirectory(std::string path) {
  toBackslashes(path);
  const std::size_t last = path.rfind('\\');
  if (last == npos) return std::string();
  if (last + 1 < path.size()) return path.substr(0, last);
  const std::size_t before = last == 0 ? npos : path.rfind('\\', last - 1);
  return before == npos ? std::string() : path.substr(0, before);
}

std::string& expandPath(std::string& path) {
  if (path.empty()) return path;
  toBackslashes(path);
  expandPercentReferences(path);
  expandDollarReferences(path);
  replaceSpecialWholePath(path);
  return path;
}

std::string& normalizePath(std::string& path) {
  if (path.empty()) return path;
  toBackslashes(path);
  const bool trailing = path.back() == '\\';
  const bool leading = path.front() == '\\';
  const bool network = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  std::string joined;
  bool firstSeparator = true;
  for (const std::string& component : keptComponents(path)) {
    if (!joined.empty() || leading) {
      if (network && firstSeparator) joined += '\\';
      firstSeparator = false;
      joined += '\\';
    }
    joined += component;
  }
  if (trailing) joined += '\\';
  path = joined;
  return path;
}

std::string& longPath(std::string& path) {
  if (path.empty()) return path;
  toBackslashes(path);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return path;
  const std::optional<std::string> longForm = platform::longPathName(path);
  if (longForm) path = *longForm;
  return path;
}

std::string& resolvePath(std::string& path) {
  expandPath(path);
  normalizePath(path);
  return longPath(path);
}

std::string& makeAbsolute(std::string& path, std::string base) {
  toBackslashes(path);
  toBackslashes(base);
  if (isAbsolute(path)) return path;
  addTrailingSeparator(base);
  path = base + path;
  return normalizePath(path);
}

std::string currentDirectory() {
  return platform::currentDirectory();
}

bool exists(const std::string& path) {
  return !path.empty() && platform::accessPath(path, 0) == 0;
}

bool isDirectory(std::string path) {
  if (path.empty()) return false;
  toBackslashes(path);
  if (path.back() == '\\') path.pop_back();
  const bool drive = WildcardMatch(path, "?:", 0, npos);
  const uint32_t attributes = platform::fileAttributes(drive ? path + "\\" : path);
  if (attributes != platform::kInvalidFileAttributes) {
    return (attributes & platform::kFileAttributeDirectory) != 0;
  }
  if (drive) return false;
  // A network share's root answers no status but can be listed.
  std::vector<platform::FindData> entries;
  return platform::findFiles(path + "\\*", entries);
}

uint64_t fileSize(const std::string& path) {
  return platform::openedFileSize(path).value_or(0);
}

bool readFile(const std::string& path, std::string& out) {
  std::FILE* file = openForRead(path);
  if (file == nullptr) return false;
  out.clear();
  readToEnd(file, out);
  std::fclose(file);
  return true;
}

}  // namespace VemoraCorelib::FileTools
