// Runs the real relayhub program (RELAYHUB_BIN) for an end-to-end test: a
// temporary folder of its own (drive C, registry store, named locks, state,
// logs, catalogues), a configuration file written there, a free loopback
// port, start, wait for the port, signals, exit code.
//
// Paths inside the configuration are written in Windows form below drive C
// ("C:/state/"), and drive C is the fixture's folder, so nothing the daemon
// writes leaves it. Every wait has a generous bound; nothing is timed.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

class DaemonFixture {
 public:
  // Keys of the default configuration, as "dotted.key" -> "(Type)=value".
  // Tests change or remove entries before writeConfig.
  using Settings = std::map<std::string, std::string>;

  DaemonFixture();
  // Kills a daemon that still runs (SIGKILL) and removes the folder (kept
  // when VEMORA_KEEP_TEST_ROOT is set).
  ~DaemonFixture();
  DaemonFixture(const DaemonFixture&) = delete;
  DaemonFixture& operator=(const DaemonFixture&) = delete;

  // The fixture's folder (drive C of the daemon).
  const std::string& root() const { return root_; }
  // The port written into the configuration (free when the fixture was made).
  int port() const { return port_; }
  // A port on which nothing listens right now.
  static int freePort();

  // Every key the daemon reads, with working values: port, max-connections
  // 10, version 2, folders under the root, notify-agents false, no
  // connections log, debug level 5.
  Settings defaultSettings() const;
  // Writes the settings as a configuration file below the root; returns its
  // path as the daemon names it ("C:/relayhub.conf").
  std::string writeConfig(const Settings& settings, const std::string& name = "relayhub.conf");
  std::string writeConfig() { return writeConfig(defaultSettings()); }
  // Writes any text as a file below the root; returns its path as the
  // daemon names it ("C:/" + relative).
  std::string writeFile(const std::string& relative, const std::string& text);
  // The configuration text of some settings (nested sections per dot).
  static std::string configText(const Settings& settings);

  // Starts relayhub with `args` (after the program name) in the fixture's
  // environment; stdout and stderr go to files. False when it cannot start.
  bool start(const std::vector<std::string>& args);
  // start({"-c", writeConfig()}) and waitForPort.
  bool startDefault();
  // Waits until the daemon listens on the port (seen in /proc/net/tcp, so
  // no probe connection takes one of its places); false when it ended or
  // the time ran out. When the port was free at start and another program
  // took it before the daemon could bind it, the daemon is started again
  // with "--port" and another free port (port() then names it).
  bool waitForPort(int timeoutMs = 20000);
  static bool isListening(int port);
  bool running();
  pid_t pid() const { return pid_; }
  bool signal(int sig);
  // The exit code (128 + signal number when a signal killed it), or -1 when
  // it did not end within the time.
  int waitExit(int timeoutMs = 20000);
  // SIGTERM and waitExit.
  int stop(int timeoutMs = 20000);

  // Runs relayhub once more with `args` in the same environment and waits
  // for its exit code (-1 when it does not end in time; it is then killed).
  // `out` and `err` receive what it wrote on standard output and error.
  int runOnce(const std::vector<std::string>& args, int timeoutMs = 20000,
              std::string* out = nullptr, std::string* err = nullptr);

  std::string stdoutText() const;
  std::string stderrText() const;
  // All log files of the daemon's log folder, concatenated.
  std::string logText() const;
  // Waits until the log holds `needle`.
  bool waitForLog(const std::string& needle, int timeoutMs = 20000) const;
  // Waits until `path` exists (present) or is gone (!present). The state
  // store makes changes no reply waits for durable within about a second.
  bool waitForPath(const std::string& path, bool present, int timeoutMs = 20000) const;
  // The registry store's text of HKEY_LOCAL_MACHINE.
  std::string registryText() const;
  // The value text of a REG_SZ resource as the store's file shows it, or "".
  std::string resource(const std::string& name) const;

  // The daemon's fault file (VEMORA_FAULTS; see platform/FaultPoint.h):
  // a line written there makes one sync, rename or unlink fail.
  std::string faultFile() const { return root_ + "/faults"; }
  // Environment of the daemon's process, "NAME=value".
  std::vector<std::string> environment() const;
  // The folder of the named locks for the runs that follow (below the
  // root; "locks" unless changed).
  void setLockFolder(const std::string& relative) { lockFolder_ = relative; }

 private:
  pid_t spawn(const std::vector<std::string>& args, const std::string& outPath,
              const std::string& errPath);
  static int waitPid(pid_t pid, int timeoutMs, bool& ended);
  enum class PortWait { kListening, kPortLost, kFailed };
  PortWait awaitListener(int timeoutMs);
  bool listenerIsOurs() const;
  bool restartOnNewPort();

  std::string root_;
  int port_ = 0;
  pid_t pid_ = -1;
  int exitCode_ = -1;
  int runs_ = 0;
  std::vector<std::string> args_;  // of the last start
  bool portFreeAtStart_ = false;
  std::string lockFolder_ = "locks";
};

}  // namespace e2e
