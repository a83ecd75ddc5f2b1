// The printer stream interpreter: a printer's power-on and the steps of its stream,
// each handed to the interpreter of the printer's model (printer_model), which reads
// the bytes sent to the printer, carries out its control codes and hands what it
// prints to the mechanism.
//
// It is fed by its caller, a buffer at a time: a command whose operands are split
// across two buffers acts as if it had come whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/run_settings.h"

struct Printer;

// A stream begins: a raw stream starts in the default character set.
void startStream(Printer &p);

// Interprets the next bytes of the stream.
void interpretBytes(Printer &p, const uint8_t *bytes, size_t length);

// The stream ended: a command still waiting for operands is dropped, printing nothing.
void endStream(Printer &p);

// The job is over: its last page is ejected, or on endless paper its sheet is cut
// below the head's lowest pin (or its lowest ink).
void endPaper(Printer &p);
