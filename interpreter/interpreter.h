// The printer stream interpreter: reads the bytes sent to the printer, keeps the
// printer's modes in the mode word, executes the control codes and hands every
// printable byte to the print engine.
#pragma once

#include <cstdio>

#include "base/run_settings.h"

// Interprets the stream to its end, reading control codes as settings.streamKind says
// and restoring the settings' default character set at each carriage return. Reads
// through a buffer of its own; the stream is neither closed nor changed in mode.
void interpretStream(FILE *input, const RunSettings &settings);
