#include "logger/LogCommons.h"

#include <new>
#include <vector>

#include "common/FileBase.h"
#include "common/FileException.h"
#include "common/FilePlain.h"
#include "common/FileUtils.h"
#include "common/SmartPointer.h"
#include "common/StringOps.h"
#include "platform/Numbers.h"

namespace Vemora {

namespace {

constexpr const char* kUnknownName = "<<Unknown>>";
constexpr const char* kNotFound = "(Message not found.)";

struct ModuleRow {
  int id;
  const char* display;
  const char* lower;
};

// Unit modules (and catalogue keys). Only the rows this system uses are
// listed; the other ids stay reserved for the suite's other programs.
const ModuleRow kModules[] = {
    {0, "Core", "core"},          {1, "Configuration", "configuration"},
    {2, "Logger", "logger"},      {2, "Logger", "log"},
    {3, "Protocol", "protocol"},  {4, "Time", "time"},
    {5, "Cron", "cron"},          {6, "IPC", "ipc"},
    {48, "relayhub", "relayhub"}, {49, "messaging", "messaging"},
};

struct FileModuleRow {
  int id;
  const char* name;
};

// Programs (application module ids, base names of the plain log files).
const FileModuleRow kFileModules[] = {{1, "core"}, {41, "relayhub"}};

std::string lower(std::string text) {
  StringOps::toLower(text);
  return text;
}

std::string number(int value) {
  return StringOps::fromInt(value);
}

int readNumber(const std::string& text) {
  return platform::atol32(text.c_str());
}

std::string catalogueKey(int moduleId, int number) {
  return StringOps::fromInt(moduleId) + "." + StringOps::fromInt(number);
}

// The encoded parameters for a line: from the second byte on, each item
// separator (0x1A or 0x1B) becomes two blanks and the next item's kind
// letter is skipped.
std::string parameterText(const std::string& encoded) {
  std::string out;
  for (size_t i = 1; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '\x1A' || c == '\x1B') {
      out += "  ";
      ++i;  // the kind letter of the next item, when there is one
    } else {
      out += c;
    }
  }
  return out;
}

char kindFor(char placeholder) {
  switch (placeholder) {
    case 's':
      return 's';
    case 'i':
    case 'f':
      return 'n';
    case 'd':
      return 'e';
    case 'p':
      return 'p';
    default:
      return '\0';
  }
}

}  // namespace

std::string LogCommons::severityName(int severity) {
  static const char* const kNames[] = {"NOTICE", "WARNING", "ERROR", "CRITICAL", "FATAL"};
  if (severity < 0 || severity > 4) return std::string();
  return kNames[severity];
}

int LogCommons::severityFromName(const std::string& name) {
  if (name == "NONE" || name == "NOTHING") return 5;
  for (int s = 0; s <= 4; ++s) {
    if (name == severityName(s)) return s;
  }
  return 6;
}

void LogCommons::serializeRecord(const LogRecord& record, std::string& out) {
  const bool catalogue = record.kind == LogRecord::kCatalogue;
  std::string text = record.text;
  for (char& c : text) {
    if (c == kFieldSeparator) c = ' ';
  }
  out.clear();
  const auto field = [&out](const std::string& value) {
    out += value;
    out += kFieldSeparator;
  };
  field("Vemora");
  field(catalogue ? "LOG" : "DEBUG");
  field(number(record.applicationModule));
  field(number(record.unitModule));
  field(number(record.time.seconds()));
  field(number(catalogue ? record.severity : record.debugLevel));
  field(text);
  field(number(static_cast<int32_t>(record.threadId)));
  if (catalogue) field(number(record.messageId));
}

bool LogCommons::parseRecord(const std::string& wire, LogRecord& out) {
  std::string rest = wire;
  const auto next = [&rest]() { return StringOps::cutToken(rest, kFieldSeparator); };
  if (next() != "Vemora") return false;
  const std::string kind = next();
  if (kind == "DEBUG") {
    out.kind = LogRecord::kDebug;
  } else if (kind == "LOG") {
    out.kind = LogRecord::kCatalogue;
  } else {
    return false;
  }
  out.applicationModule = readNumber(next());
  out.unitModule = readNumber(next());
  out.time = DateTime(readNumber(next()));
  const int level = readNumber(next());
  if (out.kind == LogRecord::kDebug) {
    out.debugLevel = level;
  } else {
    out.severity = level;
  }
  out.text = next();
  out.threadId = static_cast<uint32_t>(readNumber(next()));
  out.messageId = out.kind == LogRecord::kCatalogue ? readNumber(next()) : LogRecord::kNoMessage;
  return true;
}

bool LogCommons::isDebugRecord(const std::string& wire) {
  return wire.size() >= 12 && wire.compare(7, 5, "DEBUG") == 0;
}

