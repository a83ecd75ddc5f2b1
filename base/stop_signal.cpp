#include "base/stop_signal.h"

#include <signal.h>

#include <cstring>
#include <string>

namespace {

constexpr int stopSignals[3] = {SIGINT, SIGTERM, SIGHUP};  // the signals that stop a run

volatile sig_atomic_t requests = 0;  // stop signals received
volatile sig_atomic_t lastSignal = 0;

void noteStop(int signal) {
  lastSignal = signal;
  requests = requests + 1;
}

}  // namespace

void installStopHandlers() {
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
