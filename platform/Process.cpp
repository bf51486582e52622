#include "platform/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/Thread.h"

extern char** environ;

namespace platform {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The program token: a leading quoted text (no escapes), else up to a blank.
size_t readProgram(const std::string& line, std::string& out) {
  if (!line.empty() && line[0] == '"') {
    const size_t close = line.find('"', 1);
    out = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    return close == std::string::npos ? line.size() : close + 1;
  }
  size_t end = 0;
  while (end < line.size() && !isBlank(line[end])) ++end;
  out = line.substr(0, end);
  return end;
}

// One argument from `pos` on by the C runtime's rules; `pos` moves past it.
std::string readArgument(const std::string& line, size_t& pos) {
  std::string arg;
  bool quoted = false;
  while (pos < line.size() && (quoted || !isBlank(line[pos]))) {
    size_t slashes = 0;
    while (pos < line.size() && line[pos] == '\\') ++slashes, ++pos;
    if (pos < line.size() && line[pos] == '"') {
      arg.append(slashes / 2, '\\');
      if (slashes % 2 == 1) {
        arg += '"';
      } else if (quoted && pos + 1 < line.size() && line[pos + 1] == '"') {
        arg += '"';
        ++pos;
      } else {
        quoted = !quoted;
      }
      ++pos;
    } else {
      arg.append(slashes, '\\');
      if (slashes == 0 && pos < line.size()) arg += line[pos++];
    }
  }
  return arg;
}

bool namesFolder(const std::string& program) {
  return program.find_first_of("\\/") != std::string::npos ||
         (program.size() >= 2 && program[1] == ':');
}

uint32_t spawnError(int err) {
  return err == ENOEXEC ? kErrorBadExeFormat : errorFromErrno(err);
}

// Children whose handles were closed while they ran: reaped here, so that
// none stays a zombie. Never destroyed (the thread may outlive main).
struct Reaper {
  std::mutex mutex;
  std::vector<pid_t> pids;
  bool running = false;
};

Reaper& reaper() {
  static Reaper* r = new Reaper;
  return *r;
}

void reapLoop() {
  Reaper& r = reaper();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(r.mutex);
      std::erase_if(r.pids, [](pid_t pid) {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) != 0;  // ended, or not ours any more
      });
      if (r.pids.empty()) {
        r.running = false;
        return;
      }
    }
    realSleepMs(200);
  }
}

void reapLater(pid_t pid) {
  Reaper& r = reaper();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.pids.push_back(pid);
  if (r.running) return;
  try {
    std::thread(reapLoop).detach();
    r.running = true;
  } catch (const std::system_error&) {
    // No thread now: the next closed handle tries again.
  }
}

// Spawn attributes: an own process group, no blocked signals, and the
// signals the daemon ignores or catches back at their defaults.
bool makeAttributes(posix_spawnattr_t& attr) {
  if (posix_spawnattr_init(&attr) != 0) return false;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGABRT, SIGHUP, SIGQUIT, SIGCHLD}) {
    sigaddset(&defaults, sig);
  }
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  return true;
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> out;
  std::string program;
  size_t pos = readProgram(commandLine, program);
  if (program.empty()) return out;
  out.push_back(program);
  for (;;) {
    while (pos < commandLine.size() && isBlank(commandLine[pos])) ++pos;
    if (pos >= commandLine.size()) break;
    out.push_back(readArgument(commandLine, pos));
  }
  return out;
}

std::unique_ptr<Process> Process::create(const std::string& commandLine, bool inheritHandles) {
  std::vector<std::string> args = splitCommandLine(commandLine);
  if (args.empty()) {
    setLastError(kErrorFileNotFound);
    return nullptr;
  }
  const bool folder = namesFolder(args[0]);
  if (folder) {
    std::optional<std::string> native = toNativePath(args[0]);
    if (!native) return nullptr;  // last error set
    args[0] = *native;
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  if (!inheritHandles) posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!makeAttributes(attr)) {
    posix_spawn_file_actions_destroy(&actions);
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  pid_t pid = 0;
  const int rc = folder ? posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ)
                        : posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    setLastError(spawnError(rc));
    return nullptr;
  }
  setLastError(kErrorSuccess);
  return std::unique_ptr<Process>(new Process(pid));
}

Process::~Process() {
  if (!ended()) reapLater(pid_);
}

void Process::recordStatus(int status) {
  reaped_ = true;
  if (WIFEXITED(status)) {
    exitCode_ = static_cast<uint32_t>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    if (sig == SIGKILL && killSent_) {
      exitCode_ = killCode_;
    } else if (sig == SIGTERM && quitSent_) {
      exitCode_ = quitCode_;
    } else {
      exitCode_ = 128u + static_cast<uint32_t>(sig);
    }
  }
}

bool Process::ended() {
  if (reaped_) return true;
  int status = 0;
  const pid_t rc = ::waitpid(pid_, &status, WNOHANG);
  if (rc == pid_) {
    recordStatus(status);
  } else if (rc < 0 && errno == ECHILD) {
    reaped_ = true;  // reaped by someone else: the code is lost
    exitCode_ = killSent_ ? killCode_ : 0;
  }
  return reaped_;
}

bool Process::signalGroup(int sig) {
  if (::kill(-pid_, sig) == 0) return true;
  return ::kill(pid_, sig) == 0;
}

bool Process::exitCode(uint32_t& code) {
  code = ended() ? exitCode_ : kStillActive;
  setLastError(kErrorSuccess);
  return true;
}

bool Process::threadExitCode(uint32_t& code) {
  return exitCode(code);
}

bool Process::suspendThread(uint32_t& previousCount) {
  if (ended() || !signalGroup(SIGSTOP)) {
    setLastError(kErrorAccessDenied);
    return false;
  }
  previousCount = suspendCount_++;
  setLastError(kErrorSuccess);
  return true;
}

bool Process::postThreadMessage(uint32_t message, uint32_t param) {
  if (message != kWmQuit && message != kWmClose && message != kWmDestroy) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  if (ended()) {
    setLastError(kErrorInvalidThreadId);
    return false;
  }
  if (!quitSent_) quitCode_ = param;
  quitSent_ = true;
  if (!signalGroup(SIGTERM)) {
    setLastError(kErrorInvalidThreadId);
    return false;
  }
  setLastError(kErrorSuccess);
  return true;
}

bool Process::terminate(uint32_t code) {
  if (ended()) {
    setLastError(kErrorAccessDenied);
    return false;
  }
  killSent_ = true;
  killCode_ = code;
  if (!signalGroup(SIGKILL)) {
    setLastError(kErrorAccessDenied);
    return false;
  }
  setLastError(kErrorSuccess);
  return true;
}

}  // namespace platform
