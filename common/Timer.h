// The library's millisecond sleep. A thread that has been asked to quit
// (a close, destroy or quit message in its queue) is not held up: the sleep
// returns early, so the thread's loop sees the request at once.
#pragma once

namespace Vemora {

class Timer {
 public:
  Timer() = delete;
  // Suspends the calling thread for `milliseconds` (0 yields), or until a
  // quit message is in its queue. Thread-safe.
  static void sleep(unsigned int milliseconds);
};

}  // namespace Vemora
