// An event one thread sets to end another thread's wait for socket
// readiness (socketPoll) early: the stand-in of a WSA event that is waited
// for together with the sockets. Setting it is cheap and may be done from
// any thread, any number of times; the waiting thread clears it.
#pragma once

namespace platform {

class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Sets the event: a socketPoll that waits on it returns at once.
  void set();
  // Clears the event (the waiting thread, after it woke).
  void clear();
  // The descriptor that socketPoll waits on; -1 when none could be made
  // (the event then never wakes anyone and waits run their full time).
  int descriptor() const { return fd_; }

 private:
  int fd_;
};

}  // namespace platform
