// The run sequence, and the one place where what ends a run is reported.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "app/job_command.h"
#include "app/run_options.h"
#include "base/file_access.h"
#include "base/stop_signal.h"
#include "escp/escp_listing.h"
#include "interpreter/interpreter.h"
#include "interpreter/plain_text.h"
#include "interpreter/printer.h"
#include "interpreter/stream_listing.h"
#include "interpreter/stream_statistics.h"
#include "mechanism/character_rom.h"
#include "mechanism/page_canvas.h"
#include "mechanism/print_head.h"
#include "output/page_document.h"
#include "output/page_image.h"
#include "output/page_output.h"
#include "output/transcript.h"
#include "ribbon/strike_store.h"
#include "stream/byte_source.h"

namespace {

constexpr size_t inputBufferSize = 16384;  // bytes read at a time; a stop is seen between them

// Prints what the engine tells, the trace only at debug level 1; context is the run's
// settings.
void reportEngineEvent(void *context, EngineEvent event, unsigned value, const std::string &name) {
  bool trace = static_cast<const RunSettings *>(context)->debugLevel & DebugTrace;
  switch (event) {
    case EngineEvent::Autofeed:
      if (trace) std::printf("Autofeed %d\n", int(value));
      break;
    case EngineEvent::WritingPage:
      if (trace) std::printf("Attempting to write %s...\n", name.c_str());
      break;
    case EngineEvent::PageWritten:
      std::printf("%s written.\n", name.c_str());
      break;
    case EngineEvent::PageAdded:
      std::printf("Page %u added to %s.\n", value, name.c_str());
      break;
  }
}

// The mechanism's events: to the console, in page order; context is the run's Output.
void engineEvent(void *context, EngineEvent event, unsigned value, const std::string &name) {
  reportInOrder(*static_cast<Output *>(context), event, value, name);
}

// An ejected page, to the run's page output; context is the run's Output.
void takeEjectedPage(void *context, PageJob &&job) { submitPage(*static_cast<Output *>(context), std::move(job)); }

// Says which ROM file the run uses; the trace names every file looked for.
void reportRomSearch(const RomSearch &search, uint16_t debugLevel) {
  bool trace = debugLevel & DebugTrace;
  for (size_t i = 0; i < search.tried.size(); ++i) {
    if (int(i) == search.used) {
      if (trace) std::printf("Using ROM file %s.\n", search.tried[i].c_str());
      break;
    }
    if (trace) std::printf("ROM file %s not found.\n", search.tried[i].c_str());
    if (trace && i == 0) std::printf("Real ROM not found, looking for fake ROM...\n");
  }
  if (search.used < 0)
    std::printf(
        "Could not open printer ROM files 'PRINTER/mps801.bin' or 'PRINTER/mps801.fake'. "
        "Character data is missing, text will be INVISIBLE.\n");
}

// Says which 9-pin font file the run uses, or that its text will not show.
void reportEscpFontSearch(const EscpFontSearch &search, uint16_t debugLevel) {
  bool trace = debugLevel & DebugTrace;
  for (size_t i = 0; i < search.tried.size(); ++i) {
    if (int(i) == search.used) {
      if (trace) std::printf("Using font file %s.\n", search.tried[i].c_str());
      break;
    }
    if (trace) std::printf("Font file %s not found.\n", search.tried[i].c_str());
  }
  if (search.used < 0)
    std::printf("Could not open the printer's font file 'PRINTER/escp.fake'. Character data is missing, text will be "
                "INVISIBLE.\n");
  else if (search.damaged)
    std::printf("The printer's font file %s is no font of ours. Character data is missing, text will be INVISIBLE.\n",
                search.tried[size_t(search.used)].c_str());
}

}  // namespace

void saveRibbon(const Printer &p) {
  const PageGeometry &geometry = p.mechanism.geometry;
  if (int error = saveStrikeCounts(geometry.ribbonStore, geometry.pins, p.strikesAtLoad, p.mechanism.ribbon.strikeCounts);
      error != 0)
    std::printf("Could not write %s: %s. It keeps the counts it held before this run.\n", geometry.ribbonStore,
                std::strerror(error));
}

