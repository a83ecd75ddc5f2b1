#include "output/page_output.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
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

// Passes the event to the run's handler, if it has one.
void tell(const PageOutput &pages, EngineEvent event, unsigned value, const std::string &name) {
  if (pages.report.tell != nullptr) pages.report.tell(pages.report.context, event, value, name);
}

// The most pixels a page in a look of its own may have: 16384 x 16384, a 1200-dpi sheet
// 22 inches high. Rendering one takes about three bytes a pixel on its encoder thread.
constexpr uint64_t mostLookPixels = uint64_t(1) << 28;

// Why pages in the run's look cannot be made: more pixels than a page may have, or
// more across or down than a PDF page's image may have; empty when they fit.
std::string lookSizeProblem(const PageLook &look, const RunSettings &settings) {
  if (!look.changesPages) return std::string();
  uint64_t width = look.width, height = look.height;
  std::string page = "tambrix: a page of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is ";
  std::string smaller = "; a lower -dpi or -height makes it smaller";
  if (width * height > mostLookPixels)
    return page + "larger than a page may be (" + std::to_string(mostLookPixels) + " pixels)" + smaller;
  if (!settings.pdfName.empty() && (width > largestDocumentImage || height > largestDocumentImage))
    return page + "larger than a PDF page's image may be (" + std::to_string(largestDocumentImage) +
           " pixels each way)" + smaller;
  return std::string();
}

// The kind of every row of a run's sheet: the widest its forms can come in, as the
// sheet's file is begun before any but its first is seen. Pages as painted are black
// and white unless a worn ribbon prints grays or debug marks bring colour.
PixelKind sheetKindOf(const PageLook &look, const RunSettings &settings) {
  bool marks = (settings.debugLevel & DebugMarks) != 0;
  bool banded = settings.paper == PaperStyle::GreenBar || settings.paper == PaperStyle::BlueBar;
  if (!look.changesPages) return marks ? PixelKind::Rgb : settings.halfLife != 0 ? PixelKind::Gray : PixelKind::BlackWhite;
  // Ink pages are written with a palette when the paper or the ribbon has colour, every
  // one of them; debug marks colour only the pages they are on, so a sheet with them
  // takes colour.
  if (look.look == LookStyle::Ink)
    return banded || settings.ribbonColour != RibbonColour::Black ? PixelKind::Indexed
           : marks                                                 ? PixelKind::Rgb
                                                                   : PixelKind::Gray;
  return banded || marks ? PixelKind::Rgb : PixelKind::Gray;
}

// Row y of the raster in the kind, which is its own or wider: black and white as gray or
// colour, gray or palette entries as colour. A row of its own kind is the raster's own
// bytes; a widened one is made in out, which has room for it. A raster that is wider
// than the kind raises std::logic_error.
const uint8_t *rowAs(const PageRaster &raster, unsigned y, PixelKind kind, uint8_t *out) {
  const uint8_t *row = raster.bytes.data() + size_t(y) * rasterRowBytes(raster.kind, raster.width);
  if (raster.kind == kind) return row;
  unsigned copies = kind == PixelKind::Rgb ? 3 : 1;
  if (raster.kind == PixelKind::BlackWhite && (kind == PixelKind::Gray || kind == PixelKind::Rgb)) {
    for (unsigned x = 0; x < raster.width; ++x)
      std::memset(out + size_t(x) * copies, (row[x / 8] & (0x80u >> x % 8)) != 0 ? 0xFF : 0, copies);
  } else if (raster.kind == PixelKind::Gray && kind == PixelKind::Rgb) {
    for (unsigned x = 0; x < raster.width; ++x) std::memset(out + size_t(x) * 3, row[x], 3);
  } else if (raster.kind == PixelKind::Indexed && kind == PixelKind::Rgb) {
    for (unsigned x = 0; x < raster.width; ++x) std::memcpy(out + size_t(x) * 3, &raster.palette.at(3 * size_t(row[x])), 3);
  } else {
    throw std::logic_error("a form of another kind of pixels than its sheet's");
  }
  return out;
}

