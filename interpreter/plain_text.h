// Plain text (-ascii): ASCII or UTF-8 text, printed as the printer prints text sent to
// it in its business set, so that every line comes out as its letters look.
//
// A line feed, a carriage return and line feed, or a carriage return alone end a line;
// a tab moves to the next multiple of 8 columns; a form feed starts a new page; a line
// longer than 80 columns wraps where the printer wraps it. A character prints with the
// glyph whose text it is, from either set; one that no glyph shows prints as a reversed
// question mark (a placeholder any ROM image has). A byte that is no UTF-8 is taken as
// the printer's own code in the business set, which is how programs that turn the
// printer's output into text pass its graphics through.
#pragma once

#include <cstddef>
#include <cstdint>

struct Printer;

// A text begins: nothing decoded, nothing counted. Call it once the glyph tables are
// built.
void startPlainText(Printer &p);

// Decodes and prints the next bytes of the text.
void interpretPlainText(Printer &p, const uint8_t *bytes, size_t length);

// The text ended: the bytes of a character cut short print as printer codes.
void endPlainText(Printer &p);

// Characters printed as the placeholder since the text began.
uint64_t placeholdersPrinted(const Printer &p);
