// The listing of a stream as the interpreter read it (-explain): one line per event,
// in stream order, then a summary. A line holds the byte offset, the bytes in hex (up
// to 8, then an ellipsis), a short name and what it did:
//
//        2  1B 10 84 01                pixel address    head to x 388
//        6  0E                         double width     on
//        7  54 41 4D 42 52 49 58 20 …  text             "TAMBRIX PRINT SAMPLE" graphic set, double width, at x 388
//
// Runs of printable characters, of bit-image columns and of bytes that bit-image mode
// ignores are one line each. The interpreter fills the listing only while one is
// open, so that a run without one pays nothing for it.
//
// A listing belongs to one stream: the run sequence opens it before the stream and
// finishes it after the last page, once per run (or job).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "interpreter/printer.h"

constexpr const char *standardOutputName = "-";  // the listing's name for standard output

// Begins the listing of the next stream, into a temporary file beside name that
// finishListing puts in place; "-" lists onto standard output. Returns 0 or the errno
// value of the failure, and then no listing is open. Without replace, finishListing
// fails rather than replace a file of its name.
int openListing(Listing &listing, const std::string &name, bool replace = true);

// Whether a listing is open.
bool listingOpen(const Listing &listing);

// Lists what is still pending (the last pages ejected since the stream ended), the
// summary with the hint line given (none when empty), and puts the file in place.
// Returns 0, or the errno value of the first failure, and then no file is left.
int finishListing(Listing &listing, const char *hint, uint64_t bytes, const Mechanism &m);

// The pieces of finishListing, for a printer that lists its own summary: its first
// lines (bytes read, pages), then, once the rest of it is listed, the hint line given
// (none when empty), and the file put in place. completeListing returns as
// finishListing does.
void beginListedSummary(Listing &listing, uint64_t bytes, const Mechanism &m);
int completeListing(Listing &listing, const char *hint);

// Drops the listing and its temporary file. For a run that failed.
void abandonListing(Listing &listing);

// The stream begins: offsets from 0, nothing counted, pages counted from the engine's
// count now.
void startListedStream(Listing &listing, const Mechanism &m);

// Lists the autofeeds and page ejections since the last event, at offset.
void listEngineEvents(Listing &listing, uint64_t offset, const Mechanism &m);

// Adds a byte to the run of its kind, first listing the run in progress when it is of
// another kind or state: text gives the character the cell shows; modes are the mode
// word's set, width and reverse bits; x is the head's pixel column before the byte.
void listRunByte(Listing &listing, ListingRun kind, uint64_t offset, uint8_t byte, char32_t text, uint16_t modes, unsigned x);

// Begins a line for an event of its own (listing the run in progress first): the
// offset of its first byte, its bytes and its name. What it did follows through the
// list... functions, and endListLine ends the line.
void beginListLine(Listing &listing, uint64_t offset, const uint8_t *bytes, size_t length, const char *name);
// listWords pads the words with spaces to width columns; listNumber right-aligns the
// number in width columns.
void listWords(Listing &listing, const char *words, unsigned width = 0);
void listNumber(Listing &listing, uint64_t number, unsigned width = 0);
void listHex(Listing &listing, uint8_t byte);
void listCharacter(Listing &listing, char32_t character);
void endListLine(Listing &listing);

// Counts, for the summary, a command by its code and name, the lines fed by commands,
// and a control byte that is no command, with what it did.
void countCommand(Listing &listing, uint8_t code, const char *name);
void countLinesFed(Listing &listing, unsigned lines);
void countControlByte(Listing &listing, uint8_t code, uint64_t offset, ControlEffect effect);

// Lists the run in progress, if any.
void endListedRun(Listing &listing);