// The rows of the form, in the run's look, that stay on the job's sheet: all of them
// but on the form where the job ended, down to the cut, which is in painted rows.
unsigned keptRows(const PageJob &page, const PageRaster &form) {
  if (page.sheetRows == 0) return form.height;
  return unsigned(std::min<uint64_t>(form.height, (uint64_t(page.sheetRows) * form.height + page.raster.height - 1) /
                                                      page.raster.height));
}

// The job's page in the run's look: rendered in it, or as painted.
const PageRaster &shownPage(const PageLook &look, const PageInFlight &job) {
  return look.changesPages ? job.shown : job.page.raster;
}

// Compresses the rows of the form that stay on the job's sheet, in the sheet's kind, as
// a piece of the sheet's file. Any thread may do this, each with a form of its own.
void compressForm(const Output &output, PageInFlight &job, const PageRaster &form) {
  PixelKind kind = output.pages.sheetKind;
  PageRaster format;
  format.width = form.width;
  format.kind = kind;
  format.pixelsPerInchX = form.pixelsPerInchX;
  format.pixelsPerInchY = form.pixelsPerInchY;
  if (kind == PixelKind::Indexed) format.palette = output.look.dots.palette;
  startPngPiece(job.piece, format);
  std::vector<uint8_t> widened(rasterRowBytes(kind, form.width));
  for (unsigned y = 0, rows = keptRows(job.page, form); y < rows; ++y)
    addPngPieceRows(job.piece, rowAs(form, y, kind, widened.data()), 1);
  finishPngPiece(job.piece);
}

