// The core library's logging agent. A logger writes nothing itself: every
// log call that passes the level tests becomes one in-process message
// (general type "debug") carrying a Logger::LogMessageParameter, and
// whichever agent hooks such messages does the writing. Each logger follows
// the level messages ("debug", "level", the level number) through its own
// tier-1 hook; a process-wide maximum level caps every logger.
//
// Levels: 0 none, 1 fatal, 2 error, 3 warning, 4 info, 5 verbose, 6 debug,
// 7 trace, 8 flood.
//
// Thread-safety: log calls may come from any thread (they only read the
// logger's fields and send on the calling thread); the level is changed by
// whichever thread delivers a level message. setSource is not synchronised.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "corelib/Exception.h"
#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"
#include "corelib/ImsMessageParameter.h"
#include "corelib/ParamStream.h"

namespace VemoraCorelib {

class Logger : public ImsAgent {
 public:
  // One log record, as it travels in a log message. The message does not
  // own it: it lives on the sender's stack for the time of the send.
  class LogMessageParameter : public ImsMessageParameter {
   public:
    ~LogMessageParameter() override = default;

    int32_t level = 0;
    std::string source;
    int64_t time = 0;  // milliseconds since 1899-12-31T00:00:00Z
    uint32_t threadId = 0;
    int32_t processId = 0;
    std::string text;  // the template as the caller gave it, not filled
    ParamStream arguments;
  };

  // Agent "logger", source "anonymous", level 7, no target; hooks the level
  // messages in tier 1 (a failure to set the hook is dropped: the logger
  // then keeps its level).
  Logger();
  ~Logger() override;
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Sets the record source, cut to its first 10 characters.
  void setSource(const std::string& source);
  const std::string& source() const { return source_; }
  int32_t level() const { return level_.load(); }
  uint64_t levelHookId() const { return levelHookId_; }
  // Records go straight to `target` instead of through the hooks (null: to
  // every hook).
  void setTarget(ImsAgent* target) { target_ = target; }

  // A level message ("debug", "level", N) sets the level to N when
  // 0 <= N <= the process-wide maximum, and is answered 2 either way; any
  // other message gets 1.
  int handleMessage(ImsMessage& message) override;
  // The level hook's messages go to handleMessage; other hooks get 1.
  int handleHookMessage(uint64_t hookId, ImsMessage& message) override;

  void fatal(const std::string& text);
  void info(const std::string& text);
  void verbose(const std::string& text, const ParamStream& arguments);
  void trace(const std::string& text, const ParamStream& arguments);
  void flood(const std::string& text);
  void flood(const std::string& text, const ParamStream& arguments);
  // Logs the exception chain at level 1: the nested exceptions first (each
  // by this same rule, so the innermost come first), then the exception.
  void logException(const Exception& exception);

  // True when a record of `level` would be sent by this logger.
  bool passes(int32_t level) const;
  // Sends one record unconditionally; the delivery result is ignored.
  void send(int32_t level, const std::string& text, const ParamStream& arguments);

  // The level number of a level name (compared in lower case); 0 for any
  // other name.
  static int32_t levelFromName(const std::string& name);
  // The process-wide maximum level (7 at start); every logger is capped by
  // it. Lock-free; any thread.
  static int32_t maximumLevel();
  static void setMaximumLevel(int32_t level);

 private:
  void logChain(const Exception& exception);

  std::string source_;
  std::atomic<int32_t> level_;
  uint64_t levelHookId_ = 0;
  bool hasLevelHook_ = false;
  ImsAgent* target_ = nullptr;
};

}  // namespace VemoraCorelib
