// Stop signals, as the runtime library's signal() serves a Windows console
// program: SIGINT, SIGTERM and SIGABRT call a handler that only raises a
// stop flag. Installed with sigaction; the handler does nothing but one
// lock-free atomic store, which is safe inside a signal handler.
#pragma once

#include <atomic>

namespace platform {

// Makes SIGINT, SIGTERM and SIGABRT set `*flag` to true (the flag must live
// for the rest of the process). An abort() still ends the process after the
// handler returns, as it does on Windows. False when sigaction fails.
bool installStopSignals(std::atomic<bool>* flag);

// Makes SIGHUP (the terminal or session going away; on Windows the
// console's close event) set the flag of installStopSignals too, so a
// daemon ends in order instead of being killed. Call after
// installStopSignals. False when sigaction fails.
bool installHangUpStop();

// Ignores SIGPIPE for the whole process, so a write to a vanished peer is an
// error code and never ends the program.
bool ignoreBrokenPipe();

}  // namespace platform
