#include "output/page_output.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <sys/eventfd.h>
#include <unistd.h>

#include "output/encoder_process.h"
#include "base/file_access.h"
#include "mechanism/page_canvas.h"
#include "output/page_document.h"
#include "output/page_image.h"
#include "output/page_look.h"
#include "output/png_file.h"
#include "output/transcript.h"

namespace {

// A page with an encoder, or done and waiting for its turn to commit.
struct Job {
  PageJob page;              // the page, its pixels kept until committed
  PageRaster shown;          // the page in the run's look; empty when it goes out as painted
  TemporaryFile temporary;   // the encoded page file, not yet in place
  std::exception_ptr error;  // what went wrong while encoding, if anything
  bool done = false;         // the encoder is through with it (guarded by lock)
};

// One entry of what is still to be said or done, in the order of a single-threaded run.
struct Pending {
  EngineEvent event;   // an event to report, when commit is null
  unsigned value;
  std::string name;
  Job *commit;         // a page to commit at this point, or null
};

std::mutex lock;                       // guards todo, stopping and every Job's done
std::condition_variable workToDo;      // a job was queued, or the encoders are to stop
std::condition_variable workDone;      // a job is done
std::deque<Job *> todo;                // jobs no encoder has taken yet
bool stopping = false;                 // the encoders are to finish
std::vector<std::thread> encoders;     // none when pages are encoded on the calling thread
int wakeEvent = -1;                    // an eventfd the encoders signal when a page is done;
                                       //   -1 without encoders

std::deque<std::unique_ptr<Job>> jobs;  // handed over and not committed, oldest first
std::deque<Pending> pending;            // what is still to be reported or committed
EngineEventHandler report;             // where events go
PageCanvas *pageMemory = nullptr;       // where the memory of committed pages goes back to; null: freed
std::string documentName;               // the PDF document pages go into; empty for none
bool toTranscript = false;              // pages go into the transcript
bool replaceFiles = true;               // a page file may replace one of its name
std::string tooLarge;                   // why pages in the run's look cannot be made; empty when they can

void tell(EngineEvent event, unsigned value, const std::string &name) {
  if (report.tell != nullptr) report.tell(report.context, event, value, name);
}

// The most pixels a page in a look of its own may have: 16384 x 16384, a 1200-dpi sheet
// 22 inches high. Rendering one takes about three bytes a pixel on its encoder thread.
constexpr uint64_t mostLookPixels = uint64_t(1) << 28;

// Why pages in the run's look cannot be made: more pixels than a page may have, or
// more across or down than a PDF page's image may have; empty when they fit.
std::string lookSizeProblem(const RunSettings &settings) {
  if (!pageLook.changesPages) return std::string();
  uint64_t width = pageLook.width, height = pageLook.height;
  std::string page = "tambrix: a page of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is ";
  std::string smaller = "; a lower -dpi or -height makes it smaller";
  if (width * height > mostLookPixels)
    return page + "larger than a page may be (" + std::to_string(mostLookPixels) + " pixels)" + smaller;
  if (!settings.pdfName.empty() && (width > largestDocumentImage || height > largestDocumentImage))
    return page + "larger than a PDF page's image may be (" + std::to_string(largestDocumentImage) +
           " pixels each way)" + smaller;
  return std::string();
}

// Encodes the job's page into a temporary file beside its name: on the encoder process
// of the slot when it has one, else on this thread.
// A page in the run's look is rendered first, and written by our own PNG writer.
void encode(Job &job, unsigned slot) {
  try {
    const std::string &name = job.page.pngName;
    if (pageLook.changesPages) {
      if (!tooLarge.empty()) throw FileError(tooLarge);
      job.shown = renderPageLook(job.page);
    }
    if (name.empty()) return;
    const PageRaster &raster = job.page.raster;
    std::string png;
    if (pageLook.changesPages) {
      png = encodeLookPng(job.shown);
      if (documentName.empty()) job.shown = PageRaster();  // nothing else needs it
    } else if (!encodeInProcess(slot, raster, png))
      png = encodeRasterPng(raster.width, raster.height, raster.kind, raster.bytes.data());
    // The bytes are written by name ourselves: the library would read characters such
    // as %, [ ] or a "name:" head of the file name as its own syntax.
    if (int error = writeTemporaryBeside(name, png.data(), png.size(), job.temporary); error != 0)
      throw writeError("page file", name, error);
  } catch (...) {
    job.error = std::current_exception();
  }
}

void encoderLoop(unsigned slot) {
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    workToDo.wait(guard, [] { return stopping || !todo.empty(); });
    if (todo.empty()) return;
    Job *job = todo.front();
    todo.pop_front();
    guard.unlock();
    encode(*job, slot);
    guard.lock();
    job->done = true;
    workDone.notify_all();
    uint64_t one = 1;
    if (write(wakeEvent, &one, sizeof one) < 0) {
      // the counter is full: the reader has been woken already
    }
  }
}

void stopEncoders() {
  {
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
  }
  workToDo.notify_all();
  for (std::thread &encoder : encoders) encoder.join();
  encoders.clear();
  if (wakeEvent >= 0) close(wakeEvent);
  wakeEvent = -1;
  stopEncoderProcesses();
  stopping = false;
  todo.clear();
}

void waitUntilDone(const Job &job) {
  std::unique_lock<std::mutex> guard(lock);
  workDone.wait(guard, [&job] { return job.done; });
}

