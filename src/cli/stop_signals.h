#pragma once
// SIGINT and SIGTERM noted instead of ending the process at once, so that
// what is being written can be put away or finished first. Portable: the
// standard C++ signal facility only.

// Installs the handlers. Until then the signals keep their default course.
void WatchStopSignals();

// The signal caught since WatchStopSignals(), or 0.
int PendingStopSignal();

// The conventional exit status of a process ended by `signal`: 128 plus
// its number (130 for SIGINT, 143 for SIGTERM).
int StopSignalExitStatus(int signal);
