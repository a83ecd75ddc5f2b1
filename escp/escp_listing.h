// The stream listing of the ESC/P printer (-explain): it observes the printer, which
// tells it of every character, control code and command once it has acted, and lists
// each in the listing's columns (offset, bytes, name, what it did):
//
//        0  1B 40                      ESC @            initialize printer; head at x 0.000, y 0.000 in
//        2  48 65 6C 6C 6F 2C 20 77 …  text             "Hello, world" pica, emphasized; head at x 1.200, y 0.000 in
//       14  0A                         LF               line feed, paper up 0.167 in; head at x 0.000, y 0.167 in
//       15  1B 4B C8 00 FF 00 FF 00 …  ESC K            60-dpi graphics, 200 columns; head at x 3.333, y 0.167 in
//
// The head is where it is after the event, in inches: x from the print line's left
// end, y from the top of the page. Runs of printed characters in one style are one
// line; a character that finds no room before the right margin first lists the line
// overflow. The summary counts control codes and ESC commands by name, and names the
// codes that did nothing and the ESC sequences the printer does not know.
#pragma once

#include <cstdint>

struct Printer;

// The stream begins: while a listing is open the printer is observed for it, else it
// is not observed at all.
void startEscpListing(Printer &p);

// The stream ended: lists the run of characters in progress.
void endEscpListing(Printer &p);

// As finishListing, for the ESC/P printer: the pages ejected since the stream ended,
// its summary with the hint line given, and the file put in place.
int finishEscpListing(Printer &p, const char *hint, uint64_t bytes);

// The name of the ESC command of this byte after ESC, as the summary gives it; null
// for a byte that is no command of the printer.
const char *escpCommandName(uint8_t command);
