// Run control: the command line, the run sequence and the test sheets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/run_settings.h"
#include "mechanism/page_canvas.h"

struct Printer;
struct Output;

constexpr const char *defaultListenAddress = "127.0.0.1";  // nobody else can print to it
constexpr double maxIdleSeconds = 86400;                    // a day
constexpr double liveIdleSeconds = 5;                       // the idle time of -follow, -listen and serial lines

struct RunOptions {
  std::string inputName;     // printer file to read; empty = standard input
  int32_t testMode = 0;      // test sheet to print first: 1 ROM dump, 2 glyph list, 3 code chart
  RunSettings settings;      // handed to the engine and the interpreter
  bool follow = false;       // the input file is followed by name as it grows
  double idleSeconds = -1;   // seconds without a byte that end a job; 0 never; -1 not given
  bool listen = false;       // jobs come from TCP connections
  std::string listenAddress; // the IPv4 address listened on
  unsigned listenPort = 0;   // its port; 0 lets the system choose
  unsigned baud = 0;         // the serial line's speed; 0 leaves it
  bool serialLine = false;   // the input file is a terminal, read raw and live
  std::string thenCommand;   // run after each job with its files; empty = none
};

// Whether the run prints jobs live as they come: a followed file, a port, or an idle
// time that splits the stream into jobs.
bool isLiveRun(const RunOptions &options);

// The idle time in force, in seconds: as given, else liveIdleSeconds for a followed
// file, a port or a serial line, else 0 (never).
double idleSecondsOf(const RunOptions &options);

// Notes whether the named input file is a terminal, such as a serial adapter's
// device: it is then read raw and live. Standard input is read as it is.
void noteSerialLine(RunOptions &options);

// What the command line asks for.
enum class ParseResult { Run, Help };

// A command line whose options cannot go together; what() says why.
struct OptionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Every option word the parser accepts, in lower case.
std::vector<std::string> acceptedOptionWords();

// Reads the command words after the first into options, left to right, echoing each
// option; prints the usage text and stops at a help word. Raises OptionError for a
// value that leaves nothing sensible to run (a -listen address not understood).
ParseResult parseOptions(int argc, char **argv, RunOptions &options);

// What a run hands to its caller and to the run after it.
struct RunCarry {
  PagePool pages;             // page memory, given to the next run's printer
  unsigned pagesPrinted = 0;  // pages the run printed
};

// The run after the options, for a run that is not live: input, ROM, the check of every output, strike counts,
// page, test sheet, the interpretation of the input (standardInput when no file is
// named), the last page, the documents and the save; carry, when given, lends its page
// memory to the printer and gets it back with the page count. Returns 0; whatever ends the run
// early is raised.
int runPrintJob(RunOptions options, FILE *standardInput, RunCarry *carry = nullptr);

// The settings of a run of these options: page files only without documents or with
// -out, and the prefix from the input's name when none is given.
RunSettings completeSettings(const RunOptions &options);

// The steps of one run, whole or a job of a live one, on a printer and an output record
// the run made fresh for it (the printer's pages and events go to the output): the printer started, the ROM and the check of every output, the
// strike counts, the page, the encoders, the PDF begun, and the test sheet; then the caller feeds the interpreter; then the last page and the
// documents completed; or, for a run that fails or is stopped, everything dropped.
void beginPrinting(Printer &p, Output &output, const RunSettings &settings, const std::string &inputName,
                   int32_t testMode);
void endPrinting(Printer &p, Output &output, const RunSettings &settings);
void abandonPrinting(Printer &p, Output &output);

// Saves the strike counts; a store that cannot be written is said on the console.
void saveRibbon(const Printer &p);

// Prints jobs as they come: from a followed file, a TCP port or standard input split by
// the idle time. Returns 1 when a job could not be written, else 0; a run stopped by a
// second signal, or one that cannot start, is raised.
int runLiveCapture(const RunOptions &options, FILE *standardInput);

// Reports what ended a run or a job on standard error, as "Coder Warning: ",
// "Warning: " or "Error: " and its text, and returns the exit status it calls for:
// 128 + the signal for a run stopped by a signal, 1 for anything else. What is no
// standard exception is raised again.
int reportFailure(const std::exception_ptr &failure);

// Runs body and returns its status. An exception it raises is reported on standard
// error ("Coder Warning: ", "Warning: " or "Error: " and its text) and gives status
// 128 + the signal for a run stopped by a signal, 1 for anything else.
int runReportingErrors(const std::function<int()> &body);

// Refuses, with a FileError naming both roles, an output of the run that is the input
// file, the ROM file in use, the strike store or another output, including the page
// files "<prefix>-NNN.png" the run could write.
void checkOutputFiles(const RunSettings &settings, const std::string &inputName, const std::string &romName);

// Raises the FileError a write at the end would meet, when the folder of an output is
// missing or takes no new files, or its name is a folder.
void checkDestinations(const RunSettings &settings);

// Prints the test sheet that testMode selects, if any.
void printTestSheet(Printer &p, int32_t testMode);
