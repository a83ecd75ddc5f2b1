#include "base/stop_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <cstring>
#include <string>

namespace {

constexpr int stopSignals[3] = {SIGINT, SIGTERM, SIGHUP};  // the signals that stop a run

volatile sig_atomic_t requests = 0;  // stop signals received
volatile sig_atomic_t lastSignal = 0;
int wakeEnds[2] = {-1, -1};          // a pipe the handler writes a byte to, so that a wait
                                     //   of the main thread ends whichever thread took it

void noteStop(int signal) {
  int saved = errno;
  lastSignal = signal;
  requests = requests + 1;
  char byte = 1;
  if (wakeEnds[1] >= 0 && write(wakeEnds[1], &byte, 1) < 0) {
    // the pipe is full: a wait wakes all the same
  }
  errno = saved;
}

}  // namespace

void installStopHandlers() {
  if (wakeEnds[0] < 0 && pipe2(wakeEnds, O_CLOEXEC | O_NONBLOCK) != 0) wakeEnds[0] = wakeEnds[1] = -1;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = noteStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read returns
  for (int signal : stopSignals) sigaction(signal, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

void ignoreStopSignals() {
  for (int signal : stopSignals) ::signal(signal, SIG_IGN);
}

int stopSignalFd() { return wakeEnds[0]; }

unsigned stopRequests() { return unsigned(requests); }

int lastStopSignal() { return int(lastSignal); }

void raiseIfStopped(unsigned tolerated) {
  if (unsigned(requests) <= tolerated) return;
  int signal = lastSignal;
  const char *name = strsignal(signal);
  throw RunStopped(signal, "tambrix: stopped by signal " + std::to_string(signal) + " (" +
                               std::string(name != nullptr ? name : "unknown") + ")");
}

void resetStopSignal() {
  requests = 0;
  lastSignal = 0;
}
