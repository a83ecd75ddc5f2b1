// Run control: the command line, the run sequence and the test sheets.
#pragma once

#include <cstdint>
#include <string>

struct RunOptions {
  std::string inputName;    // printer file to read; empty = standard input
  int32_t testMode;         // test sheet to print first: 1 ROM dump, 2 glyph list, 3 code chart
  uint16_t defaultCharset;  // Business bit restored at every carriage return; 0 = graphic set
  bool rawStream;           // -raw: control codes as the printer's manual documents them
};

extern RunOptions runOptions;

// What the command line asks for.
enum class ParseResult { Run, Help };

// Puts the options back to their start-up values.
void resetRunOptions();

// Reads the command words after the first, left to right, echoing each option;
// prints the usage text and stops at a help word.
ParseResult parseOptions(int argc, char **argv);

// Prints the test sheet that testMode selects, if any.
void printTestSheet();
