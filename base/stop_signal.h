// Stopping a run from outside: SIGINT, SIGTERM and SIGHUP are noted here, and the run
// stops at the next point where it can leave nothing half done behind.
#pragma once

#include <stdexcept>
#include <string>

// A run stopped by a signal; what() names it.
struct RunStopped : std::runtime_error {
  RunStopped(int signal, const std::string &text) : std::runtime_error(text), signal(signal) {}
  int signal;  // the signal that stopped it
};

// Notes SIGINT, SIGTERM and SIGHUP instead of dying of them, and ignores SIGPIPE, so that
// a closed standard output costs only the messages. Interrupted system calls return
// EINTR, so that a read that waits for input sees the signal at once.
void installStopHandlers();

// Ignores the stop signals, for a child process that the run ends itself.
void ignoreStopSignals();

// A descriptor that becomes readable when a stop signal arrives, for waits to watch:
// the signal may be taken by any thread, and only this ends a wait of another; -1
// before installStopHandlers.
int stopSignalFd();

// How many stop signals arrived so far, and the last of them (0 for none).
unsigned stopRequests();
int lastStopSignal();

// Raises RunStopped when more stop signals arrived than tolerated.
void raiseIfStopped(unsigned tolerated = 0);

// Forgets the signals received, for a process that goes on after a stop.
void resetStopSignal();
