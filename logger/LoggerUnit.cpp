#include "logger/LoggerUnit.h"

#include <atomic>

#include "logger/LogCommons.h"
#include "logger/LogRecord.h"
#include "logger/LoggerCentre.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

std::atomic<int> gDebugLevel{5};
std::atomic<int> gSeverityThreshold{0};
std::atomic<int> gTimeMode{1};

}  // namespace

LoggerUnit::LoggerUnit(SmartPointer<LoggerCentre> centre, int moduleId)
    : moduleId_(moduleId), centre_(centre) {
  try {
    debug(1, "LoggerUnit: Created logger for the %s module.",
          ParamStream().addString(LogCommons::moduleName(moduleId_)));
  } catch (...) {
    // A unit that cannot say hello still logs.
  }
}

LoggerUnit::~LoggerUnit() {
  try {
    debug(1, "LoggerUnit: Destroyed logger for the %s module.",
          ParamStream().addString(LogCommons::moduleName(moduleId_)));
  } catch (...) {
    // Destructors never throw.
  }
  centre_.reset();
}

bool LoggerUnit::debug(int level, const char* text) {
  if (level > debugLevel()) return true;
  return dispatchDebug(level, text == nullptr ? std::string() : std::string(text));
}

bool LoggerUnit::debug(int level, const std::string& text) {
  if (level > debugLevel()) return true;
  return dispatchDebug(level, text);
}

bool LoggerUnit::debug(int level, const char* format, const ParamStream& params) {
  if (level > debugLevel()) return true;
  std::string text = format == nullptr ? std::string() : std::string(format);
  LogCommons::substitute(text, params.text());
  return dispatchDebug(level, text);
}

bool LoggerUnit::debug(int level, const std::string& format, const ParamStream& params) {
  if (level > debugLevel()) return true;
  std::string text = format;
  LogCommons::substitute(text, params.text());
  return dispatchDebug(level, text);
}

bool LoggerUnit::dispatchDebug(int level, const std::string& text) {
  if (centre_.isNull()) return false;
  LogRecord record;
  record.kind = LogRecord::kDebug;
  record.unitModule = moduleId_;
  record.timeMode = timeMode();
  record.debugLevel = level;
  record.text = text;
  record.threadId = platform::currentThreadId();
  return centre_->dispatch(record);
}

bool LoggerUnit::message(int severity, int messageId, const std::string& encodedParams) {
  if (centre_.isNull()) return false;
  try {
    LogRecord record;
    record.kind = LogRecord::kCatalogue;
    record.unitModule = moduleId_;
    record.timeMode = timeMode();
    record.severity = severity;
    record.messageId = messageId;
    record.text = encodedParams;
    record.threadId = platform::currentThreadId();
    return centre_->dispatch(record);
  } catch (...) {
    return false;
  }
}

bool LoggerUnit::notice(int messageId) {
  if (severityThreshold() > 0) return true;
  return message(0, messageId, std::string());
}

bool LoggerUnit::warning(int messageId, const ParamStream& params) {
  if (severityThreshold() > 1) return true;
  return message(1, messageId, params.text());
}

bool LoggerUnit::error(int messageId) {
  if (severityThreshold() > 2) return true;
  return message(2, messageId, std::string());
}

bool LoggerUnit::error(int messageId, const ParamStream& params) {
  if (severityThreshold() > 2) return true;
  return message(2, messageId, params.text());
}

bool LoggerUnit::fatal(int messageId) {
  if (severityThreshold() > 4) return true;
  return message(4, messageId, std::string());
}

bool LoggerUnit::fatal(int messageId, const ParamStream& params) {
  if (severityThreshold() > 4) return true;
  return message(4, messageId, params.text());
}

void LoggerUnit::setDebugLevel(int level) {
  if (static_cast<unsigned int>(level) <= 5) gDebugLevel.store(level);
}

int LoggerUnit::debugLevel() {
  return gDebugLevel.load(std::memory_order_relaxed);
}

void LoggerUnit::setSeverityThreshold(int threshold) {
  if (static_cast<unsigned int>(threshold) <= 5) gSeverityThreshold.store(threshold);
}

int LoggerUnit::severityThreshold() {
  return gSeverityThreshold.load(std::memory_order_relaxed);
}

void LoggerUnit::setTimeMode(int mode) {
  gTimeMode.store(mode);
}

int LoggerUnit::timeMode() {
  return gTimeMode.load(std::memory_order_relaxed);
}

}  // namespace Vemora
