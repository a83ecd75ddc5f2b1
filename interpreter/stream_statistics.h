// What a stream is made of, counted as it is read, so that a run can say when its
// bytes look like something other than the stream kind it was read as: a raw printer
// stream read as a text-mode file, plain text sent as it is, text in small letters
// meant for the business set, or a stream made for the 9-pin ESC/P printer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/run_settings.h"

struct StreamStatistics {
  uint64_t bytes;              // bytes read since the stream began
  uint64_t counts[256];        // bytes of each value
  uint64_t returnFeeds;        // carriage returns directly followed by a line feed
  uint64_t escpEscapes;        // escape sequences (27 and its command byte) the ESC/P printer knows
  uint64_t mps801Escapes;      // escape sequences the MPS801 knows: 27 16
  int previous;                // the last byte read, -1 before the first
  bool escapeOpen;             // the last byte read began an escape sequence: the next is its command
};


// What the stream looks like, when it clearly looks like something its run did not
// read it as.
enum class StreamHint {
  None,       // it fits the kind it was read as, or looks like nothing in particular
  Raw,        // text-mode run: many carriage returns and not one line feed
  PlainText,  // control bytes only for lines, tabs and pages; small letters the
              //   graphic set would print as graphics
  Business,   // a printer stream whose letters are mostly small, printed in the
              //   graphic set, which prints them as graphics
  Escp,       // MPS801 run: many escape sequences of the ESC/P printer and not one of
              //   the MPS801's
};

// A stream begins: nothing counted.
void resetStreamStatistics(StreamStatistics &statistics);

// Counts the next bytes of the stream.
void countStreamBytes(StreamStatistics &statistics, const uint8_t *bytes, size_t length);

// The hint for the stream counted, read with these settings; None unless printed
// (nothing to say about a run that printed nothing).
StreamHint streamHint(const StreamStatistics &statistics, const RunSettings &settings, bool printed);

// The sentence naming what the stream looks like and the option that fits; empty for
// None.
const char *hintText(StreamHint hint);
