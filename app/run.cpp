// The run sequence, and the one place where what ends a run is reported.
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/run_options.h"
#include "mechanism/character_rom.h"
#include "base/file_access.h"
#include "output/page_image.h"
#include "output/page_document.h"
#include "output/page_output.h"
#include "mechanism/print_head.h"
#include "output/transcript.h"
#include "interpreter/interpreter.h"
#include "interpreter/plain_text.h"
#include "interpreter/stream_listing.h"
#include "interpreter/stream_statistics.h"
#include "ribbon/strike_store.h"

namespace {

// Prints what the engine tells, the trace only at debug level 1.
void reportEngineEvent(EngineEvent event, unsigned value, const std::string &name) {
  bool trace = runSettings.debugLevel & DebugTrace;
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

// The engine's events: to the console in page order, and an autofeed into the stream
// listing too.
void engineEvent(EngineEvent event, unsigned value, const std::string &name) {
  if (event == EngineEvent::Autofeed) noteAutofeed();
  reportInOrder(event, value, name);
}

// Loads the ROM and builds the glyph tables; the trace names every file looked for.
void loadFont(uint16_t debugLevel) {
  bool trace = debugLevel & DebugTrace;
  RomSearch search = buildGlyphTables();
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

void saveRibbon() {
  if (int error = saveStrikeCounts(); error != 0)
    std::printf("Could not write %s: %s. It keeps the counts it held before this run.\n", strikeStoreName,
                std::strerror(error));
}

// Raises the FileError of a document that could not be written.
void checkWritten(int error, const char *what, const std::string &name) {
  if (error != 0)
    throw FileError(std::string("tambrix: unable to write ") + what + " `" + name + "': " + std::strerror(error));
}

// Begins the PDF document; without its text font, says which font is missing.
void openPdf(const std::string &name) {
  int error = openDocument(name);
  if (error == 0) return;
  if (FILE *font = openForReading(textFontFile))
    std::fclose(font);
  else
    throw FileError("tambrix: unable to write PDF document `" + name + "': its text font " + textFontFile +
                    " cannot be read: " + std::strerror(error));
  checkWritten(error, "PDF document", name);
}

// Begins the listing of the stream, if one is asked for.
void openExplanation(const std::string &name) {
  if (name.empty()) return;
  if (int error = openListing(name); error != 0)
    throw FileError("tambrix: unable to write stream listing `" + name + "': " + std::strerror(error));
}

// The run from the ROM to the last page, into the page files and documents the
// settings name; the PDF and the transcript are written once complete.
int printPages(const RunOptions &options, FILE *standardInput) {
  const RunSettings &settings = options.settings;
  FILE *input = standardInput;
  if (!options.inputName.empty()) {
    if (settings.debugLevel & DebugTrace) std::printf("Attempting to read %s...\n", options.inputName.c_str());
    input = openForReading(options.inputName);
    if (input == nullptr) {
      std::printf("Cannot open input file %s - aborting.\n", options.inputName.c_str());
      abandonPageOutput();
      return 1;
    }
  }
  if (!settings.pdfName.empty()) openPdf(settings.pdfName);
  openExplanation(settings.explainName);
  resetTranscript();
  ejectPage();
  loadFont(settings.debugLevel);
  printTestSheet(options.testMode);
  interpretStream(input);
  if (input != standardInput) std::fclose(input);
  ejectPage();
  finishPageOutput();
  // The listing is written also when nothing printed: it says why.
  if (!settings.explainName.empty())
    checkWritten(finishListing(hintText(streamHint(settings, page.pageCount > 0))), "stream listing",
                 settings.explainName);
  if (settings.streamKind == StreamKind::PlainText && placeholdersPrinted() > 0)
    std::printf("%llu characters have no glyph: each printed as a reversed question mark.\n",
                (unsigned long long)placeholdersPrinted());
  if (page.pageCount == 0) return 0;
  if (!settings.pdfName.empty()) {
    checkWritten(finishDocument(), "PDF document", settings.pdfName);
    std::printf("%s written.\n", settings.pdfName.c_str());
  }
  if (!settings.textName.empty()) {
    checkWritten(writeTranscript(settings.textName), "text transcript", settings.textName);
    std::printf("%s written.\n", settings.textName.c_str());
  }
  return 0;
}

}  // namespace

int runPrintJob(RunOptions options, FILE *standardInput) {
  RunSettings &settings = options.settings;
  // With a PDF document, page files are written only when a prefix is asked for.
  settings.pageFiles = settings.pdfName.empty() || !settings.outputPrefix.empty();
  if (settings.outputPrefix.empty()) settings.outputPrefix = options.inputName.empty() ? "TAMBRIX" : options.inputName;
  resetPrintEngine(settings, engineEvent, submitPage);
  resetCharacterRom();
  resetInterpreter(settings);
  loadStrikeCounts();
  createPage();
  startPageOutput(settings, reportEngineEvent);
  int status = 0;
  try {
    status = printPages(options, standardInput);
  } catch (...) {
    abandonPageOutput();  // no page after the one that failed, and no temporary file
    abandonDocument();    // no partial document is left behind
    abandonListing();
    throw;
  }
  abandonDocument();    // one that produced no page is not written
  abandonListing();
  if (status != 0) return status;
  saveRibbon();
  if (page.pageCount == 0) std::printf("Input did not generate any output (empty printfile?).\n");
  // What the stream looks like, when it clearly looks like another kind of stream.
  if (StreamHint hint = streamHint(settings, page.pageCount > 0); hint != StreamHint::None)
    std::fprintf(stderr, "%s\n", hintText(hint));
  return 0;
}

int runReportingErrors(const std::function<int()> &body) {
  try {
    return body();
  } catch (...) {
    std::string report;
    if (!describeException(std::current_exception(), report)) throw;
    std::cerr << report << std::endl;
  }
  return 1;
}
