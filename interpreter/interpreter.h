// The printer stream interpreter: reads the bytes sent to the printer, keeps the
// printer's modes in the mode word, executes the control codes and hands every
// printable byte to the print engine.
#pragma once

#include <cstdio>

// How control codes are read.
enum class StreamKind {
  TextMode,  // printer output files written in text mode, the default
  Raw,       // the bytes as a program sent them, read as the printer's manual documents
};

// Interprets the stream to its end. Reads through a buffer of its own; the stream is
// neither closed nor changed in mode.
void interpretStream(FILE *input, StreamKind kind = StreamKind::TextMode);
