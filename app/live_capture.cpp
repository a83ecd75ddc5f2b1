// Live capture: jobs printed as they come, from a file an emulator is writing, from a
// TCP port, or from standard input split where it pauses. A reader thread takes the
// bytes as they arrive and says where each job ends; this thread prints the jobs. Each
// job is a run of its own, from the printer's power-on state, and writes what a run
// over exactly its bytes would write, under names that carry its number.
#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/job_command.h"
#include "app/live_reader.h"
#include "app/run_options.h"
#include "base/file_access.h"
#include "base/stop_signal.h"
#include "interpreter/interpreter.h"
#include "interpreter/printer.h"
#include "interpreter/stream_listing.h"
#include "mechanism/print_head.h"
#include "output/encoder_process.h"
#include "output/page_output.h"
#include "stream/byte_source.h"
#include "stream/serial_line.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned jobNumberDigits = 3;  // job numbers have at least this many digits
constexpr int stoppingWaitMs = 100;      // after a stop signal, how often a second one is looked for
constexpr int idleWaitMs = 1000;         // the longest wait for the reader before looking again
constexpr size_t stopCheckBytes = 256;   // bytes printed between two looks for a second stop signal

// The jobs of the capture, one at a time.
struct Capture {
  RunOptions options;        // as given
  RunSettings settings;      // completed, without job numbers
  unsigned nextNumber = 1;   // at least the number of the next job that prints
  int status = 0;            // 1 once a job could not be written
  JobCommands *commands;     // the command after each job
};

// The job in progress.
struct Job {
  bool begun = false;          // a byte came and the run began
  bool failed = false;         // it could not be written: its other bytes are dropped
  unsigned number = 0;         // its number, once begun
  RunSettings settings;        // the run's settings, names numbered
  std::vector<int> claims;     // its number's claims, held until its files are in place
  std::unique_ptr<Printer> printer;  // the printer, from the power-on state; made with the job
  std::unique_ptr<Output> output;    // where its pages go, fresh; made with the job
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

// Whether any name of the capture is the listing's, written to a file.
bool listsToFile(const RunSettings &settings) {
  return !settings.explainName.empty() && settings.explainName != standardOutputName;
}

// The highest job number on disk under the capture's names, listings included.
unsigned highestOnDisk(const RunSettings &settings) {
  unsigned highest = 0;
  if (settings.pageFiles) highest = std::max(highest, highestIn(settings.outputPrefix, true));
  if (!settings.pdfName.empty()) highest = std::max(highest, highestIn(settings.pdfName, false));
  if (!settings.textName.empty()) highest = std::max(highest, highestIn(settings.textName, false));
  if (listsToFile(settings)) highest = std::max(highest, highestIn(settings.explainName, false));
  return highest;
}

// The settings of job number: every name numbered.
RunSettings jobSettings(const RunSettings &capture, unsigned number) {
  RunSettings settings = capture;
  settings.outputPrefix += numberSuffix(number);
  if (!settings.pdfName.empty()) settings.pdfName = numberedName(settings.pdfName, number);
  if (!settings.textName.empty()) settings.textName = numberedName(settings.textName, number);
  if (listsToFile(settings)) settings.explainName = numberedName(settings.explainName, number);
  settings.listingWhenEmpty = false;  // an empty job leaves nothing, and takes no number
  settings.replaceFiles = false;      // nor does any job's file replace one already there
  return settings;
}

// A name with the number's place marked, in the folder it resolves to: the same for
// two captures whose jobs of one number would write the same files.
std::string claimKey(const std::string &name, bool pages) {
  fs::path path(name);
  FileIdentity folder = identify(path.has_parent_path() ? path.parent_path().string() : std::string("."));
  std::string pattern = pages ? path.filename().string() + "-#-" : numberedName(path.filename().string(), 0);
  uint64_t hash = 14695981039346656037ull;  // FNV-1a of the folder's identity and the pattern
  std::string whole = std::to_string(folder.device) + ":" + std::to_string(folder.inode) + ":" + folder.path + "/" + pattern;
  for (unsigned char c : whole) hash = (hash ^ c) * 1099511628211ull;
  char key[64];
  std::snprintf(key, sizeof key, "tambrix job %016llx", (unsigned long long)hash);
  return key;
}

// Claims number for the key: a socket bound to a name of the abstract namespace, which
// no other process can bind while this one holds it, and which the system frees when
// this process ends, leaving nothing on disk. Returns it, or -1 when it is taken.
int claimNumber(const std::string &key, unsigned number) {
  std::string name = key + " " + std::to_string(number);
  sockaddr_un where{};
  where.sun_family = AF_UNIX;
  size_t length = std::min(name.size(), sizeof where.sun_path - 1);
  std::memcpy(where.sun_path + 1, name.data(), length);  // sun_path[0] stays 0: abstract
  int claim = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (claim >= 0 && bind(claim, reinterpret_cast<sockaddr *>(&where), socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length)) == 0)
    return claim;
  if (claim >= 0) close(claim);
  return -1;
}

