#include "base/stop_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr int stopSignals[3] = {SIGINT, SIGTERM, SIGHUP};  // the signals that stop a run

// The handler runs on whichever thread the kernel picks, so what it notes must be seen
// by the run's thread too: lock-free atomics, which a handler may also touch safely.
std::atomic<unsigned> requests{0};  // stop signals received
std::atomic<int> lastSignal{0};
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");
// A pipe the handler writes a byte to, so that a wait of the main thread ends whichever
// thread took the signal.
int wakeEnds[2] = {-1, -1};

void noteStop(int signal) {
  int saved = errno;
  lastSignal.store(signal);
  requests.fetch_add(1);
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

unsigned stopRequests() { return requests.load(); }

int lastStopSignal() { return lastSignal.load(); }

void raiseIfStopped(unsigned tolerated) {
  if (requests.load() <= tolerated) return;
  int signal = lastSignal.load();
  const char *name = strsignal(signal);
  throw RunStopped(signal, "tambrix: stopped by signal " + std::to_string(signal) + " (" +
                               std::string(name != nullptr ? name : "unknown") + ")");
}

void resetStopSignal() {
  requests.store(0);
  lastSignal.store(0);
}
