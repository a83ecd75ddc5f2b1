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

// The run after the options: strike counts, page, input, ROM, test sheet, the
// interpretation of the input (standardInput when no file is named), the last page
// and the save. Returns the exit status; image-library and file errors are raised.
int runPrintJob(RunOptions options, FILE *standardInput);

// Runs body and returns its status; an exception it raises is reported on standard
// error ("Coder Warning: ", "Warning: " or "Error: " and its text) and gives status 1.
int runReportingErrors(const std::function<int()> &body);

// Prints the test sheet that testMode selects, if any.
void printTestSheet(int32_t testMode);
