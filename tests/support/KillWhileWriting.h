// Crash tests of writers: a child process runs a write over and over and is
// killed with SIGKILL at a chosen moment; the test then checks what the
// killed writer left on disk.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace vemora_test {

// Forks a child that calls `write(i)` for i = 0, 1, ... until it is killed,
// waits until three writes are done, lets `delayUs` more microseconds pass,
// then kills and reaps the child. False when the child could not be started
// or reaped.
inline bool killWhileWriting(const std::function<void(int)>& write, unsigned delayUs) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::close(pipeFds[0]);
    for (int i = 0;; ++i) {
      write(i);
      if (i == 2) (void)!::write(pipeFds[1], "x", 1);  // writing is under way
    }
  }
  ::close(pipeFds[1]);
  char started = 0;
  const bool running = ::read(pipeFds[0], &started, 1) == 1;
  ::close(pipeFds[0]);
  if (running) ::usleep(static_cast<useconds_t>(delayUs));
  ::kill(child, SIGKILL);
  int status = 0;
  return ::waitpid(child, &status, 0) == child && running;
}

}  // namespace vemora_test
