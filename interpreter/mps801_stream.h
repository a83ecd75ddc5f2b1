// The MPS801's interpreter: its control codes, the mode word, its plain text and its
// listing, as the steps of a stream that its printer model supplies.
#pragma once

#include <cstddef>
#include <cstdint>

struct Printer;

// Power-on, once the mechanism is; a stream begins (a raw stream starts in the default
// character set); its next bytes, counted already; the stream ends (a command still
// waiting for operands is dropped, printing nothing).
void powerOnMps801(Printer &p);
void startMps801Stream(Printer &p);
void interpretMps801Bytes(Printer &p, const uint8_t *bytes, size_t length);
void endMps801Stream(Printer &p);

// The page row just below the head's lowest pin: the head's row and a column's height.
unsigned mps801HeadBottom(const Printer &p);
