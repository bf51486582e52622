#include "corelib/Logger.h"

#include <array>

#include "corelib/DateTime.h"
#include "corelib/StringTools.h"
#include "platform/Thread.h"

namespace VemoraCorelib {

namespace {

constexpr int32_t kFatal = 1;
constexpr int32_t kInfo = 4;
constexpr int32_t kVerbose = 5;
constexpr int32_t kTrace = 7;
constexpr int32_t kFlood = 8;
constexpr size_t kSourceLength = 10;

std::atomic<int32_t> processMaximumLevel{7};

const std::array<const char*, 9> kLevelNames = {"none",    "fatal", "error", "warning", "info",
                                                "verbose", "debug", "trace", "flood"};

}  // namespace

Logger::Logger() : ImsAgent("logger"), source_("anonymous"), level_(7) {
  try {
    levelHookId_ = setMessageHook(false, "debug", "level", "", 1);
    hasLevelHook_ = levelHookId_ != 0;
  } catch (const Exception&) {
    // Without its hook the logger simply keeps its level.
  }
}

Logger::~Logger() {
  if (!hasLevelHook_) return;
  try {
    removeMessageHook(levelHookId_);
  } catch (...) {
  }
}

void Logger::setSource(const std::string& source) {
  source_ = source.substr(0, kSourceLength);
}

int Logger::handleMessage(ImsMessage& message) {
  if (message.generalType != "debug" || message.groupType != "level") return kNotHandled;
  const int32_t level = StringTools::toInt32(message.messageType);
  if (level >= 0 && level <= maximumLevel()) level_.store(level);
  return kHandled;
}

int Logger::handleHookMessage(uint64_t hookId, ImsMessage& message) {
  if (!hasLevelHook_ || hookId != levelHookId_) return kNotHandled;
  return handleMessage(message);
}

bool Logger::passes(int32_t level) const {
  return level_.load() >= level && maximumLevel() >= level;
}

void Logger::fatal(const std::string& text) {
  if (passes(kFatal)) send(kFatal, text, ParamStream());
}

void Logger::info(const std::string& text) {
  if (passes(kInfo)) send(kInfo, text, ParamStream());
}

void Logger::verbose(const std::string& text, const ParamStream& arguments) {
  if (passes(kVerbose)) send(kVerbose, text, arguments);
}

void Logger::trace(const std::string& text, const ParamStream& arguments) {
  if (passes(kTrace)) send(kTrace, text, arguments);
}

void Logger::flood(const std::string& text) {
  if (passes(kFlood)) send(kFlood, text, ParamStream());
}

void Logger::flood(const std::string& text, const ParamStream& arguments) {
  if (passes(kFlood)) send(kFlood, text, arguments);
}

void Logger::logException(const Exception& exception) {
  if (passes(kFatal)) logChain(exception);
}

void Logger::logChain(const Exception& exception) {
  for (const Exception& nested : exception.nested()) logChain(nested);
  if (!exception.message().empty()) {
    send(kFatal, exception.name() + ": " + exception.messageWithContext(), exception.arguments());
  } else if (!exception.nested().empty()) {
    send(kFatal, exception.name() + ": Container for above exceptions", ParamStream());
  } else {
    send(kFatal, exception.name() + ": <NO MESSAGE>", ParamStream());
  }
}

void Logger::send(int32_t level, const std::string& text, const ParamStream& arguments) {
  LogMessageParameter record;
  record.level = level;
  record.source = source_;
  record.time = currentTimeValue();
  record.threadId = platform::currentThreadId();
  record.processId = static_cast<int32_t>(platform::processId());
  record.text = text;
  record.arguments = arguments;
  ImsMessage message("debug", level < kInfo ? "functional" : "debug", StringTools::toString(level),
                     &record);
  if (target_ != nullptr) {
    sendMessage(target_, message);
  } else {
    sendMessage(message);
  }
}

int32_t Logger::levelFromName(const std::string& name) {
  std::string lower = name;
  StringTools::toLower(lower);
  for (size_t i = 0; i < kLevelNames.size(); ++i) {
    if (lower == kLevelNames[i]) return static_cast<int32_t>(i);
  }
  return 0;
}

int32_t Logger::maximumLevel() {
  return processMaximumLevel.load();
}

void Logger::setMaximumLevel(int32_t level) {
  processMaximumLevel.store(level);
}

}  // namespace VemoraCorelib