void releaseClaims(Job &job) {
  for (int claim : job.claims) close(claim);
  job.claims.clear();
}

// Takes the number of a job that begins: the lowest from the capture's next one on
// that no file on disk has and no other capture in these folders holds. A number is
// claimed before the folder is looked at, and a claim is let go only once its job's
// files are in place, so two captures never take one number.
void takeJobNumber(Capture &capture, Job &job) {
  const RunSettings &settings = capture.settings;
  std::vector<std::string> keys;
  if (settings.pageFiles) keys.push_back(claimKey(settings.outputPrefix, true));
  if (!settings.pdfName.empty()) keys.push_back(claimKey(settings.pdfName, false));
  if (!settings.textName.empty()) keys.push_back(claimKey(settings.textName, false));
  if (listsToFile(settings)) keys.push_back(claimKey(settings.explainName, false));
  for (unsigned number = capture.nextNumber;;) {
    bool claimed = true;
    for (const std::string &key : keys) {
      int claim = claimNumber(key, number);
      if (claim < 0) claimed = false;
      else job.claims.push_back(claim);
    }
    unsigned highest = claimed ? highestOnDisk(settings) : 0;
    if (claimed && highest < number) {
      job.number = number;
      return;
    }
    releaseClaims(job);
    number = std::max(number + 1, highest + 1);
  }
}

// Reports a failure of the job in progress; the capture goes on.
void failJob(Capture &capture, Job &job) {
  std::exception_ptr failure = std::current_exception();
  if (job.printer != nullptr) abandonPrinting(*job.printer, *job.output);
  releaseClaims(job);
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
  if (job.failed) return;
  try {
    if (!job.begun) {
      job.begun = true;
      takeJobNumber(capture, job);
      job.settings = jobSettings(capture.settings, job.number);
      job.output = std::make_unique<Output>();  // first: a job with a printer has its output
      job.printer = std::make_unique<Printer>();
      beginPrinting(*job.printer, *job.output, job.settings, capture.options.inputName, 0);
      startStream(*job.printer);
    }
    // In pieces, so that a second stop signal stops a job of many pages at once.
    for (size_t done = 0; done < length; done += std::min(length - done, stopCheckBytes)) {
      raiseIfStopped(1);
      interpretBytes(*job.printer, bytes + done, std::min(length - done, stopCheckBytes));
    }
  } catch (...) {
    failJob(capture, job);
  }
}

// Ends the job in progress: its last page, its documents and the strike store; a job
// that printed nothing leaves nothing and takes no number.
void endJob(Capture &capture, Job &job) {
  if (job.begun && !job.failed) {
    try {
      Printer &p = *job.printer;
      endStream(p);
      endPrinting(p, *job.output, job.settings);
      if (unsigned pages = p.mechanism.page.pageCount; pages > 0) {
        saveRibbon(p);
        capture.nextNumber = job.number + 1;
        if (job.settings.endless)  // one sheet, however many forms it ran over
          std::printf("Job %u: one sheet of %u form%s.\n", job.number, pages, pages == 1 ? "" : "s");
        else
          std::printf("Job %u: %u page%s.\n", job.number, pages, pages == 1 ? "" : "s");
        queueJobCommand(*capture.commands, job.number, jobFiles(job.settings, pages));
      }
    } catch (...) {
      failJob(capture, job);
    }
  }
  releaseClaims(job);
  job = Job();
}

