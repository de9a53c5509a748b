#include "cli/stop_signals.h"

#include <csignal>

namespace {

// A signal handler can reach nothing but a flag of this type: the one
// global of its own the program keeps besides its session state.
volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void NoteStopSignal(int signal) { caughtSignal = signal; }

} // namespace

void WatchStopSignals() {
    std::signal(SIGINT, NoteStopSignal);
    std::signal(SIGTERM, NoteStopSignal);
}

int PendingStopSignal() { return caughtSignal; }

int StopSignalExitStatus(int signal) { return 128 + signal; }
