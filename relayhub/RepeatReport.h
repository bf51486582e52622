// Keeps a failure that repeats fast (an accept that fails for want of file
// descriptors, about a hundred times a second) from flooding the log: the
// first failure of a run is reported, then at most one report every
// interval, with the number of failures since the last report. Used by one
// thread at a time; the caller gives the time.
#pragma once

#include <cstdint>

namespace Vemora {

class RepeatReport {
 public:
  explicit RepeatReport(uint64_t intervalMs) : intervalMs_(intervalMs) {}

  // One failure at `nowMs` (a monotonic clock): true when it is to be
  // reported; `count` then holds the failures since the last report, this
  // one included (1 for the first of a run).
  bool failure(uint64_t nowMs, uint32_t& count);
  // A success ends the run: true when failures went unreported since the
  // last report (`count` of them); the next failure is reported at once.
  bool success(uint32_t& count);

 private:
  uint64_t intervalMs_;
  bool inRun_ = false;
  uint64_t lastReportMs_ = 0;
  uint32_t unreported_ = 0;
};

}  // namespace Vemora
