// Ctrl+C and Ctrl+Break in querna-find.exe. The system calls the handler on a
// thread of its own; the handler only raises a flag, and the search's message
// pump (ConsoleWindow) turns it into the stop request the Stop button makes, on
// the search's own thread.
#pragma once

#include <atomic>

namespace querna::cli {

// Registers the handler with the system; from then on Ctrl+C and Ctrl+Break
// no longer end the process but raise the flag. Closing the console, logging
// off and shutting down keep their default handling.
void InstallInterruptHandler();

// Raised by Ctrl+C or Ctrl+Break (or by RequestInterrupt); never lowered.
const std::atomic<bool>& InterruptFlag();

// What the handler does for Ctrl+C: raise the flag.
void RequestInterrupt();

}  // namespace querna::cli