namespace {

// Opens the named input, or says why it cannot and raises the FileError that ends the run.
FILE *openInput(const std::string &name, uint16_t debugLevel) {
  if (debugLevel & DebugTrace) std::printf("Attempting to read %s...\n", name.c_str());
  FILE *input = openForReading(name);
  if (input != nullptr) return input;
  int error = errno;
  std::printf("Cannot open input file %s - aborting.\n", name.c_str());
  std::string why = std::strerror(error);
  // A word that looks like an option and names no file was most likely meant as one.
  if (error == ENOENT && name.size() > 1 && name[0] == '-') why += "; " + name + " is no option either (see -help)";
  throw FileError("tambrix: cannot open input file `" + name + "': " + why);
}

// Begins the PDF document; without its text font, says which font is missing.
void openPdf(Document &document, const std::string &name, bool replace) {
  int error = openDocument(document, name, replace);
  if (error == 0) return;
  if (FILE *font = openForReading(textFontFile))
    std::fclose(font);
  else
    throw FileError("tambrix: unable to write PDF document `" + name + "': its text font " + textFontFile +
                    " cannot be read: " + std::strerror(error));
  throw writeError("PDF document", name, error);
}

// Interprets the whole stream read from input, from startStream to endStream; the file
// is neither closed nor changed in mode. False when reading failed. A stop signal
// raises RunStopped between two reads.
bool interpretStream(Printer &p, FILE *input) {
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[inputBufferSize]);  // not cleared: only what is read is used
  startStream(p);
  for (;;) {
    raiseIfStopped();
    size_t length = std::fread(buffer.get(), 1, inputBufferSize, input);
    bool interrupted = std::ferror(input) && errno == EINTR;  // a signal came while it waited
    if (interrupted) std::clearerr(input);
    if (length > 0)
      interpretBytes(p, buffer.get(), length);
    else if (!interrupted)
      break;
  }
  endStream(p);
  return !std::ferror(input);
}

// Feeds the interpreter from the input, to its end. While it waits for bytes, the
// pages whose encoding is done are put in place.
void interpretInput(Printer &p, Output &output, FILE *input, const std::string &name) {
  int fd = fileno(input);
  bool read = true;
  if (fd < 0) {  // a stream in memory: nothing to wait for
    read = interpretStream(p, input);
  } else {
    std::vector<uint8_t> buffer(inputBufferSize);
    startStream(p);
    for (;;) {
      raiseIfStopped();
      commitFinishedPages(output);
      int wake[2] = {pageOutputWakeFd(output), stopSignalFd()};
      ReadResult got = readSome(fd, buffer.data(), buffer.size(), -1, wake, 2);
      if (got.status == ReadStatus::Bytes) interpretBytes(p, buffer.data(), got.length);
      if (got.status == ReadStatus::EndOfStream || got.status == ReadStatus::Failed) {
        read = got.status == ReadStatus::EndOfStream;
        errno = got.error;
        break;
      }
    }
    endStream(p);
  }
  if (!read)
    throw FileError("tambrix: unable to read input file `" + (name.empty() ? std::string("standard input") : name) +
                    "': " + std::strerror(errno != 0 ? errno : EIO));
}

// Begins the listing of the stream, if one is asked for.
void openExplanation(Listing &listing, const std::string &name, bool replace) {
  if (name.empty()) return;
  if (int error = openListing(listing, name, replace); error != 0) throw writeError("stream listing", name, error);
}

// Completes the documents of a run that printed something, and puts them in place.
void finishDocuments(Output &output, const RunSettings &settings) {
  if (!settings.pdfName.empty()) {
    if (int error = finishDocument(output.document); error != 0) throw writeError("PDF document", settings.pdfName, error);
    std::printf("%s written.\n", settings.pdfName.c_str());
  }
  if (!settings.textName.empty()) {
    if (int error = finishTranscript(output.transcript); error != 0)
      throw writeError("text transcript", settings.textName, error);
    std::printf("%s written.\n", settings.textName.c_str());
  }
}

}  // namespace

RunSettings completeSettings(const RunOptions &options) {
  RunSettings settings = options.settings;
  // With a PDF document or a transcript, page files are written only when a prefix is
  // asked for.
  settings.pageFiles = (settings.pdfName.empty() && settings.textName.empty()) || !settings.outputPrefix.empty();
  if (settings.outputPrefix.empty()) settings.outputPrefix = options.inputName.empty() ? "TAMBRIX" : options.inputName;
  return settings;
}

void beginPrinting(Printer &p, Output &output, const RunSettings &settings, const std::string &inputName,
                   int32_t testMode) {
  MechanismSinks sinks;
  sinks.context = &output;
  sinks.event = engineEvent;
  sinks.page = takeEjectedPage;
  startPrinter(p, settings, sinks);
  std::string fontUsed;
  RomSearch search{{}, -1};
  EscpFontSearch escpSearch;
  if (settings.model == PrinterModel::Escp) {
    escpSearch = loadEscpFont(p.escp.font);
    startEscp(p.escp, p.mechanism);  // its tables, from the font
    if (escpSearch.used >= 0) fontUsed = escpSearch.tried[size_t(escpSearch.used)];
  } else {
    search = buildGlyphTables(p.mechanism.glyphs);
    if (search.used >= 0) fontUsed = search.tried[size_t(search.used)];
  }
  checkOutputFiles(settings, inputName, fontUsed);
  checkDestinations(settings);
  loadStrikeCounts(p.mechanism.geometry.ribbonStore, p.mechanism.geometry.pins, p.strikesAtLoad);
  setStrikeCounts(p.mechanism, p.strikesAtLoad);
  createPage(p.mechanism);
  if (!settings.pdfName.empty()) openPdf(output.document, settings.pdfName, settings.replaceFiles);
  if (!settings.textName.empty())
    if (int error = openTranscript(output.transcript, settings.textName, settings.replaceFiles); error != 0)
      throw writeError("text transcript", settings.textName, error);
  output.transcript.columnWidth = p.mechanism.geometry.cellWidth;
  openExplanation(p.listing, settings.explainName, settings.replaceFiles);
  EngineEventHandler events;
  events.context = &p.mechanism.settings;
  events.tell = reportEngineEvent;
  startPageOutput(output, settings, events, &p.mechanism.canvas);
  ejectPage(p.mechanism);
  if (settings.model == PrinterModel::Escp)
    reportEscpFontSearch(escpSearch, settings.debugLevel);
  else
    reportRomSearch(search, settings.debugLevel);
  printTestSheet(p, testMode);
}

