// tambrix: prints, as PNG pages, what a 7-pin dot-matrix printer would have printed
// from the byte stream sent to it.
#include <sys/stat.h>

#include <cstdio>

#include "app/run_options.h"
#include "engine/character_rom.h"
#include "engine/page_image.h"
#include "engine/print_head.h"
#include "interpreter/interpreter.h"
#include "ribbon/strike_store.h"

static int argumentCount;   // argc of main
static char **arguments;    // argv of main

// Opens the named input for reading; a directory is no printer file.
static FILE *openInput(const std::string &name) {
  FILE *file = std::fopen(name.c_str(), "rb");
  struct stat info;
  if (file != nullptr && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

// The run after the banner, under the image-library error report.
static int runStages() {
  initImageLibrary(argumentCount > 0 ? arguments[0] : "tambrix");
  if (parseOptions(argumentCount, arguments) == ParseResult::Help) return 0;
  loadStrikeCounts();
  createPage();
  FILE *input = stdin;
  if (!runOptions.inputName.empty()) {
    if (debugLevel & DebugTrace) std::printf("Attempting to read %s...\n", runOptions.inputName.c_str());
    input = openInput(runOptions.inputName);
    if (input == nullptr) {
      std::printf("Cannot open input file %s - aborting.\n", runOptions.inputName.c_str());
      return 1;
    }
  }
  if (pageSetup.outputPrefix.empty())
    pageSetup.outputPrefix = runOptions.inputName.empty() ? "TAMBRIX" : runOptions.inputName;
  ejectPage();
  buildGlyphTables();
  printTestSheet();
  interpretStream(input, runOptions.rawStream ? StreamKind::Raw : StreamKind::TextMode);
  if (input != stdin) std::fclose(input);
  ejectPage();
  saveStrikeCounts();
  if (page.pageCount == 0) std::printf("Input did not generate any output (empty printfile?).\n");
  return 0;
}

int main(int argc, char **argv) {
  std::printf("TAMBRIX V0.1 beta 4\n");
  argumentCount = argc;
  arguments = argv;
  resetRunOptions();
  resetPrintHead();
  resetCharacterRom();
  int status = runReportingImageErrors(runStages);
  std::fflush(stdout);
  return status;
}
