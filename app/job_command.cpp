#include "app/job_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/stop_signal.h"
#include "mechanism/print_head.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto waitSlice = std::chrono::milliseconds(100);  // a wait looks at the stop signals this often

// "the command after job 3, `lp'", or "after the run" for a run that is not live.
std::string whichCommand(const JobCommands &commands, unsigned jobNumber) {
  std::string after = jobNumber == 0 ? "the run" : "job " + std::to_string(jobNumber);
  return "tambrix: the command after " + after + ", `" + commands.command + "',";
}

void reportCommand(const std::string &text) {
  std::fflush(stdout);  // what was said before comes first
  std::fprintf(stderr, "Error: %s\n", text.c_str());
}

// Starts the command with the files as its last arguments: in a process group of its
// own, so that a Ctrl-C at the terminal is the run's to handle, with standard input
// from /dev/null, the signals as a fresh process has them, and none of our descriptors
// but standard output and error. Returns 0 or the errno value of the failure.
int spawnCommand(const JobCommands &commands, const std::vector<std::string> &files, pid_t &pid) {
  std::vector<char *> argv;
  for (const std::string &word : commands.words) argv.push_back(const_cast<char *>(word.c_str()));
  for (const std::string &file : files) argv.push_back(const_cast<char *>(file.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error;
}

// Runs the command after one job to its end, with commands.lock held on entry and on
// return; false when it could not start, failed or was killed.
bool runCommand(JobCommands &commands, const JobCommand &job, std::unique_lock<std::mutex> &held) {
  pid_t pid = -1;
  int error = spawnCommand(commands, job.files, pid);
  if (error != 0) {
    held.unlock();
    reportCommand(whichCommand(commands, job.jobNumber) + " could not be started: " + std::strerror(error));
    held.lock();
    return false;
  }
  commands.running = pid;
  held.unlock();
  // Waited for without reaping it, so that a kill while commands.running names it
  // cannot reach another process that took its number.
  siginfo_t info;
  while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  held.lock();
  commands.running = -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::string text = whichCommand(commands, job.jobNumber);
  if (WIFSIGNALED(status)) {
    int signal = WTERMSIG(status);
    const char *name = strsignal(signal);
    text += " was ended by signal " + std::to_string(signal) + " (" + (name != nullptr ? name : "unknown") + ")";
  } else {
    text += " failed with status " + std::to_string(WEXITSTATUS(status));
  }
  held.unlock();
  reportCommand(text);
  held.lock();
  return false;
}

// The thread: runs the queued commands in order until the queue is closed and empty.
// A command leaves the queue only as it starts, so that a stop drops exactly those
// not started.
void runCommands(JobCommands &commands) {
  // The stop signals are the main thread's to take.
  sigset_t stops;
  sigemptyset(&stops);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  std::unique_lock<std::mutex> held(commands.lock);
  for (;;) {
    commands.changed.wait(held, [&] { return !commands.waiting.empty() || commands.closing; });
    if (commands.waiting.empty()) break;
    JobCommand job = std::move(commands.waiting.front());
    commands.waiting.pop_front();
    commands.changed.notify_all();  // room for one more
    if (!runCommand(commands, job, held)) commands.failed = true;
    commands.changed.notify_all();
  }
  commands.runnerDone = true;
  commands.changed.notify_all();
}

}  // namespace

JobCommands::~JobCommands() { finishJobCommands(*this, true); }

void startJobCommands(JobCommands &commands, const std::string &command) {
  commands.command = command;
  commands.words.clear();
  size_t start = 0;
  while (start < command.size()) {
    size_t end = command.find(' ', start);
    if (end == std::string::npos) end = command.size();
    if (end > start) commands.words.push_back(command.substr(start, end - start));
    start = end + 1;
  }
  if (!commands.words.empty()) commands.runner = std::thread(runCommands, std::ref(commands));
}

std::vector<std::string> jobFiles(const RunSettings &settings, unsigned pageCount) {
  if (pageCount == 0) return {};
  if (!settings.pdfName.empty()) return {settings.pdfName};
  if (!settings.textName.empty()) return {settings.textName};
  std::vector<std::string> files;
  unsigned sheets = settings.endless ? 1 : pageCount;  // endless paper: the job's one sheet
  if (settings.pageFiles)
    for (unsigned number = 1; number <= sheets; ++number) files.push_back(pageFileName(settings.outputPrefix, number));
  return files;
}

void queueJobCommand(JobCommands &commands, unsigned jobNumber, std::vector<std::string> files) {
  if (!commands.runner.joinable() || files.empty()) return;
  std::unique_lock<std::mutex> held(commands.lock);
  while (commands.waiting.size() >= mostCommandsWaiting) {
    if (stopRequests() > 0) return;  // a stopped run drops what has not started
    commands.changed.wait_for(held, waitSlice);
  }
  commands.waiting.push_back(JobCommand{jobNumber, std::move(files)});
  commands.changed.notify_all();
}

bool finishJobCommands(JobCommands &commands, bool stopping) {
  if (!commands.runner.joinable()) return !commands.failed;
  std::unique_lock<std::mutex> held(commands.lock);
  commands.closing = true;
  commands.changed.notify_all();
  unsigned stops = stopRequests();
  stopping = stopping || stops > 0;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(commandGraceSeconds);  // kill then
  int signalsSent = 0;  // SIGTERM, then SIGKILL
  while (!commands.runnerDone) {
    if (stopRequests() > stops) {  // a stop while waiting: drop the rest, or, stopping already, kill now
      if (stopping) deadline = Clock::now();
      if (!stopping) deadline = Clock::now() + std::chrono::seconds(commandGraceSeconds);
      stopping = true;
      stops = stopRequests();
    }
    if (stopping) {
      commands.waiting.clear();
      if (Clock::now() >= deadline && commands.running > 0 && signalsSent < 2) {
        int signal = signalsSent == 0 ? SIGTERM : SIGKILL;
        kill(-commands.running, signal);  // its group: what it started goes too
        kill(commands.running, signal);
        ++signalsSent;
        deadline = Clock::now() + std::chrono::seconds(commandGraceSeconds);
      }
    }
    commands.changed.wait_for(held, waitSlice);
  }
  held.unlock();
  commands.runner.join();
  return !commands.failed;
}