void endPrinting(Printer &p, Output &output, const RunSettings &settings) {
  endPaper(p);
  finishPageOutput(output);
  unsigned pages = p.mechanism.page.pageCount;
  bool printed = pages > 0;
  // The listing is written also when nothing printed, where the settings ask for it: it
  // says why. A listing that fails costs the run its status, not its other files.
  int listingError = 0;
  if (!settings.explainName.empty()) {
    const char *hint = hintText(streamHint(p.statistics, settings, printed));
    if (!printed && !settings.listingWhenEmpty)
      abandonListing(p.listing);
    else if (settings.model == PrinterModel::Escp)
      listingError = finishEscpListing(p, hint, p.statistics.bytes);
    else
      listingError = finishListing(p.listing, hint, p.statistics.bytes, p.mechanism);
  }
  if (settings.streamKind == StreamKind::PlainText && placeholdersPrinted(p) > 0)
    std::printf("%llu characters have no glyph: each printed as %s question mark.\n",
                (unsigned long long)placeholdersPrinted(p), settings.model == PrinterModel::Escp ? "an underlined" : "a reversed");
  if (printed) finishDocuments(output, settings);
  abandonDocument(output.document);  // documents that got no page are not written
  abandonTranscript(output.transcript);
  // What the stream looks like, when it clearly looks like another kind of stream.
  if (StreamHint hint = streamHint(p.statistics, settings, printed); hint != StreamHint::None) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", hintText(hint));
  }
  if (listingError == 0) return;
  // A listing on standard output whose reader closed the pipe (`| head') was cut short
  // on purpose, as the messages are: said, and the run goes on as a run.
  if (settings.explainName == standardOutputName && listingError == EPIPE) {
    std::fflush(stdout);
    std::fprintf(stderr, "Warning: %s\n", writeError("stream listing", settings.explainName, listingError).what());
    return;
  }
  throw writeError("stream listing", settings.explainName, listingError);
}

void abandonPrinting(Printer &p, Output &output) {
  abandonPageOutput(output);
  abandonDocument(output.document);
  abandonTranscript(output.transcript);
  abandonListing(p.listing);
}

int runPrintJob(RunOptions options, FILE *standardInput, RunCarry *carry) {
  RunSettings settings = completeSettings(options);
  auto printer = std::make_unique<Printer>();
  Printer &p = *printer;
  auto outputRecord = std::make_unique<Output>();  // the run's output side, fresh
  Output &output = *outputRecord;
  if (carry != nullptr) p.mechanism.canvas.pool = std::move(carry->pages);
  // The page memory goes back to the caller however the run ends.
  struct GiveBack {
    Printer &p;
    RunCarry *carry;
    ~GiveBack() {
      if (carry == nullptr) return;
      finishPageCanvas(p.mechanism.canvas);
      carry->pages = std::move(p.mechanism.canvas.pool);
      carry->pagesPrinted = p.mechanism.page.pageCount;
    }
  } giveBack{p, carry};
  FILE *input = options.inputName.empty() ? standardInput : openInput(options.inputName, settings.debugLevel);
  try {
    beginPrinting(p, output, settings, options.inputName, options.testMode);
    interpretInput(p, output, input, options.inputName);
    endPrinting(p, output, settings);
  } catch (...) {
    if (input != standardInput) std::fclose(input);
    abandonPrinting(p, output);
    throw;
  }
  if (input != standardInput) std::fclose(input);
  saveRibbon(p);
  unsigned pages = p.mechanism.page.pageCount;
  if (pages == 0) std::printf("Input did not generate any output (empty printfile?).\n");
  // The command after the run, once its files are in place: a failure is said, and
  // gives status 1.
  if (options.thenCommand.empty() || pages == 0) return 0;
  JobCommands commands;
  startJobCommands(commands, options.thenCommand);
  queueJobCommand(commands, 0, jobFiles(settings, pages));
  bool succeeded = finishJobCommands(commands, false);
  raiseIfStopped();
  return succeeded ? 0 : 1;
}

int reportFailure(const std::exception_ptr &failure) {
  std::string report;
  if (!describeException(failure, report)) std::rethrow_exception(failure);
  std::fflush(stdout);  // what was said before the failure comes first
  std::cerr << report << std::endl;
  try {
    std::rethrow_exception(failure);
  } catch (const RunStopped &stop) {
    return 128 + stop.signal;
  } catch (...) {
    return 1;
  }
}

int runReportingErrors(const std::function<int()> &body) {
  try {
    return body();
  } catch (...) {
    return reportFailure(std::current_exception());
  }
}
