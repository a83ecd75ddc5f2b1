// The ESC/P printer as a model of the Printer record: its stream steps, with its
// listing and its plain text.
#pragma once

#include <cstddef>
#include <cstdint>

struct Printer;

// Power-on, once the mechanism is: the printer's settings and the paper at the top.
void powerOnEscpPrinter(Printer &p);

// A stream begins: the listing observes the printer while one is open, and plain
// text starts at power-on.
void startEscpStream(Printer &p);

// The stream's next bytes: printer codes, or plain text translated into them.
void interpretEscpBytes(Printer &p, const uint8_t *bytes, size_t length);

// The stream ends: a command cut off does nothing, the line in the buffer prints, and
// the listing closes its last run.
void endEscpStream(Printer &p);

// The page row just below the head's lowest pin, on the page being painted.
unsigned escpPrinterHeadBottom(const Printer &p);
