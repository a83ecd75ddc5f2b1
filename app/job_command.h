// The command run after each job (-then): given the job's files as its arguments, run
// without a shell, one at a time in job order on a thread of its own, so that the
// capture goes on while it runs.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/run_settings.h"

constexpr size_t mostCommandsWaiting = 16;  // commands queued and not started; more wait to be queued
constexpr int commandGraceSeconds = 5;      // a stopped run waits this long for a command it started

// One command to run: the job it follows (0 for a run that is not live) and its files.
struct JobCommand {
  unsigned jobNumber = 0;
  std::vector<std::string> files;
};

// The commands after jobs, run one at a time in order. Made by the run; its end
// finishes them as a stopped run does, when finishJobCommands was not called.
struct JobCommands {
  std::string command;             // as given, for messages
  std::vector<std::string> words;  // split at spaces; empty when none is ever run
  std::mutex lock;                 // guards what follows
  std::condition_variable changed; // a command queued, started or ended, or the end asked for
  std::deque<JobCommand> waiting;  // queued, not started, oldest first
  pid_t running = -1;              // the command started and not yet reaped; -1 none
  bool closing = false;            // nothing more comes: the thread ends once the queue is empty
  bool failed = false;             // a command failed, could not start or was killed
  bool runnerDone = false;         // the thread has ended
  std::thread runner;              // runs them

  JobCommands() = default;
  JobCommands(const JobCommands &) = delete;
  JobCommands &operator=(const JobCommands &) = delete;
  ~JobCommands();
};

// Takes the command, split into words at spaces, and starts the thread that runs it
// after each job. An empty command (or spaces alone) runs nothing, ever.
void startJobCommands(JobCommands &commands, const std::string &command);

// The files a job wrote, for its command: the PDF document alone when there is one,
// else the transcript alone, else its pages in order; nothing when it printed nothing.
std::vector<std::string> jobFiles(const RunSettings &settings, unsigned pageCount);

// Queues the command after job jobNumber with these files as its arguments. Nothing
// without a command or without files. With mostCommandsWaiting already waiting it
// waits until one starts, unless a stop signal comes, which drops this one.
void queueJobCommand(JobCommands &commands, unsigned jobNumber, std::vector<std::string> files);

// Waits for the commands and ends the thread. Without stopping every queued command
// runs; when stopping, or once a stop signal comes, those not started are dropped and
// the one running is given commandGraceSeconds, then SIGTERM (SIGKILL as long again
// later; a second stop signal ends the wait at once). True when every command that
// ran succeeded.
bool finishJobCommands(JobCommands &commands, bool stopping);
