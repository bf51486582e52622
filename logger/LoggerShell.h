// A small facade with fixed-level entry points over an RLoggerInterface.
// Without an interface every entry point does nothing. The interface
// pointer is not owned; it may be set or cleared while other threads log
// (the pointer itself is atomic), but the interface must outlive them.
#pragma once

#include <atomic>

#include "logger/ParamStream.h"
#include "logger/RLoggerInterface.h"

namespace Vemora {

class LoggerShell {
 public:
  LoggerShell() = default;
  LoggerShell(const LoggerShell&) = delete;
  LoggerShell& operator=(const LoggerShell&) = delete;
  virtual ~LoggerShell() = default;

  void setInterface(RLoggerInterface* target) { target_.store(target); }
  void clearInterface() { target_.store(nullptr); }
  RLoggerInterface* getInterface() const { return target_.load(); }

  // True when an interface is set and its level is at least 6, 7, 8, 9.
  bool hasDebug1() const { return levelAtLeast(6); }
  bool hasDebug2() const { return levelAtLeast(7); }
  bool hasDebug4() const { return levelAtLeast(8); }
  bool hasDebug5() const { return levelAtLeast(9); }

  // Interface level 3: a trace line "ERROR: " + text of debug level 1, or
  // the catalogue error of that number when the text is a number.
  void error(const char* text) const { call(3, text, ParamStream()); }
  void error(const char* text, ParamStream params) const { call(3, text, params); }
  void debug1(const char* text) const { call(6, text, ParamStream()); }
  void debug1(const char* text, ParamStream params) const { call(6, text, params); }
  void debug2(const char* text) const { call(7, text, ParamStream()); }
  void debug2(const char* text, ParamStream params) const { call(7, text, params); }
  void debug4(const char* text) const { call(8, text, ParamStream()); }
  void debug4(const char* text, ParamStream params) const { call(8, text, params); }
  void debug5(const char* text) const { call(9, text, ParamStream()); }
  void debug5(const char* text, ParamStream params) const { call(9, text, params); }

  // A new empty parameter list, the start of a chain of add calls.
  static ParamStream makeParams() { return ParamStream(); }

 private:
  bool levelAtLeast(int level) const;
  void call(int level, const char* text, const ParamStream& params) const;

  std::atomic<RLoggerInterface*> target_{nullptr};
};

}  // namespace Vemora