bool isDone(const Job &job) {
  std::lock_guard<std::mutex> guard(lock);
  return job.done;
}

// Puts the oldest page in place; it is done. Raises what went wrong with it.
void commitOldest() {
  Job &job = *jobs.front();
  if (job.error) std::rethrow_exception(job.error);
  const PageJob &page = job.page;
  if (!page.pngName.empty()) {
    if (int error = commitTemporary(job.temporary, page.pngName, false, replaceFiles); error != 0)
      throw writeError("page file", page.pngName, error);
    tell(EngineEvent::PageWritten, page.number, page.pngName);
  }
  if (!documentName.empty()) {
    addDocumentPage(pageLook.changesPages ? job.shown : job.page.raster, page.cells);
    tell(EngineEvent::PageAdded, page.number, documentName);
  }
  if (toTranscript) addTranscriptPage(page.rows, page.cells);
  if (pageMemory != nullptr) recyclePage(*pageMemory, std::move(job.page.raster));
  jobs.pop_front();
}

// Reports and commits what is pending, in order: up to the first page whose encoding
// is not done, or everything when waiting.
void drain(bool wait) {
  while (!pending.empty()) {
    Pending &next = pending.front();
    if (next.commit != nullptr) {
      if (wait)
        waitUntilDone(*next.commit);
      else if (!isDone(*next.commit))
        return;
      try {
        commitOldest();
      } catch (...) {
        abandonPageOutput();
        throw;
      }
    } else {
      tell(next.event, next.value, next.name);
    }
    pending.pop_front();
  }
}

}  // namespace

void resetPageOutput() {
  abandonPageOutput();
  report = EngineEventHandler();
  pageMemory = nullptr;
  documentName.clear();
  toTranscript = false;
  replaceFiles = true;
}

// The encoder threads a run of these settings has: one per core unless given.
static unsigned encoderThreadsOf(const RunSettings &settings) {
  unsigned threads = settings.threads != 0 ? settings.threads : std::max(1u, std::thread::hardware_concurrency());
  return std::min(threads, maxEncoderThreads);
}

// Whether the run's pages are encoded by encoder processes.
static bool usesEncoderProcesses(const RunSettings &settings, unsigned threads) {
  bool ownLook = settings.look != LookStyle::Dots || settings.paper != PaperStyle::None;
  return threads > 1 && settings.pageFiles && !ownLook;
}

void keepPageEncoders(const RunSettings &settings) {
  unsigned threads = encoderThreadsOf(settings);
  if (usesEncoderProcesses(settings, threads)) keepEncoderProcesses(threads, pageWidth, settings.pageHeight);
}

void startPageOutput(const RunSettings &settings, EngineEventHandler handler, PageCanvas *memory) {
  abandonPageOutput();
  report = handler;
  pageMemory = memory;
  documentName = settings.pdfName;
  toTranscript = !settings.textName.empty();
  replaceFiles = settings.replaceFiles;
  startPageLook(settings);
  tooLarge = lookSizeProblem(settings);
  unsigned threads = encoderThreadsOf(settings);
  // Without page files there is nothing to encode, and in the run's own look only the
  // look to render: the document takes its pages as they come. Pages in a look of their
  // own are written by our PNG writer on the threads themselves. The processes are
  // forked before the encoder threads start; the threads a live capture runs beside
  // (its reader, its command runner) take no lock but their own, which the processes
  // never touch.
  if (threads > 1 && (settings.pageFiles || pageLook.changesPages)) {
    if (usesEncoderProcesses(settings, threads)) startEncoderProcesses(threads, pageWidth, settings.pageHeight);
    wakeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    for (unsigned slot = 0; slot < threads; ++slot) encoders.emplace_back(encoderLoop, slot);
  }
}

void reportInOrder(EngineEvent event, unsigned value, const std::string &name) {
  if (pending.empty()) {
    tell(event, value, name);
    return;
  }
  pending.push_back(Pending{event, value, name, nullptr});
}

void submitPage(PageJob &&page) {
  jobs.push_back(std::make_unique<Job>());
  Job *job = jobs.back().get();
  job->page = std::move(page);
  pending.push_back(Pending{EngineEvent::PageWritten, 0, std::string(), job});
  if (job->page.pngName.empty() && !pageLook.changesPages) {
    job->done = true;
  } else if (encoders.empty()) {
    encode(*job, 0);
    job->done = true;
  } else {
    {
      std::lock_guard<std::mutex> guard(lock);
      todo.push_back(job);
    }
    workToDo.notify_one();
  }
  drain(false);
  // No more pages wait than there are encoders, plus the one that waits for the first
  // free encoder: wait for the oldest page until so.
  while (!encoders.empty() && jobs.size() > encoders.size()) {
    waitUntilDone(*jobs.front());
    drain(false);
  }
}

int pageOutputWakeFd() { return wakeEvent; }

void commitFinishedPages() {
  uint64_t count;
  if (wakeEvent >= 0 && read(wakeEvent, &count, sizeof count) < 0) {
    // nothing was signalled since the last time
  }
  drain(false);
}

void finishPageOutput() {
  drain(true);
  stopEncoders();
}

void abandonPageOutput() {
  stopEncoders();
  for (const std::unique_ptr<Job> &job : jobs) discardTemporary(job->temporary);
  jobs.clear();
  pending.clear();
}
