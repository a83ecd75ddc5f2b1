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
struct Sequence;

// A text begins: nothing decoded, nothing counted. Call it once the glyph tables are
// built.
void startPlainText(Printer &p);

// Decodes and prints the next bytes of the text.
void interpretPlainText(Printer &p, const uint8_t *bytes, size_t length);

// The text ended: the bytes of a character cut short print as printer codes.
void endPlainText(Printer &p);

// Characters printed as the placeholder since the text began.
uint64_t placeholdersPrinted(const Printer &p);

// UTF-8 read a byte at a time, for the plain text of either printer: each whole
// character, and each byte that is no UTF-8 (or begins a sequence cut short), goes to
// the reader's functions with its offset.
struct TextReader {
  void *context;  // handed back with each call
  void (*character)(void *context, char32_t character, uint64_t offset, const uint8_t *bytes, unsigned length);
  void (*printerCode)(void *context, uint8_t byte, uint64_t offset);
};

// The next byte of the text, at offset; sequence holds the character being read.
void readTextByte(Sequence &sequence, uint8_t byte, uint64_t offset, const TextReader &reader);

// The text ended: the bytes of a character cut short, each as a printer code.
void dropTextSequence(Sequence &sequence, const TextReader &reader);
