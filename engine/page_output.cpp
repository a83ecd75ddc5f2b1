#include "engine/page_output.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "engine/file_access.h"
#include "engine/page_image.h"
#include "engine/transcript.h"

namespace {

// A page with an encoder, or done and waiting for its turn to commit.
struct Job {
  PageJob page;
  unsigned image = 0;        // its page image, until committed
  std::string temporary;     // the encoded page file, not yet in place; empty when none
  PageRaster raster;         // its pixels for the PDF document
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

std::deque<std::unique_ptr<Job>> jobs;  // handed over and not committed, oldest first
std::deque<Pending> pending;            // what is still to be reported or committed
EngineEventHandler report = nullptr;    // where events go
std::string documentName;               // the PDF document pages go into; empty for none
bool toTranscript = false;              // pages go into the transcript

// Encodes the job's page, its raster first as the encoder may change the image, then
// clears the image for the page after.
void encode(Job &job) {
  try {
    if (!documentName.empty()) job.raster = pageRaster(job.image);
    if (!job.page.pngName.empty()) job.temporary = encodePageFile(job.image, job.page.pngName);
    clearHandedOverPage(job.image);
  } catch (...) {
    job.error = std::current_exception();
  }
}

void encoderLoop() {
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    workToDo.wait(guard, [] { return stopping || !todo.empty(); });
    if (todo.empty()) return;
    Job *job = todo.front();
    todo.pop_front();
    guard.unlock();
    encode(*job);
    guard.lock();
    job->done = true;
    workDone.notify_all();
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
    int error = commitTemporary(job.temporary, page.pngName);
    job.temporary.clear();
    if (error != 0)
      throw FileError("tambrix: unable to write page file `" + page.pngName + "': " + std::strerror(error));
    if (report != nullptr) report(EngineEvent::PageWritten, page.number, page.pngName);
  }
  if (!documentName.empty()) {
    addDocumentPage(job.raster, page.cells);
    if (report != nullptr) report(EngineEvent::PageAdded, page.number, documentName);
  }
  if (toTranscript) addTranscriptPage(page.rows, page.cells);
  releasePage(job.image);
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
    } else if (report != nullptr) {
      report(next.event, next.value, next.name);
    }
    pending.pop_front();
  }
}

}  // namespace

void startPageOutput(const RunSettings &settings, EngineEventHandler handler) {
  abandonPageOutput();
  report = handler;
  documentName = settings.pdfName;
  toTranscript = !settings.textName.empty();
  unsigned threads = settings.threads != 0 ? settings.threads : std::max(1u, std::thread::hardware_concurrency());
  threads = std::min(threads, maxEncoderThreads);
  makePageImages(pageWidth, settings.pageHeight, threads > 1 ? threads + 1 : 1);
  if (threads > 1)
    for (unsigned i = 0; i < threads; ++i) encoders.emplace_back(encoderLoop);
}

void reportInOrder(EngineEvent event, unsigned value, const std::string &name) {
  if (pending.empty()) {
    if (report != nullptr) report(event, value, name);
    return;
  }
  pending.push_back(Pending{event, value, name, nullptr});
}

void submitPage(PageJob page) {
  jobs.push_back(std::make_unique<Job>());
  Job *job = jobs.back().get();
  job->page = std::move(page);
  job->image = handOverPage();
  pending.push_back(Pending{EngineEvent::PageWritten, 0, std::string(), job});
  if (encoders.empty()) {
    encode(*job);
    job->done = true;
  } else {
    {
      std::lock_guard<std::mutex> guard(lock);
      todo.push_back(job);
    }
    workToDo.notify_one();
  }
  drain(false);
  // Painting goes on only in a free image: wait for the oldest page while there is none.
  while (!freePageImageLeft() && !jobs.empty() && !encoders.empty()) {
    waitUntilDone(*jobs.front());
    drain(false);
  }
}

void finishPageOutput() {
  drain(true);
  stopEncoders();
}

void abandonPageOutput() {
  stopEncoders();
  for (const std::unique_ptr<Job> &job : jobs)
    if (!job->temporary.empty()) unlink(job->temporary.c_str());
  jobs.clear();
  pending.clear();
}
