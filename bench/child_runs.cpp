#include "bench/child_runs.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "bench/scratch_dir.h"

namespace {

constexpr const char *summaryTag = "summary";
constexpr const char *peakMemoryField = "VmHWM:";

// The peak resident memory of this process, from its own status file. (The
// children's figure from wait4 would also count the parent's pages the child
// held between fork and exec.)
unsigned long peakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word)
    if (word == peakMemoryField) {
      unsigned long kb = 0;
      status >> kb;
      return kb;
    }
  return 0;
}

std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(got));
  return text;
}

RunSummary parseSummary(const std::string &output) {
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string tag;
    RunSummary summary{};
    if (words >> tag && tag == summaryTag && words >> summary.totalMs >> summary.pages >> summary.peakKb)
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
  if (run.output == Output::Pdf) words.push_back("--pdf");
  words.push_back(nullptr);
  execv(self.c_str(), const_cast<char *const *>(words.data()));
  _exit(127);
}

}  // namespace

void reportWorkloadRun(const WorkloadRun &run) {
  std::string dir = enterScratchDir();
  RunTimes times = timeWorkload(prepareWorkload(run.workload, run.pages, run.output, run.threads));
  leaveScratchDir(dir);
  std::printf("%s %.4f %u %lu\n", summaryTag, times.totalMs, times.pages, peakResidentKb());
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
  std::string reported = readAll(pipeFds[0]);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(std::string("workload process for ") + workloadInfo(run.workload).name + " failed");
  return parseSummary(reported);
}
