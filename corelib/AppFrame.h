// Base class of every tool's application object. It owns the tool's
// framework objects (two loggers, the system base, the command-line parser,
// the configuration agent), processes the command line, prints the help,
// version and revision texts and wraps the tool's run so that every escaping
// exception becomes a printed message, a fatal log record and exit code 2.
//
// What a tool does:
//   1. main installs the stop signals (quitFlag(), or handlers that end a
//      tool which may block at once), calls setArguments and builds the
//      application object;
//   2. the application's constructor calls configure() and then
//      processCommandLine(); a false from either sets the state to 3;
//   3. main: state 2 gives exit code 0, state 3 exit code 2, otherwise
//      initialize() and execute() give it;
//   4. the application's destructor calls shutdown().
//
// The frame is used from the thread that runs main.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "corelib/CmdParser.h"
#include "corelib/ConfAgent.h"
#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"
#include "corelib/Logger.h"
#include "corelib/SystemBase.h"

namespace VemoraCorelib {

class AppFrame : public ImsAgent {
 public:
  enum State : int32_t { kRun = 0, kInformationPrinted = 2, kFailed = 3 };

  // Builds the members, registers the standard options (without extra
  // positionals and without the configuration options) and names the
  // framework logger "appframe". The version printed by "--version" is the
  // parser's own; the names and version given here are only kept.
  AppFrame(const std::string& applicationName, const std::string& programName,
           const std::string& version, bool standardOptions, const std::string& company);
  ~AppFrame() override;
  AppFrame(const AppFrame&) = delete;
  AppFrame& operator=(const AppFrame&) = delete;

  int handleMessage(ImsMessage& message) override;                       // -> onMessage
  int handleHookMessage(uint64_t hookId, ImsMessage& message) override;  // -> onHookMessage
  // Kept for derived tools; the frame never calls it.
  virtual void reserved() {}
  virtual bool configure() = 0;
  virtual bool shutdown() = 0;
  // The tool's work; the result is the exit code.
  virtual int run() = 0;
  virtual int onMessage(ImsMessage& message);
  virtual int onHookMessage(uint64_t hookId, ImsMessage& message);

  // Parses the stored arguments. A parse error prints "ERROR: " and the
  // message on standard output and gives false. Help, version and revision
  // texts are printed (joined by "\n") and set the state to 2.
  bool processCommandLine();
  // Applies the file-registry option; true.
  bool initialize();
  // With the option "filereg" (only in a parser built with the
  // configuration options): its value becomes the file registry's path and
  // the system base serves configuration values from that file.
  void applyFileRegistryOption();
  // run() inside the wrapper: its result, or 2 after an exception was
  // printed and logged.
  int execute();

  // The effect of a stop signal: raises the quit flag. Only a lock-free
  // store, so it is safe inside a signal handler.
  static void signalHandler(int signal);
  // The process-wide quit flag (raised by the stop signals).
  static std::atomic<bool>* quitFlag();
  static bool quitRequested();
  // printf("%s"): no line end is added.
  static void printText(const std::string& text);
  // The process arguments, stored by main before the frame is built. The
  // vector must outlive the frame.
  static void setArguments(int argc, const char* const* argv);

  int32_t state() const { return state_; }
  void setState(int32_t state) { state_ = state; }
  Logger& frameworkLogger() { return frameworkLogger_; }
  Logger& applicationLogger() { return applicationLogger_; }
  SystemBase& systemBase() { return systemBase_; }
  CmdParser& parser() { return parser_; }
  ConfAgent& confAgent() { return confAgent_; }

 private:
  Logger frameworkLogger_;
  SystemBase systemBase_;
  Logger applicationLogger_;
  int32_t state_ = kRun;
  CmdParser parser_;
  ConfAgent confAgent_;
};

}  // namespace VemoraCorelib
