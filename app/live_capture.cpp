// Live capture: jobs printed as they come, from a file an emulator is writing, from a
// TCP port, or from standard input split where it pauses. Each job is a run of its own,
// from the printer's power-on state, and writes what a run over exactly its bytes
// would write, under names that carry its number.
#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <vector>

#include "app/run_options.h"
#include "base/file_access.h"
#include "base/stop_signal.h"
#include "interpreter/interpreter.h"
#include "interpreter/stream_listing.h"
#include "mechanism/print_head.h"
#include "output/page_output.h"
#include "stream/byte_source.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t readSize = 16384;         // bytes read at a time
constexpr int followPollMs = 100;          // a followed file at its end is looked at again this often
constexpr size_t mostWaiting = 16;         // connections that wait their turn; more are closed at once
constexpr unsigned jobNumberDigits = 3;    // job numbers have at least this many digits

// The jobs of the capture, one at a time.
struct Capture {
  RunOptions options;        // as given
  RunSettings settings;      // completed, without job numbers
  int idleMs = 0;            // milliseconds without a byte that end a job; 0 never
  unsigned nextNumber = 1;   // at least the number of the next job that prints
  int status = 0;            // 1 once a job could not be written
  int listener = -1;         // the listening socket; -1 without -listen
  std::deque<int> waiting;   // connections waiting their turn, oldest first
};

// The job in progress.
struct Job {
  bool begun = false;        // a byte came and the run began
  bool failed = false;       // it could not be written: its other bytes are dropped
  unsigned number = 0;       // its number, once begun
  RunSettings settings;      // the run's settings, names numbered
  Clock::time_point last;    // when its last byte came, or its turn began
};

// "-NNN" for job number.
std::string numberSuffix(unsigned number) {
  char text[16];
  std::snprintf(text, sizeof text, "-%03u", number);
  return text;
}

// A document's name with the job number before its extension: "x.pdf" gives "x-001.pdf".
std::string numberedName(const std::string &name, unsigned number) {
  fs::path path(name);
  std::string stem = path.stem().string(), extension = path.extension().string();
  if (stem.empty()) stem = extension, extension.clear();  // ".pdf" alone has no extension
  return (path.parent_path() / (stem + numberSuffix(number) + extension)).string();
}

// The number in file when it is head, a job number, then tail; 0 otherwise.
unsigned jobNumberIn(const std::string &file, const std::string &head, const std::string &tail) {
  if (file.size() < head.size() + jobNumberDigits + tail.size() || file.compare(0, head.size(), head) != 0 ||
      file.compare(file.size() - tail.size(), tail.size(), tail) != 0)
    return 0;
  std::string digits = file.substr(head.size(), file.size() - head.size() - tail.size());
  if (digits.size() > 9) return 0;
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  return unsigned(std::stoul(digits));
}

// The highest job number of files in the folder of name whose names are the job names
// of name: head, the number, and a tail that is the rest of the name or anything
// (pages) when tail is empty.
unsigned highestIn(const std::string &name, bool pages) {
  fs::path path(name);
  std::string folder = path.has_parent_path() ? path.parent_path().string() : std::string(".");
  std::string head, tail;
  if (pages) {
    head = path.filename().string() + "-";
  } else {
    std::string stem = path.stem().string(), extension = path.extension().string();
    if (stem.empty()) stem = extension, extension.clear();
    head = stem + "-";
    tail = extension;
  }
  unsigned highest = 0;
  DIR *dir = opendir(folder.c_str());
  if (dir == nullptr) return 0;
  while (struct dirent *entry = readdir(dir)) {
    std::string file = entry->d_name;
    if (pages) {  // "<prefix>-JJJ-NNN.png": the job number is up to the next hyphen
      size_t hyphen = file.find('-', head.size());
      if (hyphen == std::string::npos || file.size() < 4 || file.compare(file.size() - 4, 4, ".png") != 0) continue;
      file = file.substr(0, hyphen);
    }
    highest = std::max(highest, jobNumberIn(file, head, tail));
  }
  closedir(dir);
  return highest;
}

