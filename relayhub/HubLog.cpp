#include "relayhub/HubLog.h"

#include <atomic>

#include "logger/LoggerUnit.h"

namespace Vemora {

namespace {

std::atomic<LoggerUnit*> g_unit{nullptr};

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

void HubLog::warning(int id, const ParamStream& params) {
  if (LoggerUnit* u = unit()) u->warning(id, params);
}

void HubLog::error(int id) {
  if (LoggerUnit* u = unit()) u->error(id);
}

void HubLog::error(int id, const ParamStream& params) {
  if (LoggerUnit* u = unit()) u->error(id, params);
}

void HubLog::fatal(int id) {
  if (LoggerUnit* u = unit()) u->fatal(id);
}

void HubLog::fatal(int id, const ParamStream& params) {
  if (LoggerUnit* u = unit()) u->fatal(id, params);
}

int HubLog::debugLevel() {
  return LoggerUnit::debugLevel();
}

void HubLog::messagingError(int id) {
  shell().error(std::to_string(id).c_str());
}

void HubLog::messagingError(int id, const ParamStream& params) {
  shell().error(std::to_string(id).c_str(), params);
}

}  // namespace Vemora
