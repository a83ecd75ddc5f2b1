// Run control: the command line, the run sequence and the test sheets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/run_settings.h"

struct RunOptions {
  std::string inputName;  // printer file to read; empty = standard input
  int32_t testMode = 0;   // test sheet to print first: 1 ROM dump, 2 glyph list, 3 code chart
  RunSettings settings;   // handed to the engine and the interpreter
};

// What the command line asks for.
enum class ParseResult { Run, Help };

// Every option word the parser accepts, in lower case.
std::vector<std::string> acceptedOptionWords();

// Reads the command words after the first into options, left to right, echoing each
// option; prints the usage text and stops at a help word.
ParseResult parseOptions(int argc, char **argv, RunOptions &options);

// Puts every module back to its power-on state for a run with these settings.
void resetRun(const RunSettings &settings);

// The run after the options: input, ROM, the check of every output, strike counts,
// page, test sheet, the interpretation of the input (standardInput when no file is
// named), the last page, the documents and the save. Returns 0; whatever ends the run
// early is raised.
int runPrintJob(RunOptions options, FILE *standardInput);

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
void printTestSheet(int32_t testMode);