// The number the next job takes: past every job already on disk for these names.
unsigned nextJobNumber(const Capture &capture) {
  const RunSettings &settings = capture.settings;
  unsigned highest = 0;
  if (settings.pageFiles) highest = std::max(highest, highestIn(settings.outputPrefix, true));
  if (!settings.pdfName.empty()) highest = std::max(highest, highestIn(settings.pdfName, false));
  if (!settings.textName.empty()) highest = std::max(highest, highestIn(settings.textName, false));
  return std::max(capture.nextNumber, highest + 1);
}

// Reports a failure of the job in progress; the capture goes on.
void failJob(Capture &capture, Job &job) {
  std::exception_ptr failure = std::current_exception();
  abandonPrinting();
  try {
    std::rethrow_exception(failure);
  } catch (const RunStopped &) {
    throw;
  } catch (...) {
  }
  capture.status = std::max(capture.status, reportFailure(failure));
  job.failed = true;
}

// The bytes of the job in progress; the first ones begin it.
void feedJob(Capture &capture, Job &job, const uint8_t *bytes, size_t length) {
  job.last = Clock::now();
  if (job.failed) return;
  try {
    if (!job.begun) {
      job.begun = true;
      job.number = nextJobNumber(capture);
      job.settings = capture.settings;
      job.settings.outputPrefix += numberSuffix(job.number);
      if (!job.settings.pdfName.empty()) job.settings.pdfName = numberedName(job.settings.pdfName, job.number);
      if (!job.settings.textName.empty()) job.settings.textName = numberedName(job.settings.textName, job.number);
      if (!job.settings.explainName.empty() && job.settings.explainName != standardOutputName)
        job.settings.explainName = numberedName(job.settings.explainName, job.number);
      resetRun(job.settings);
      beginPrinting(job.settings, capture.options.inputName, 0);
      startStream();
    }
    interpretBytes(bytes, length);
  } catch (...) {
    failJob(capture, job);
  }
}

// Ends the job in progress: its last page, its documents and the strike store; a job
// that printed nothing leaves nothing and takes no number.
void endJob(Capture &capture, Job &job) {
  if (job.begun && !job.failed) {
    try {
      endStream();
      endPrinting(job.settings);
      if (page.pageCount > 0) {
        saveRibbon();
        capture.nextNumber = job.number + 1;
        std::printf("Job %u: %u page%s.\n", job.number, page.pageCount, page.pageCount == 1 ? "" : "s");
      }
    } catch (...) {
      failJob(capture, job);
    }
  }
  job = Job();
}

// Takes every connection that waits on the listener: into the queue while there is
// room, else closed at once, before a byte of it is read.
void takeConnections(Capture &capture) {
  if (capture.listener < 0) return;
  for (int connection; (connection = acceptConnection(capture.listener)) >= 0;) {
    if (capture.waiting.size() < mostWaiting)
      capture.waiting.push_back(connection);
    else
      close(connection);
  }
}

// Milliseconds until the job's idle time runs out; -1 for no limit.
int idleLeft(const Capture &capture, const Job &job, bool counting) {
  if (capture.idleMs == 0 || !counting) return -1;
  auto passed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - job.last).count();
  return int(std::max<long long>(0, capture.idleMs - passed));
}

// Reads the source into jobs until it ends, the idle time ends the job of a connection,
// or the first stop signal comes. A pipe's or a file's job ends at their idle time, and
// the next bytes begin the next job. For a connection (countFromTurn), the idle time
// counts from its turn.
void printSource(Capture &capture, int fd, FollowedFile *followed, bool countFromTurn) {
  std::vector<uint8_t> buffer(readSize);
  Job job;
  job.last = Clock::now();
  for (;;) {
    raiseIfStopped(1);
    // After a stop signal, what has arrived is read without waiting, and the job ends
    // as if idle.
    bool stopping = stopRequests() > 0;
    takeConnections(capture);
    try {
      if (job.begun && !job.failed) commitFinishedPages();
    } catch (...) {
      failJob(capture, job);
    }
    int wake[3] = {pageOutputWakeFd(), capture.listener, stopSignalFd()};
    int timeout = stopping ? 0 : idleLeft(capture, job, job.begun || countFromTurn);
    if (timeout == 0 && !stopping) {
      endJob(capture, job);
      if (countFromTurn) return;
      continue;
    }
    ReadResult got;
    if (followed != nullptr) {
      got = readFollowed(*followed, buffer.data(), buffer.size());
      if (got.status == ReadStatus::EndOfStream) {
        FileChange change = checkFollowed(*followed);
        if (change != FileChange::Same || stopping) break;
        waitForAny(wake, 3, timeout < 0 ? followPollMs : std::min(timeout, followPollMs));
        continue;
      }
    } else {
      got = readSome(fd, buffer.data(), buffer.size(), timeout, wake, 3);
    }
    if (got.status == ReadStatus::Bytes) feedJob(capture, job, buffer.data(), got.length);
    if (got.status == ReadStatus::EndOfStream || got.status == ReadStatus::Failed) break;
    if (stopping && got.status != ReadStatus::Bytes) break;  // all that had arrived is read
  }
  endJob(capture, job);
}

