// Plain text (-ascii) on the ESC/P printer: ASCII or UTF-8 text translated into the
// bytes that make the printer print each letter as itself, so that the transcript gives
// the text back.
//
// ASCII prints in the USA set. A national letter prints from the graphics table (code
// page 437's upper half, ESC t 1) when it is there, else from the international set
// that has it (ESC R n); the table and set are switched only when a character needs
// it. A line feed, a carriage return and line feed, or a carriage return alone end a
// line; a tab moves to the next multiple of 8 columns with spaces; a form feed starts a
// new page; a line longer than 80 columns wraps where the printer wraps it. A character
// the fonts cannot show, control characters among them, prints as an underlined
// question mark, counted as placeholdersPrinted counts. A byte that is no UTF-8 is the
// printer's own code in the graphics table, so that text of code page 437 prints too.
//
// The bytes go to the printer each at the offset of the character they print, so that
// a stream listing names where in the text they came from.
#pragma once

#include <cstddef>
#include <cstdint>

struct Printer;

// A text begins: nothing decoded, nothing counted. The printer is at power-on.
void startEscpPlainText(Printer &p);

// Decodes and prints the next bytes of the text.
void interpretEscpPlainText(Printer &p, const uint8_t *bytes, size_t length);

// The text ended: the bytes of a character cut short print as printer codes.
void endEscpPlainText(Printer &p);
