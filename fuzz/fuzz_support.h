// What the fuzz targets share: the settings byte that starts every input, the private
// working directory with its ROM image, and one run of the program on an input (the
// whole run sequence, for fuzz_output; fuzz_interpreter drives the printer itself).
//
// The first byte of an input picks the printer and the run's settings, the rest is the
// stream:
//   bits 0-1  page height, one of the printer's four (see fuzz_support.cpp)
//   bits 2-3  both set: the ESC/P printer, to which neither means anything; else the
//             MPS801, with
//   bit 2       raw stream instead of a text-mode file
//   bit 3       business set as the default set
//   bits 4-5  debug level (trace messages, page marks)
//   bit 6     ribbon simulation on, with a short half-life
//   bit 7     strike counters start just below their 32-bit wrap
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/run_options.h"
#include "base/page_geometry.h"

// Names of the files a run writes in the working directory.
constexpr const char *fuzzPagePrefix = "f";         // page files are f-NNN.png
constexpr const char *fuzzTranscriptName = "t.txt";
constexpr const char *fuzzDocumentName = "d.pdf";

// Makes a private temporary directory the working directory (removed at exit), writes
// the ROM image and the ESC/P printer's font into it and silences standard output.
void startFuzzing();

// The options the input's settings byte selects; no file is written yet.
RunOptions fuzzOptions(const uint8_t *data, size_t size);

// The strike counts the input's run starts from: all zero, a new ribbon, or, when bit
// 7 of the settings byte is set, 100 strikes below the counters' 32-bit wrap.
void fuzzStrikeCounts(const uint8_t *data, size_t size, int32_t (&counts)[maxPins]);

// Runs the program on the stream that follows the settings byte, with the options,
// from a fresh strike store; aborts if the run does not end in order. Every file the
// run wrote is removed afterwards, so each input starts from the same directory.
void runFuzzInput(const RunOptions &options, const uint8_t *data, size_t size);