// Follows the named file: what it holds, then what is added; a file replaced or cut
// short starts again from its beginning, and one that is gone is waited for.
void followFile(Capture &capture) {
  FollowedFile file;
  file.name = capture.options.inputName;
  bool said = false;
  while (stopRequests() == 0) {
    if (!openFollowed(file)) {
      if (!said) std::printf("Waiting for %s to appear.\n", file.name.c_str());
      said = true;
      int stop = stopSignalFd();
      waitForAny(&stop, 1, followPollMs);
      continue;
    }
    said = false;
    printSource(capture, file.fd, &file, false);
    closeFollowed(file);
  }
  closeFollowed(file);
}

// Serves connections in the order they came, one job each.
void serveConnections(Capture &capture) {
  while (stopRequests() == 0) {
    takeConnections(capture);
    if (capture.waiting.empty()) {
      int wake[2] = {capture.listener, stopSignalFd()};
      waitForAny(wake, 2, -1);
      continue;
    }
    int connection = capture.waiting.front();
    capture.waiting.pop_front();
    printSource(capture, connection, nullptr, true);
    close(connection);
  }
}

// Refuses options that cannot go with a live run, or with one another.
void checkLiveOptions(const RunOptions &options) {
  if (options.testMode != 0) throw OptionError("tambrix: -test cannot be used in a live run");
  if (options.follow && options.inputName.empty())
    throw OptionError("tambrix: -follow needs the name of the input file to follow");
  if (options.follow && options.listen) throw OptionError("tambrix: -follow and -listen cannot be used together");
  if (options.listen && !options.inputName.empty())
    throw OptionError("tambrix: -listen reads its jobs from the port, not from `" + options.inputName + "'");
}

}  // namespace

bool isLiveRun(const RunOptions &options) { return options.follow || options.listen || options.idleSeconds > 0; }

int runLiveCapture(const RunOptions &options, FILE *standardInput) {
  checkLiveOptions(options);
  Capture capture;
  capture.options = options;
  capture.settings = completeSettings(options);
  double idle = options.idleSeconds >= 0 ? options.idleSeconds : (options.follow || options.listen ? liveIdleSeconds : 0);
  capture.idleMs = int(idle * 1000 + 0.5);
  if (idle > 0 && capture.idleMs == 0) capture.idleMs = 1;
  if (options.listen) {
    capture.listener = openListener(options.listenAddress, options.listenPort);
    if (capture.listener < 0)
      throw FileError("tambrix: cannot listen on " + options.listenAddress + ":" + std::to_string(options.listenPort) +
                      ": " + std::strerror(errno));
    std::printf("Listening on %s:%u.\n", options.listenAddress.c_str(), listenerPort(capture.listener));
  }
  try {
    if (options.follow)
      followFile(capture);
    else if (options.listen)
      serveConnections(capture);
    else
      printSource(capture, fileno(standardInput), nullptr, false);
  } catch (...) {
    abandonPrinting();
    for (int connection : capture.waiting) close(connection);
    if (capture.listener >= 0) close(capture.listener);
    throw;
  }
  for (int connection : capture.waiting) close(connection);
  if (capture.listener >= 0) close(capture.listener);
  return capture.status;
}
