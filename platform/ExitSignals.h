// Stop signals that end a command-line tool at once: a tool that blocks on
// a pipe or FIFO never gets back to look at a stop flag, so SIGINT and
// SIGTERM must end it from the handler itself.
#pragma once

namespace platform {

// Makes SIGINT and SIGTERM end the process at once with `exitCode`
// (_exit: no destructors run and buffered standard output is dropped), also
// while the process is blocked in an open or read. SIGABRT is left alone.
// False when sigaction fails.
bool exitOnStopSignals(int exitCode);

}  // namespace platform
