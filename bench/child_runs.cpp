#include "bench/child_runs.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "bench/scratch_dir.h"

namespace {

constexpr const char *summaryTag = "summary";
constexpr const char *proportionalField = "Pss:";
constexpr auto samplePeriod = std::chrono::milliseconds(10);

// The proportional set size of a process, in kB: its own pages, and its share of the
// pages it shares with others (libraries, pages not yet copied since a fork). 0 once
// it has ended.
unsigned long proportionalKb(const std::string &pid) {
  std::ifstream rollup("/proc/" + pid + "/smaps_rollup");
  std::string word;
  while (rollup >> word)
    if (word == proportionalField) {
      unsigned long kb = 0;
      rollup >> kb;
      return kb;
    }
  return 0;
}

// The memory of a workload process and of its children (the encoder processes) together.
unsigned long treeKb(pid_t pid) {
  std::string self = std::to_string(pid);
  unsigned long total = proportionalKb(self);
  std::error_code error;
  for (const auto &task : std::filesystem::directory_iterator("/proc/" + self + "/task", error)) {
    std::ifstream children(task.path() / "children");
    std::string child;
    while (children >> child) total += proportionalKb(child);
  }
  return total;
}

// Reads the workload process's output to its end, and samples its memory every
// samplePeriod meanwhile; returns the output, with the largest sample in peakKb.
std::string readAllSampling(int fd, pid_t pid, unsigned long &peakKb) {
  std::string text;
  char buffer[4096];
  auto nextSample = std::chrono::steady_clock::now();
  for (;;) {
    auto now = std::chrono::steady_clock::now();
    if (now >= nextSample) {
      peakKb = std::max(peakKb, treeKb(pid));
      nextSample = now + samplePeriod;
    }
    pollfd output{fd, POLLIN, 0};
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextSample - now).count();
    if (poll(&output, 1, int(wait) + 1) <= 0) continue;
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return text;
    text.append(buffer, size_t(got));
  }
}

RunSummary parseSummary(const std::string &output) {
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string tag;
    RunSummary summary{};
    if (words >> tag && tag == summaryTag && words >> summary.totalMs >> summary.pages)
      return summary;
  }
  throw std::runtime_error("a workload process reported no summary:\n" + output);
}

[[noreturn]] void execWorkload(int outputFd, const WorkloadRun &run) {
  dup2(outputFd, STDOUT_FILENO);
  close(outputFd);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string pageCount = std::to_string(run.pages), threads = std::to_string(run.threads);
  std::vector<const char *> words = {self.c_str(), "--workload", workloadInfo(run.workload).name,
                                     "--pages",    pageCount.c_str(), "--threads", threads.c_str()};
  if (run.output == WorkloadOutput::Pdf) words.push_back("--pdf");
  if (run.output == WorkloadOutput::Text) words.push_back("--text");
  std::string dpi = std::to_string(run.dpi);
  if (run.look == LookStyle::Ink) words.insert(words.end(), {"--ink", dpi.c_str()});
  if (run.paper != PaperStyle::None) words.insert(words.end(), {"--paper", paperWord(run.paper)});
  if (run.explain) words.push_back("--explain");
  if (run.endless) words.push_back("--endless");
  words.push_back(nullptr);
  execv(self.c_str(), const_cast<char *const *>(words.data()));
  _exit(127);
}

}  // namespace

const char *paperWord(PaperStyle paper) {
  switch (paper) {
    case PaperStyle::None:     return "none";
    case PaperStyle::Plain:    return "plain";
    case PaperStyle::GreenBar: return "greenbar";
    case PaperStyle::BlueBar:  return "bluebar";
  }
  return "none";
}

void reportWorkloadRun(const WorkloadRun &run) {
  std::string dir = enterScratchDir();
  RunOptions options = prepareWorkload(run.workload, run.pages, run.output, run.threads, run.explain);
  options.settings.look = run.look;
  options.settings.paper = run.paper;
  options.settings.inkDpi = run.dpi;
  options.settings.endless = run.endless;
  RunTimes times = timeWorkload(options);
  leaveScratchDir(dir);
  std::printf("%s %.4f %u\n", summaryTag, times.totalMs, times.pages);
}

RunSummary runWorkloadProcess(const WorkloadRun &run) {
  std::fflush(stdout);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("cannot make a pipe");
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("cannot start a workload process");
  if (child == 0) {
    close(pipeFds[0]);
    execWorkload(pipeFds[1], run);
  }
  close(pipeFds[1]);
  unsigned long peakKb = 0;
  std::string reported = readAllSampling(pipeFds[0], child, peakKb);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(std::string("workload process for ") + workloadInfo(run.workload).name + " failed");
  RunSummary summary = parseSummary(reported);
  summary.peakKb = peakKb;
  return summary;
}
