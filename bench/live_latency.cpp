#include "bench/live_latency.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "bench/scratch_dir.h"
#include "bench/workloads.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double idleSeconds = 0.5;     // the live run's idle time
constexpr unsigned jobCount = 5;        // jobs timed; the median is shown
constexpr unsigned pagesPerJob = 3;     // full pages of dense text in each job
constexpr int pollMicroseconds = 1000;  // how often the document's name is looked for
constexpr double msPerSecond = 1000.0;
constexpr double waitLimitSeconds = 60;  // a job whose PDF takes longer is a failure

std::string jobPdf(unsigned number) {
  char name[32];
  std::snprintf(name, sizeof name, "live-%03u.pdf", number);
  return name;
}

bool exists(const std::string &name) {
  struct stat info;
  return stat(name.c_str(), &info) == 0;
}

// The live run, in a child reading the pipe's other end as its standard input.
pid_t startLiveRun(int input, int writer, const RunOptions &options) {
  std::fflush(nullptr);
  pid_t child = fork();
  if (child != 0) return child;
  close(writer);  // or the run would never see its input end
  dup2(input, 0);
  close(input);
  if (!freopen("/dev/null", "w", stdout)) _exit(1);
  _exit(runReportingErrors([&options] { return runLiveCapture(options, stdin); }));
}

// Writes all bytes to fd.
void writeAll(int fd, const std::string &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("the live run stopped reading");
    done += size_t(n);
  }
}

}  // namespace

void printLiveLatencyTable() {
  std::string dir = enterScratchDir();
  RunOptions options = prepareWorkload(Workload::DenseText, pagesPerJob, WorkloadOutput::Pdf, 0, false);
  std::ifstream file(options.inputName, std::ios::binary);
  std::string stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  options.inputName.clear();
  options.settings.pdfName = "live.pdf";
  options.idleSeconds = idleSeconds;
  int ends[2];
  if (pipe(ends) != 0) throw std::runtime_error("no pipe");
  pid_t child = startLiveRun(ends[0], ends[1], options);
  close(ends[0]);
  std::vector<double> latencies;
  for (unsigned job = 1; job <= jobCount; ++job) {
    writeAll(ends[1], stream);
    Clock::time_point idleEnds = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                    std::chrono::duration<double>(idleSeconds));
    while (!exists(jobPdf(job))) {
      if (Clock::now() - idleEnds > std::chrono::duration<double>(waitLimitSeconds))
        throw std::runtime_error("job " + std::to_string(job) + " never came out");
      usleep(pollMicroseconds);
    }
    latencies.push_back(std::chrono::duration<double>(Clock::now() - idleEnds).count() * msPerSecond);
  }
  close(ends[1]);
  waitpid(child, nullptr, 0);
  leaveScratchDir(dir);
  std::sort(latencies.begin(), latencies.end());
  std::printf("\n## Live capture: a job's PDF in place after its idle time (%.1f s) has run out\n\n", idleSeconds);
  std::printf("%u jobs of %u pages of dense text piped with -idle: median %.0f ms, least %.0f ms, most %.0f ms\n",
              jobCount, pagesPerJob, latencies[latencies.size() / 2], latencies.front(), latencies.back());
}