std::string LogCommons::moduleText(int applicationModule, int unitModule, int messageId) {
  std::string out = "(" + number(applicationModule) + ".";
  if (unitModule < 10) out += "0";
  out += number(unitModule);
  if (messageId == LogRecord::kNoMessage) return out + ")   ";
  out += ".";
  if (messageId < 10) out += "0";
  return out + number(messageId) + ")";
}

std::string LogCommons::formatLine(const LogRecord& record, bool textFound) {
  const bool debug = record.kind != LogRecord::kCatalogue;
  std::string line = debug ? "debug-" + number(record.debugLevel) : severityName(record.severity);
  StringOps::padRight(line, 8, ' ');
  line += ' ';
  line += record.time.toString(false, false);
  line += ' ';
  line += moduleText(record.applicationModule, record.unitModule, record.messageId);
  line += ' ';
  line += std::to_string(record.threadId);
  line += ": ";
  if (debug || textFound) return line + record.text;
  line += kNotFound;
  if (!record.text.empty()) line += " Parameters: " + parameterText(record.text);
  return line;
}

// ---- catalogue ----

MessageLoadReport LogCommons::loadMessages(MessageLoadReport& report, const std::string& directory,
                                           const std::string& filter) {
  report = MessageLoadReport();
  std::string folder = directory;
  FileUtils::collapseSeparators(folder);
  FileUtils::addTrailingSeparator(folder);
  folder += "LogMessages\\";
  try {
    for (const DirectoryEntry& entry : FileUtils::listDirectory(folder, "*.mess")) {
      if (!entry.isFile) continue;
      std::string module = entry.name;
      const size_t dot = module.rfind('.');
      if (dot != std::string::npos) module.erase(dot);
      const int id = moduleId(module);
      if (id == kUnknownModule || (filter != "all" && filter.find(module) == std::string::npos)) {
        report.rejected.push_back(module);
        continue;
      }
      int count = 0;
      loadFile(folder + entry.name, id, count);
      report.loaded.push_back(module);
      report.counts.push_back(count);
    }
    report.ok = true;
  } catch (const FileException& e) {
    report.error = e.codeText();
  } catch (const std::bad_alloc&) {
    report.error = "OUT OF MEMORY";
  } catch (...) {
    report.error = "Unknown";
  }
  return report;
}

void LogCommons::loadFile(const std::string& path, int moduleId, int& count) {
  SmartPointer<FileBase> file(new FilePlain(path));
  if (file.isNull()) throw std::bad_alloc();
  file->open(1);  // read
  try {
    while (!file->atEnd()) {
      std::string line;
      file->readLine(line);
      if (line.empty() || line.compare(0, 2, "//") == 0) continue;
      std::string text;
      const size_t colon = line.find(':');
      if (colon != std::string::npos) {
        text = line.substr(colon + 1);
        line.erase(colon);
      }
      StringOps::trim(line);
      StringOps::trim(text);
      addMessage(moduleId, readNumber(line), text);
      ++count;
    }
  } catch (...) {
    file->commit();
    throw;
  }
  file->commit();
}

void LogCommons::addMessage(int moduleId, int number, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  catalogue_.emplace(catalogueKey(moduleId, number), text);
}

bool LogCommons::lookupMessage(int moduleId, int number, std::string& out) const {
  const std::string key = catalogueKey(moduleId, number);
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = catalogue_.find(key);
  if (it == catalogue_.end()) return false;
  out = it->second;
  return true;
}

void LogCommons::substitute(std::string& text, const std::string& encodedParams) {
  std::vector<std::string> items;
  StringOps::split(encodedParams, '\x1A', items, 0, false);
  std::string out;
  size_t used = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (used >= items.size() || i + 1 == text.size()) {
      out += "<\?\?\?>";
      ++i;
      continue;
    }
    const char placeholder = text[++i];
    if (placeholder == '%') {
      out += '%';
      continue;
    }
    const std::string& item = items[used++];
    const std::string value = item.empty() ? std::string() : item.substr(1);
    const char kind = kindFor(placeholder);
    if (kind != '\0' && !item.empty() && item[0] == kind) {
      out += value;
    } else {
      out += "\\" + value + "\\";
    }
  }
  text.swap(out);
}

// ---- module tables ----

std::string LogCommons::moduleName(int id) {
  for (const ModuleRow& row : kModules) {
    if (row.id == id) return row.display;
  }
  return kUnknownName;
}

int LogCommons::moduleId(const std::string& name) {
  const std::string key = lower(name);
  for (const ModuleRow& row : kModules) {
    if (key == row.lower) return row.id;
  }
  return kUnknownModule;
}

std::string LogCommons::messageFileModuleName(int id) {
  for (const FileModuleRow& row : kFileModules) {
    if (row.id == id) return row.name;
  }
  return kUnknownName;
}

int LogCommons::messageFileModuleId(const std::string& name) {
  const std::string key = lower(name);
  for (const FileModuleRow& row : kFileModules) {
    if (key == row.name) return row.id;
  }
  return 0;
}

}  // namespace Vemora
