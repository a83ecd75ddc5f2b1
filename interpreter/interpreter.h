// The printer stream interpreter: reads the bytes sent to the printer, keeps the
// printer's modes in the mode word, executes the control codes and hands every
// printable byte to the print engine.
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

// The MPS801's steps of a stream, as its model supplies them: the ones above call the
// model's.
void powerOnMps801(Printer &p);
void startMps801Stream(Printer &p);
void interpretMps801Bytes(Printer &p, const uint8_t *bytes, size_t length);
void endMps801Stream(Printer &p);
