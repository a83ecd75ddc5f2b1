// Finished pages on their way out: encoded by encoder threads, each with an encoder
// process of its own, while the head paints the next page, and committed strictly in
// page order (the page file renamed into place,
// the page added to the PDF document and the transcript), so that files and messages
// are the same whatever the number of threads.
#pragma once

#include <string>
#include <vector>

#include "base/page_geometry.h"
#include "base/page_raster.h"
#include "base/run_settings.h"
#include "mechanism/page_canvas.h"

// The most encoder threads a run may have.
constexpr unsigned maxEncoderThreads = 64;

// Back to no encoders, no pages and no handler; pages not committed are dropped with
// their temporary files.
void resetPageOutput();

// Starts the page output of a run: settings.threads encoders, each with an encoder
// process (with 1, each page is encoded on the calling thread as it is handed over;
// when no page files are written, pages are not encoded at all), and the handler
// events go to; the memory of committed pages goes back to pageMemory (freed when
// null). Forks, so call it while no other thread holds a lock the encoder
// processes need (the allocator's are kept safe across the fork by the C library).
void startPageOutput(const RunSettings &settings, EngineEventHandler handler, PageCanvas *pageMemory = nullptr);

// Starts the encoder processes of runs of these settings, if they have any, once for
// all of them (see keepEncoderProcesses): for a live capture, before its threads start.
void keepPageEncoders(const RunSettings &settings);

// Passes the event to the handler at the point a single-threaded run would: at once,
// unless a page handed over before it is still to be committed; then right after.
void reportInOrder(EngineEvent event, unsigned value, const std::string &name);

// Hands the ejected page over to an encoder, then commits the pages whose encoding is done; waits for the oldest while more pages
// wait than there are encoders, plus one. A page that failed raises its exception when its turn to commit comes, and
// then no later page is committed and no temporary file is left.
void submitPage(PageJob &&job);

// A descriptor that becomes readable when an encoder finished a page, so that a run
// waiting for input can commit it at once; -1 when pages are encoded on the calling
// thread.
int pageOutputWakeFd();

// Commits the pages whose encoding is done, in order, up to the first that is not.
// A page that failed raises its exception, as in submitPage.
void commitFinishedPages();

// Waits for every page handed over, commits them in order and stops the encoders.
void finishPageOutput();

// Stops the encoders and removes the temporary files of every page not committed; what
// is still to be reported is dropped. For a run that failed.
void abandonPageOutput();