// Encodes the job's page into a temporary file beside its name: on the encoder process
// of the slot when it has one, else on this thread.
// A page in the run's look is rendered first, and written by our own PNG writer. On
// endless paper, the form is compressed as a piece of its sheet instead, which the
// run's thread adds to the sheet's file when the form's turn comes.
void encode(const Output &output, PageInFlight &job, unsigned slot) {
  const PageLook &look = output.look;
  try {
    const std::string &name = job.page.pngName;
    if (look.changesPages) {
      if (!output.pages.tooLarge.empty()) throw FileError(output.pages.tooLarge);
      job.shown = renderPageLook(look, job.page);
    }
    if (output.pages.endless) {  // a form of the job's sheet
      if (!name.empty()) compressForm(output, job, shownPage(look, job));
      if (output.pages.documentName.empty()) job.shown = PageRaster();
      return;
    }
    if (name.empty()) return;
    const PageRaster &raster = job.page.raster;
    std::string png;
    if (look.changesPages) {
      png = encodeLookPng(job.shown);
      if (output.pages.documentName.empty()) job.shown = PageRaster();  // nothing else needs it
    } else if (output.pages.ownWriter) {
      png = encodeLookPng(raster);
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

// The loop of an encoder thread of the output: takes pages from its queue until told to stop.
void encoderLoop(Output *output, unsigned slot) {
  PageOutput &pages = output->pages;
  std::unique_lock<std::mutex> guard(pages.lock);
  for (;;) {
    pages.workToDo.wait(guard, [&pages] { return pages.stopping || !pages.todo.empty(); });
    if (pages.todo.empty()) return;
    PageInFlight *job = pages.todo.front();
    pages.todo.pop_front();
    guard.unlock();
    encode(*output, *job, slot);
    guard.lock();
    job->done = true;
    pages.workDone.notify_all();
    uint64_t one = 1;
    if (write(pages.wakeEvent, &one, sizeof one) < 0) {
      // the counter is full: the reader has been woken already
    }
  }
}

void stopEncoders(PageOutput &pages) {
  {
    std::lock_guard<std::mutex> guard(pages.lock);
    pages.stopping = true;
  }
  pages.workToDo.notify_all();
  for (std::thread &encoder : pages.encoders) encoder.join();
  pages.encoders.clear();
  if (pages.wakeEvent >= 0) close(pages.wakeEvent);
  pages.wakeEvent = -1;
  stopEncoderProcesses();
  pages.stopping = false;
  pages.todo.clear();
}

void waitUntilDone(PageOutput &pages, const PageInFlight &job) {
  std::unique_lock<std::mutex> guard(pages.lock);
  pages.workDone.wait(guard, [&job] { return job.done; });
}

bool isDone(PageOutput &pages, const PageInFlight &job) {
  std::lock_guard<std::mutex> guard(pages.lock);
  return job.done;
}

// Adds the form's piece to the job's sheet, beginning the sheet's file, under the first
// form's name, with the first.
void addToSheet(Output &output, const std::string &name, const PngPiece &piece) {
  EndlessSheet &sheet = output.sheet;
  if (sheet.png.fd < 0) {
    sheet.name = name;
    if (int error = createTemporaryBeside(sheet.name, sheet.temporary); error != 0)
      throw writeError("page file", sheet.name, error);
    if (int error = startPngStream(sheet.png, piece.format, sheet.temporary.fd); error != 0)
      throw writeError("page file", sheet.name, error);
  }
  if (int error = addPngPiece(sheet.png, piece); error != 0) throw writeError("page file", sheet.name, error);
}

// Adds the job's gathered PDF page to the document, if it has rows, and begins the next.
void addGatheredPage(Output &output) {
  EndlessSheet &sheet = output.sheet;
  PageRaster &page = sheet.documentPage;
  if (page.height > 0) {
    addDocumentPage(output.document, page, sheet.documentCells, sheet.cellsPerInchX, sheet.cellsPerInchY);
    tell(output.pages, EngineEvent::PageAdded, ++sheet.documentPages, output.pages.documentName);
  }
  page.height = 0;
  page.bytes.clear();
  sheet.documentCells.clear();
  sheet.paintedRows = 0;
}

// Gathers the first rows of the form, as it goes out, into the job's PDF page, with its
// cells; a form that would make the page taller than a PDF page may be begins the next.
// A page is cut only between forms, so never through a line.
void gatherForDocument(Output &output, const PageRaster &form, unsigned rows, const PageJob &page) {
  EndlessSheet &sheet = output.sheet;
  PageRaster &gathered = sheet.documentPage;
  unsigned tallest = std::min(largestDocumentImage, tallestDocumentPageInches * form.pixelsPerInchY);
  if (gathered.height > 0 && gathered.height + rows > tallest) addGatheredPage(output);
  if (gathered.height == 0) {
    gathered.width = form.width;
    gathered.kind = output.pages.sheetKind;
    gathered.pixelsPerInchX = form.pixelsPerInchX;
    gathered.pixelsPerInchY = form.pixelsPerInchY;
    gathered.printLeft = form.printLeft;
    sheet.cellsPerInchX = page.raster.pixelsPerInchX;
    sheet.cellsPerInchY = page.raster.pixelsPerInchY;
    if (output.pages.sheetKind == PixelKind::Indexed) gathered.palette = output.look.dots.palette;
  }
  if (form.width != gathered.width) throw std::logic_error("a form of another width than its sheet's");
  PixelKind kind = output.pages.sheetKind;
  size_t rowBytes = rasterRowBytes(kind, form.width);
  size_t at = gathered.bytes.size();
  gathered.bytes.resize(at + rowBytes * rows);
  for (unsigned y = 0; y < rows; ++y) {
    uint8_t *out = gathered.bytes.data() + at + rowBytes * y;
    const uint8_t *row = rowAs(form, y, kind, out);
    if (row != out) std::memcpy(out, row, rowBytes);
  }
  gathered.height += rows;
  for (TextCell cell : page.cells) {
    cell.y += sheet.paintedRows;
    sheet.documentCells.push_back(cell);
  }
  sheet.paintedRows += page.raster.height;
}

// Finishes the job's sheet and puts it in place, if it was begun, then adds the last of
// its PDF page to the document.
void finishSheet(Output &output) {
  EndlessSheet &sheet = output.sheet;
  if (sheet.png.fd >= 0) {
    if (int error = finishPngStream(sheet.png); error != 0) throw writeError("page file", sheet.name, error);
    sheet.png = PngStream();
    if (int error = commitTemporary(sheet.temporary, sheet.name, false, output.pages.replaceFiles); error != 0)
      throw writeError("page file", sheet.name, error);
    tell(output.pages, EngineEvent::PageWritten, 1, sheet.name);
  }
  addGatheredPage(output);
}

// Puts the oldest page in place, in the run's look: its file, or on endless paper its
// form on the job's sheet, cut where the job ended; its page in the PDF document, or its
// form in the job's PDF page; its text in the transcript. It is done. Raises what went
// wrong with it.
void commitOldest(Output &output) {
  PageOutput &pages = output.pages;
  PageInFlight &job = *pages.jobs.front();
  if (job.error) std::rethrow_exception(job.error);
  PageJob &page = job.page;
  const PageRaster &shown = shownPage(output.look, job);
  if (!page.pngName.empty()) {
    if (pages.endless) {
      addToSheet(output, page.pngName, job.piece);
    } else {
      if (int error = commitTemporary(job.temporary, page.pngName, false, pages.replaceFiles); error != 0)
        throw writeError("page file", page.pngName, error);
      tell(pages, EngineEvent::PageWritten, page.number, page.pngName);
    }
  }
  if (!pages.documentName.empty()) {
    if (pages.endless) {
      gatherForDocument(output, shown, keptRows(page, shown), page);
    } else {
      addDocumentPage(output.document, shown, page.cells, page.raster.pixelsPerInchX, page.raster.pixelsPerInchY);
      tell(pages, EngineEvent::PageAdded, page.number, pages.documentName);
    }
  }
  if (pages.toTranscript) addTranscriptPage(output.transcript, page.rows, page.cells);
  if (pages.pageMemory != nullptr) recyclePage(*pages.pageMemory, std::move(page.raster));
  pages.jobs.pop_front();
}

// Reports and commits what is pending, in order: up to the first page whose encoding
// is not done, or everything when waiting.
void drain(Output &output, bool wait) {
  PageOutput &pages = output.pages;
  while (!pages.pending.empty()) {
    PendingOutput &next = pages.pending.front();
    if (next.commit != nullptr) {
      if (wait)
        waitUntilDone(pages, *next.commit);
      else if (!isDone(pages, *next.commit))
        return;
      try {
        commitOldest(output);
      } catch (...) {
        abandonPageOutput(output);
        throw;
      }
    } else {
      tell(pages, next.event, next.value, next.name);
    }
    pages.pending.pop_front();
  }
}

}  // namespace

// Whether the run's pages are written by our own PNG writer rather than the image
// library: pages in a look of their own, and all pages of the 9-pin printer, which
// has three and a half times the MPS801's pixels and is written in a quarter of the
// library's time. The MPS801's plain pages stay as they always were.
static bool writesOwnPng(const RunSettings &settings) {
  return settings.look != LookStyle::Dots || settings.paper != PaperStyle::None || settings.model == PrinterModel::Escp;
}

// The encoder threads a run of these settings has: one per core unless given.
static unsigned encoderThreadsOf(const RunSettings &settings) {
  unsigned threads = settings.threads != 0 ? settings.threads : std::max(1u, std::thread::hardware_concurrency());
  return std::min(threads, maxEncoderThreads);
}

// Whether the run's pages are encoded by encoder processes.
static bool usesEncoderProcesses(const RunSettings &settings, unsigned threads) {
  return threads > 1 && settings.pageFiles && !writesOwnPng(settings) && !settings.endless;
}

void keepPageEncoders(const RunSettings &settings) {
  unsigned threads = encoderThreadsOf(settings);
  if (usesEncoderProcesses(settings, threads)) keepEncoderProcesses(threads, pageGeometryOf(settings.model).width, settings.pageHeight);
}

void startPageOutput(Output &output, const RunSettings &settings, EngineEventHandler handler, PageCanvas *memory) {
  abandonPageOutput(output);
  PageOutput &pages = output.pages;
  pages.report = handler;
  pages.pageMemory = memory;
  pages.documentName = settings.pdfName;
  pages.toTranscript = !settings.textName.empty();
  pages.replaceFiles = settings.replaceFiles;
  pages.ownWriter = writesOwnPng(settings);
  startPageLook(output.look, settings);
  pages.tooLarge = lookSizeProblem(output.look, settings);
  pages.endless = settings.endless;
  pages.sheetKind = sheetKindOf(output.look, settings);
  unsigned threads = encoderThreadsOf(settings);
  // Without page files there is nothing to encode, and in the run's own look only the
  // look to render: the document takes its pages as they come. Pages in a look of their
  // own are written by our PNG writer on the threads themselves. The processes are
  // forked before the encoder threads start; the threads a live capture runs beside
  // (its reader, its command runner) take no lock but their own, which the processes
  // never touch.
  if (threads > 1 && (settings.pageFiles || output.look.changesPages)) {
    if (usesEncoderProcesses(settings, threads)) startEncoderProcesses(threads, pageGeometryOf(settings.model).width, settings.pageHeight);
    pages.wakeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    for (unsigned slot = 0; slot < threads; ++slot) pages.encoders.emplace_back(encoderLoop, &output, slot);
  }
}

void reportInOrder(Output &output, EngineEvent event, unsigned value, const std::string &name) {
  PageOutput &pages = output.pages;
  if (pages.pending.empty()) {
    tell(pages, event, value, name);
    return;
  }
  pages.pending.push_back(PendingOutput{event, value, name, nullptr});
}

void submitPage(Output &output, PageJob &&page) {
  PageOutput &pages = output.pages;
  pages.jobs.push_back(std::make_unique<PageInFlight>());
  PageInFlight *job = pages.jobs.back().get();
  job->page = std::move(page);
  pages.pending.push_back(PendingOutput{EngineEvent::PageWritten, 0, std::string(), job});
  if (job->page.pngName.empty() && !output.look.changesPages) {
    job->done = true;
  } else if (pages.encoders.empty()) {
    encode(output, *job, 0);
    job->done = true;
  } else {
    {
      std::lock_guard<std::mutex> guard(pages.lock);
      pages.todo.push_back(job);
    }
    pages.workToDo.notify_one();
  }
  drain(output, false);
  // No more pages wait than there are encoders, plus the one that waits for the first
  // free encoder: wait for the oldest page until so.
  while (!pages.encoders.empty() && pages.jobs.size() > pages.encoders.size()) {
    waitUntilDone(pages, *pages.jobs.front());
    drain(output, false);
  }
}

int pageOutputWakeFd(const Output &output) { return output.pages.wakeEvent; }

void commitFinishedPages(Output &output) {
  uint64_t count;
  if (output.pages.wakeEvent >= 0 && read(output.pages.wakeEvent, &count, sizeof count) < 0) {
    // nothing was signalled since the last time
  }
  drain(output, false);
}

void finishPageOutput(Output &output) {
  drain(output, true);
  stopEncoders(output.pages);
  try {
    finishSheet(output);
  } catch (...) {
    abandonPageOutput(output);
    throw;
  }
}

void abandonPageOutput(Output &output) {
  PageOutput &pages = output.pages;
  stopEncoders(pages);
  for (const std::unique_ptr<PageInFlight> &job : pages.jobs) discardTemporary(job->temporary);
  pages.jobs.clear();
  pages.pending.clear();
  discardTemporary(output.sheet.temporary);
  output.sheet = EndlessSheet();
}