// The loop of printJobs, job by job.
void printItems(Capture &capture, LiveReader &reader, Job &job) {
  for (;;) {
    raiseIfStopped(1);
    try {
      if (job.begun && !job.failed) commitFinishedPages(*job.output);
    } catch (...) {
      failJob(capture, job);
    }
    LiveItem item;
    if (!takeLiveItem(reader, item)) {
      bool stopping = stopRequests() > 0;  // then the signal's descriptor stays readable
      int pagesDone = job.output != nullptr ? pageOutputWakeFd(*job.output) : -1;
      int wake[3] = {liveReaderFd(reader), pagesDone, stopping ? -1 : stopSignalFd()};
      // Bounded even while idle: a wait without end would also leave a signal whose
      // handler a sanitizer holds back until the thread next calls into the library.
      waitForAny(wake, 3, stopping ? stoppingWaitMs : idleWaitMs);
      continue;
    }
    switch (item.kind) {
      case LiveItemKind::Bytes:
        feedJob(capture, job, item.bytes.data(), item.bytes.size());
        break;
      case LiveItemKind::JobEnd:
        endJob(capture, job);
        break;
      case LiveItemKind::Notice:
        std::printf("%s\n", item.text.c_str());
        break;
      case LiveItemKind::SourceEnd:
        endJob(capture, job);
        return;
    }
  }
}

// Prints the jobs the reader hands over, until its source ends. A stop signal ends the
// reading; what had arrived before it is still printed, and a second one stops at once.
void printJobs(Capture &capture, LiveReader &reader) {
  Job job;
  try {
    printItems(capture, reader, job);
  } catch (...) {
    if (job.printer != nullptr) abandonPrinting(*job.printer, *job.output);
    releaseClaims(job);
    throw;
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


// Refuses names that clash for the first job already, before anything is read: they
// would fail every job alike.
void checkJobNames(const Capture &capture) {
  unsigned first = std::max(capture.nextNumber, highestOnDisk(capture.settings) + 1);
  checkOutputFiles(jobSettings(capture.settings, first), capture.options.inputName, "");
}

// The idle time in force, in milliseconds; at least 1 when any is given.
int idleMilliseconds(const RunOptions &options) {
  double idle = idleSecondsOf(options);
  int milliseconds = int(idle * 1000 + 0.5);
  return idle > 0 && milliseconds == 0 ? 1 : milliseconds;
}

}  // namespace

bool isLiveRun(const RunOptions &options) {
  return options.follow || options.listen || options.serialLine || options.idleSeconds > 0;
}

namespace {

// Opens the source of the capture's bytes; what it opened is closed by closeSource.
LiveSource openSource(const RunOptions &options, FILE *standardInput, SerialLine &line) {
  LiveSource source;
  source.idleMs = idleMilliseconds(options);
  source.fd = fileno(standardInput);
  if (options.follow) {
    source.kind = LiveSourceKind::Followed;
    source.name = options.inputName;
  } else if (options.listen) {
    source.kind = LiveSourceKind::Listener;
    source.fd = openListener(options.listenAddress, options.listenPort);
    if (source.fd < 0)
      throw FileError("tambrix: cannot listen on " + options.listenAddress + ":" + std::to_string(options.listenPort) +
                      ": " + std::strerror(errno));
    std::printf("Listening on %s:%u.\n", options.listenAddress.c_str(), listenerPort(source.fd));
  } else if (options.serialLine) {
    if (int error = openSerialLine(options.inputName, options.baud, line); error != 0)
      throw FileError("tambrix: cannot open input file `" + options.inputName + "': " + std::strerror(error));
    std::printf("Reading the serial line %s.\n", options.inputName.c_str());
    source.fd = line.fd;
  }
  return source;
}

void closeSource(const RunOptions &options, LiveSource &source, SerialLine &line) {
  if (options.listen && source.fd >= 0) close(source.fd);
  closeSerialLine(line);  // its settings put back
  source.fd = -1;
}

}  // namespace

int runLiveCapture(const RunOptions &options, FILE *standardInput) {
  checkLiveOptions(options);
  JobCommands commands;
  Capture capture;
  capture.options = options;
  capture.settings = completeSettings(options);
  capture.commands = &commands;
  checkJobNames(capture);
  SerialLine line;
  LiveSource source = openSource(options, standardInput, line);
  // The encoder processes are forked now, once, before the threads of the capture.
  keepPageEncoders(capture.settings);
  startJobCommands(commands, options.thenCommand);
  LiveReader reader;
  int error = startLiveReader(reader, source);
  try {
    if (error != 0) throw FileError(std::string("tambrix: cannot start reading the input: ") + std::strerror(error));
    printJobs(capture, reader);
  } catch (...) {
    stopLiveReader(reader);
    closeSource(options, source, line);
    endEncoderProcesses();
    throw;  // the commands are finished as a stopped run's when they go
  }
  stopLiveReader(reader);
  closeSource(options, source, line);
  endEncoderProcesses();
  if (!finishJobCommands(commands, stopRequests() > 0)) capture.status = 1;
  return capture.status;
}
