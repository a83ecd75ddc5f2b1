// The run sequence, and the one place where what ends a run is reported.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/run_options.h"
#include "base/file_access.h"
#include "base/stop_signal.h"
#include "interpreter/interpreter.h"
#include "mechanism/character_rom.h"
#include "mechanism/page_canvas.h"
#include "mechanism/print_head.h"
#include "output/encoder_process.h"
#include "output/page_document.h"
#include "output/page_image.h"
#include "output/page_output.h"
#include "output/transcript.h"
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

void saveRibbon() {
  if (int error = saveStrikeCounts(); error != 0)
    std::printf("Could not write %s: %s. It keeps the counts it held before this run.\n", strikeStoreName,
                std::strerror(error));
}

// Opens the named input, or says why it cannot and raises the FileError that ends the run.
FILE *openInput(const std::string &name, uint16_t debugLevel) {
  if (debugLevel & DebugTrace) std::printf("Attempting to read %s...\n", name.c_str());
  FILE *input = openForReading(name);
  if (input != nullptr) return input;
  int error = errno;
  std::printf("Cannot open input file %s - aborting.\n", name.c_str());
  throw FileError("tambrix: cannot open input file `" + name + "': " + std::strerror(error));
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
  throw writeError("PDF document", name, error);
}

// From the first page to the last, and the documents once complete.
void printPages(const RunOptions &options, const RomSearch &search, FILE *input) {
  const RunSettings &settings = options.settings;
  ejectPage();
  reportRomSearch(search, settings.debugLevel);
  printTestSheet(options.testMode);
  if (!interpretStream(input))
    throw FileError("tambrix: unable to read input file `" + options.inputName + "': " + std::strerror(EIO));
  ejectPage();
  finishPageOutput();
  if (page.pageCount == 0) return;
  if (!settings.pdfName.empty()) {
    if (int error = finishDocument(); error != 0) throw writeError("PDF document", settings.pdfName, error);
    std::printf("%s written.\n", settings.pdfName.c_str());
  }
  if (!settings.textName.empty()) {
    if (int error = finishTranscript(); error != 0) throw writeError("text transcript", settings.textName, error);
    std::printf("%s written.\n", settings.textName.c_str());
  }
}

// Everything that stays of a run that did not end in order goes: encoders, temporary
// files, the documents begun.
void abandonRun() {
  abandonPageOutput();
  abandonDocument();
  abandonTranscript();
}

}  // namespace

void resetRun(const RunSettings &settings) {
  resetPageOutput();  // first: its encoders may still hold pages of the run before
  resetEncoderProcesses();
  resetPageDocument();
  resetTranscript();
  resetPageImage();
  resetPageCanvas();
  resetCharacterRom();
  resetPrintHead(settings, reportInOrder, submitPage);
  resetInterpreter(settings);
}

int runPrintJob(RunOptions options, FILE *standardInput) {
  RunSettings &settings = options.settings;
  // With a PDF document or a transcript, page files are written only when a prefix is
  // asked for.
  settings.pageFiles = (settings.pdfName.empty() && settings.textName.empty()) || !settings.outputPrefix.empty();
  if (settings.outputPrefix.empty()) settings.outputPrefix = options.inputName.empty() ? "TAMBRIX" : options.inputName;
  resetRun(settings);
  FILE *input = options.inputName.empty() ? standardInput : openInput(options.inputName, settings.debugLevel);
  try {
    RomSearch search = buildGlyphTables();
    checkOutputFiles(settings, options.inputName, search.used >= 0 ? search.tried[size_t(search.used)] : "");
    checkDestinations(settings);
    loadStrikeCounts();
    createPage();
    if (!settings.pdfName.empty()) openPdf(settings.pdfName);
    if (!settings.textName.empty())
      if (int error = openTranscript(settings.textName); error != 0)
        throw writeError("text transcript", settings.textName, error);
    startPageOutput(settings, reportEngineEvent);
    printPages(options, search, input);
  } catch (...) {
    if (input != standardInput) std::fclose(input);
    abandonRun();
    throw;
  }
  if (input != standardInput) std::fclose(input);
  abandonDocument();  // documents that got no page are not written
  abandonTranscript();
  saveRibbon();
  if (page.pageCount == 0) std::printf("Input did not generate any output (empty printfile?).\n");
  return 0;
}

int runReportingErrors(const std::function<int()> &body) {
  try {
    return body();
  } catch (...) {
    std::string report;
    if (!describeException(std::current_exception(), report)) throw;
    std::fflush(stdout);  // what was said before the failure comes first
    std::cerr << report << std::endl;
    try {
      throw;
    } catch (const RunStopped &stop) {
      return 128 + stop.signal;
    } catch (...) {
      return 1;
    }
  }
}
