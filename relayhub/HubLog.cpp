#include "relayhub/HubLog.h"

#include <atomic>
#include <cstdio>
#include <vector>

#include "common/StringOps.h"
#include "logger/LogCommons.h"
#include "logger/LogMessenger.h"
#include "logger/LoggerUnit.h"

namespace Vemora {

namespace {

std::atomic<LoggerUnit*> g_unit{nullptr};
std::atomic<bool> g_echo{false};

constexpr int kHubModule = 48;
constexpr int kMessagingModule = 49;
constexpr int kWarning = 1;
constexpr int kError = 2;
constexpr int kFatal = 4;

// What an operator reads on standard error before the catalogue is loaded
// (the catalogue's own texts win once it is).
struct BuiltIn {
  int module;
  int id;
  const char* text;
};
constexpr BuiltIn kBuiltIn[] = {
    {kHubModule, 2, "Required configuration key \"%s\" is missing, unreadable or out of range."},
    {kHubModule, 3, "Out of memory."},
    {kHubModule, 4, "Directory \"%s\" could not be read or created."},
    {kHubModule, 5, "The name-mapping file \"%s\" could not be read."},
    {kHubModule, 13, "The connections log \"%s\" could not be opened."},
    {kHubModule, 14, "The stored item \"%s\" could not be read; it was skipped."},
    {kHubModule, 15, "No listener on port %i (setup code %i); no agent can connect."},
    {kHubModule, 16, "A worker thread could not be started."},
    {kHubModule, 18, "The worker threads could not be started."},
    {kHubModule, 21, "Application entry %s names a program that does not exist: %s.exe"},
    {kHubModule, 23, "The registry store cannot be read, its resources count as missing: %s"},
    {kMessagingModule, 1, "Accepting a connection failed (socket error %i)."},
};

// "parameters: "a", "42"" from the encoded items (kind letter, value).
std::string parameterText(const std::string& encoded) {
  std::vector<std::string> items;
  StringOps::split(encoded, '\x1A', items, 0, false);
  std::string out;
  for (const std::string& item : items) {
    out += out.empty() ? "parameters: " : ", ";
    out += "\"" + (item.empty() ? item : item.substr(1)) + "\"";
  }
  return out.empty() ? "no parameters" : out;
}

void echo(int severity, int module, int id, const ParamStream& params) {
  if (!g_echo.load()) return;
  HubLog::console(HubLog::consoleText(severity, module, id, params.text()));
}

}  // namespace

LoggerShell& HubLog::shell() {
  static LoggerShell instance;
  return instance;
}

LoggerUnit* HubLog::unit() {
  return g_unit.load();
}

void HubLog::setUnit(LoggerUnit* unit) {
  g_unit.store(unit);
}

void HubLog::debug(int level, const std::string& text) {
  if (LoggerUnit* u = unit()) u->debug(level, text);
}

void HubLog::debug(int level, const std::string& format, const ParamStream& params) {
  if (LoggerUnit* u = unit()) u->debug(level, format, params);
}

void HubLog::notice(int id) {
  if (LoggerUnit* u = unit()) u->notice(id);
}

void HubLog::notice(int id, const ParamStream& params) {
  LoggerUnit* u = unit();
  if (u != nullptr && LoggerUnit::severityThreshold() == 0) u->message(0, id, params.text());
}

void HubLog::warning(int id, const ParamStream& params) {
  echo(kWarning, kHubModule, id, params);
  if (LoggerUnit* u = unit()) u->warning(id, params);
}

void HubLog::error(int id) {
  echo(kError, kHubModule, id, ParamStream());
  if (LoggerUnit* u = unit()) u->error(id);
}

void HubLog::error(int id, const ParamStream& params) {
  echo(kError, kHubModule, id, params);
  if (LoggerUnit* u = unit()) u->error(id, params);
}

void HubLog::fatal(int id) {
  echo(kFatal, kHubModule, id, ParamStream());
  if (LoggerUnit* u = unit()) u->fatal(id);
}

void HubLog::fatal(int id, const ParamStream& params) {
  echo(kFatal, kHubModule, id, params);
  if (LoggerUnit* u = unit()) u->fatal(id, params);
}

int HubLog::debugLevel() {
  return LoggerUnit::debugLevel();
}

void HubLog::messagingError(int id) {
  echo(kError, kMessagingModule, id, ParamStream());
  shell().error(std::to_string(id).c_str());
}

void HubLog::messagingError(int id, const ParamStream& params) {
  echo(kError, kMessagingModule, id, params);
  shell().error(std::to_string(id).c_str(), params);
}

void HubLog::console(const std::string& text) {
  const std::string line = "relayhub: " + text + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void HubLog::setConsoleEcho(bool on) {
  g_echo.store(on);
}

bool HubLog::consoleEcho() {
  return g_echo.load();
}

std::string HubLog::consoleText(int severity, int module, int id, const std::string& encoded) {
  std::string text;
  const LogCommons* catalogue = LogMessenger::catalogue();
  bool found = catalogue != nullptr && catalogue->lookupMessage(module, id, text);
  for (const BuiltIn& entry : kBuiltIn) {
    if (found) break;
    if (entry.module != module || entry.id != id) continue;
    text = entry.text;
    found = true;
  }
  if (found) {
    LogCommons::substitute(text, encoded);
  } else {
    text = parameterText(encoded);
  }
  std::string name = LogCommons::severityName(severity);
  StringOps::toLower(name);
  return name + " " + std::to_string(id) + " (" + LogCommons::moduleName(module) + "): " + text;
}

}  // namespace Vemora
