// Finished pages on their way out: encoded by encoder threads, each with an encoder
// process of its own, while the head paints the next page, and committed strictly in
// page order (the page file renamed into place, or on endless paper the form added to
// its sheet; the page added to the PDF document and the transcript), so that files and
// messages are the same whatever the number of threads.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/file_access.h"
#include "base/page_geometry.h"
#include "base/page_raster.h"
#include "base/run_settings.h"
#include "mechanism/page_canvas.h"
#include "output/page_document.h"
#include "output/page_look.h"
#include "output/png_file.h"
#include "output/transcript.h"

// The most encoder threads a run may have.
constexpr unsigned maxEncoderThreads = 64;

// A page with an encoder, or done and waiting for its turn to commit.
struct PageInFlight {
  PageJob page;              // the page, its pixels kept until committed
  PageRaster shown;          // the page in the run's look; empty when it goes out as painted
  TemporaryFile temporary;   // the encoded page file, not yet in place
  PngPiece piece;            // on endless paper: the form's rows compressed for its sheet
  std::exception_ptr error;  // what went wrong while encoding, if anything
  bool done = false;         // the encoder is through with it (guarded by PageOutput::lock)
};

// One entry of what is still to be said or done, in the order of a single-threaded run.
struct PendingOutput {
  EngineEvent event;      // an event to report, when commit is null
  unsigned value;         // the event's number
  std::string name;       // the event's file name
  PageInFlight *commit;   // a page to commit at this point, or null
};

// The pages of a run on their way out: its encoder threads and what they share with
// the run's thread.
struct PageOutput {
  std::mutex lock;                       // guards todo, stopping and every page's done
  std::condition_variable workToDo;      // a page was queued, or the encoders are to stop
  std::condition_variable workDone;      // a page is done
  std::deque<PageInFlight *> todo;       // pages no encoder has taken yet
  bool stopping = false;                 // the encoders are to finish
  std::vector<std::thread> encoders;     // none when pages are encoded on the calling thread
  int wakeEvent = -1;                    // an eventfd the encoders signal when a page is done;
                                         //   -1 without encoders
  std::deque<std::unique_ptr<PageInFlight>> jobs;  // handed over and not committed, oldest first
  std::deque<PendingOutput> pending;     // what is still to be reported or committed
  EngineEventHandler report;             // where events go
  PageCanvas *pageMemory = nullptr;      // where the memory of committed pages goes back to; null: freed
  std::string documentName;              // the PDF document pages go into; empty for none
  bool toTranscript = false;             // pages go into the transcript
  bool replaceFiles = true;              // a page file may replace one of its name
  bool ownWriter = false;                // pages are written by our PNG writer, not the image library
  std::string tooLarge;                  // why pages in the run's look cannot be made; empty when they can
  bool endless = false;                  // pages are forms of one continuous sheet: each is
                                         //   compressed as a piece of it, and the pieces are
                                         //   added to it in order as the forms are committed
  PixelKind sheetKind = PixelKind::BlackWhite;  // on endless paper, the kind of the sheet's
                                                //   rows: what every form can be written as
};

// A job's continuous sheet on endless paper: the rows of its forms, in the run's look,
// compressed form by form and added to one PNG file in order, so that only the forms
// in flight are held; and its PDF page being gathered.
struct EndlessSheet {
  std::string name;         // the sheet's file; empty until its first form comes, or when no
                            //   page files are written
  TemporaryFile temporary;  // the file, not yet in place
  PngStream png;            // its rows so far
  // The job's PDF page being gathered: its forms one below the other, until the next
  // would make it too tall for a PDF page, or the job ends.
  PageRaster documentPage;             // the forms so far, in the sheet's kind; no rows: none
  std::vector<TextCell> documentCells; // their cells, moved down by the painted rows above
  unsigned paintedRows = 0;            // the painted rows of the forms so far
  unsigned cellsPerInchX = 0;          // the cells' painted pixels an inch across
  unsigned cellsPerInchY = 0;          //   and down
  unsigned documentPages = 0;          // the job's PDF pages added so far
};

// The output side of one run, or of one job of a live capture: made fresh for each,
// and passed to every output function, as the printer is to the printing core. The
// encoder threads hold a pointer to the record they serve. Finish or abandon its page
// output before it goes.
struct Output {
  PageOutput pages;       // the encoder threads, the pages in flight and the events pending
  Document document;      // the PDF document, when the run writes one
  Transcript transcript;  // the text transcript, when the run writes one
  PageLook look;          // the look of the pages as they go out, with its paper and ink dots
  EndlessSheet sheet;     // the job's sheet, on endless paper
};

// Starts the page output of a run in its output record, with the run's look:
// settings.threads encoders, each with an encoder
// process (with 1, each page is encoded on the calling thread as it is handed over;
// when no page files are written, pages are not encoded at all), and the handler
// events go to; the memory of committed pages goes back to pageMemory (freed when
// null). Forks, so call it while no other thread holds a lock the encoder
// processes need (the allocator's are kept safe across the fork by the C library).
void startPageOutput(Output &output, const RunSettings &settings, EngineEventHandler handler,
                     PageCanvas *pageMemory = nullptr);

// Starts the encoder processes of runs of these settings, if they have any, once for
// all of them (see keepEncoderProcesses): for a live capture, before its threads start.
void keepPageEncoders(const RunSettings &settings);

// Passes the event to the handler at the point a single-threaded run would: at once,
// unless a page handed over before it is still to be committed; then right after.
void reportInOrder(Output &output, EngineEvent event, unsigned value, const std::string &name);

// Hands the ejected page over to an encoder, then commits the pages whose encoding is done; waits for the oldest while more pages
// wait than there are encoders, plus one. A page that failed raises its exception when its turn to commit comes, and
// then no later page is committed and no temporary file is left.
void submitPage(Output &output, PageJob &&job);

// A descriptor that becomes readable when an encoder finished a page, so that a run
// waiting for input can commit it at once; -1 when pages are encoded on the calling
// thread.
int pageOutputWakeFd(const Output &output);

// Commits the pages whose encoding is done, in order, up to the first that is not.
// A page that failed raises its exception, as in submitPage.
void commitFinishedPages(Output &output);

// Waits for every page handed over, commits them in order and stops the encoders. On
// endless paper, the sheet is finished and put in place.
void finishPageOutput(Output &output);

// Stops the encoders and removes the temporary files of every page not committed; what
// is still to be reported is dropped. For a run that failed.
void abandonPageOutput(Output &output);
