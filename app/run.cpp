// The run sequence, and the one place where what ends a run is reported.
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/run_options.h"
#include "engine/character_rom.h"
#include "engine/file_access.h"
#include "engine/page_image.h"
#include "engine/print_head.h"
#include "interpreter/interpreter.h"
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
  }
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

}  // namespace

int runPrintJob(RunOptions options, FILE *standardInput) {
  RunSettings &settings = options.settings;
  if (settings.outputPrefix.empty()) settings.outputPrefix = options.inputName.empty() ? "TAMBRIX" : options.inputName;
  resetPrintEngine(settings, reportEngineEvent);
  resetCharacterRom();
  loadStrikeCounts();
  createPage();
  FILE *input = standardInput;
  if (!options.inputName.empty()) {
    if (settings.debugLevel & DebugTrace) std::printf("Attempting to read %s...\n", options.inputName.c_str());
    input = openForReading(options.inputName);
    if (input == nullptr) {
      std::printf("Cannot open input file %s - aborting.\n", options.inputName.c_str());
      return 1;
    }
  }
  ejectPage();
  loadFont(settings.debugLevel);
  printTestSheet(options.testMode);
  interpretStream(input, settings);
  if (input != standardInput) std::fclose(input);
  ejectPage();
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
    std::cerr << report << std::endl;
  }
  return 1;
}
