// Child processes (CreateProcessA, GetExitCodeProcess, GetExitCodeThread,
// SuspendThread, PostThreadMessageA to the child's main thread,
// TerminateProcess, CloseHandle), over posix_spawn.
//
// What the stand-in promises, as Windows does:
//   - a command line is one text: the program is its first token (in double
//     quotes when it holds blanks), the rest is split into arguments by the
//     rules of the child's C runtime (splitCommandLine); no shell runs;
//   - a program named with a folder ('\' or '/', "C:") is found through the
//     path translation of Path.h; a bare name is looked up in PATH;
//   - the start fails at once when the program cannot run (last error 2 for
//     a missing file, 5 for one that may not be run, 193 for a file that is
//     not a program);
//   - the child gets the parent's environment and current folder; with
//     inheritHandles false it gets no descriptor beyond 0, 1 and 2, with it
//     true every descriptor that is not close-on-exec;
//   - the exit code reads 259 (kStillActive) while the child runs; an exit
//     code is the child's own (0 to 255 here); a child ended by
//     terminate(code) reads that code, one ended by a quit request the
//     request's parameter, one ended by another signal S 128 + S;
//   - closing the handle (destruction) never stops the child.
// What differs:
//   - the child runs in a process group of its own, so the daemon's terminal
//     signals never reach it; suspend, quit and terminate act on that whole
//     group (the child and what it started and kept in the group);
//   - a posted quit message (kWmQuit, kWmClose, kWmDestroy) is a SIGTERM to
//     that group: a program ends at once unless it catches or ignores it;
//   - suspendThread stops the group (SIGSTOP); nothing resumes it but an end;
//   - a child whose handle is closed while it runs is reaped by a background
//     thread, so no zombie stays behind; nothing else in the process may
//     reap children (waitpid(-1)): a child reaped elsewhere reads exit code 0;
//   - there is no window to hide, and no security descriptor.
// One object is used by one thread at a time; splitCommandLine is
// thread-safe.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The exit code of a process or thread that still runs (STILL_ACTIVE).
constexpr uint32_t kStillActive = 259;
// ERROR_BAD_EXE_FORMAT and ERROR_INVALID_THREAD_ID.
constexpr uint32_t kErrorBadExeFormat = 193;
constexpr uint32_t kErrorInvalidThreadId = 1444;

// The program and the arguments of a command line, as CreateProcessA finds
// the program (a leading double-quoted text, else the text up to the first
// blank or TAB) and as the child's C runtime builds the rest of argv
// (blanks and TABs separate outside double quotes, 2n backslashes before a
// quote give n and the quote opens or closes, 2n+1 give n and a literal
// quote, "" inside quotes is a literal quote, other backslashes stay).
// Empty for a command line without a program.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

class Process {
 public:
  // CreateProcessA(no application name, commandLine, inheritHandles, no
  // creation flags, the parent's environment and folder). nullptr (and the
  // last error) when the program cannot be started.
  static std::unique_ptr<Process> create(const std::string& commandLine, bool inheritHandles);

  // CloseHandle of the process and its main thread: the child keeps running.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  uint32_t processId() const { return static_cast<uint32_t>(pid_); }
  // The child's main thread (its process id here).
  uint32_t threadId() const { return static_cast<uint32_t>(pid_); }

  // GetExitCodeProcess: true and kStillActive while it runs, else its exit
  // code. Never fails once created.
  bool exitCode(uint32_t& code);
  // GetExitCodeThread of the main thread: the same as exitCode.
  bool threadExitCode(uint32_t& code);
  // SuspendThread of the main thread: true and the previous suspend count;
  // false (last error 5) once the child has ended.
  bool suspendThread(uint32_t& previousCount);
  // PostThreadMessageA to the main thread: a quit message with `param` as
  // the exit code to use. False (last error kErrorInvalidThreadId) once the
  // child has ended and been seen to end, or for another message (87).
  bool postThreadMessage(uint32_t message, uint32_t param);
  // TerminateProcess: ends the group at once (SIGKILL) with `code` as the
  // exit code. False (last error 5) when the child has already ended and
  // been seen to end. The end itself follows a moment later.
  bool terminate(uint32_t code);

 private:
  explicit Process(pid_t pid) : pid_(pid) {}
  // Looks for the child's end without waiting; true once it has ended.
  bool ended();
  // Sends a signal to the child's group (to the child when the group is
  // gone); false when neither exists.
  bool signalGroup(int sig);
  void recordStatus(int status);

  pid_t pid_;
  bool reaped_ = false;
  uint32_t exitCode_ = 0;
  uint32_t suspendCount_ = 0;
  // The exit codes for a SIGKILL or SIGTERM that this object sent.
  bool killSent_ = false;
  uint32_t killCode_ = 0;
  bool quitSent_ = false;
  uint32_t quitCode_ = 0;
};

}  // namespace platform
