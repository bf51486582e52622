// Clocks and sleeping. The tick source, the seconds of the wall clock and
// the sleeper can be replaced in tests, so that wrap-around, long retry
// loops and time limits of whole seconds run as the test steps them.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// GetTickCount: the low 32 bits of a monotonic millisecond clock.
uint32_t tickCount();
// Monotonic milliseconds, 64 bits (never replaced by tests).
uint64_t monotonicMs();
// Sleep: waits `ms` milliseconds; an interrupted sleep resumes. Goes through
// the test sleeper when one is set; 0 yields the processor.
void sleepMs(uint32_t ms);
// The real sleep, never replaced (for waits of the layer itself).
void realSleepMs(uint32_t ms);
// True while a test sleeper is set.
bool sleeperReplaced();

// Seconds since 1970-01-01T00:00:00 UTC (_time64). Goes through the test
// source when one is set.
int64_t unixTime();
// Milliseconds since 1970-01-01T00:00:00 UTC (GetSystemTime).
int64_t unixTimeMs();

// Test hooks: an empty function restores the real clock or sleep. Safe to
// call while other threads tick or sleep.
void setTickSource(std::function<uint32_t()> source);
void setUnixTimeSource(std::function<int64_t()> source);
void setSleeper(std::function<void(uint32_t)> sleeper);

}  // namespace platform
