// One printer as a value: everything it is between two bytes of its stream, in one
// record that the run makes and passes to every function of the printing core, as a
// language runtime passes its one state pointer. A fresh printer is a fresh record,
// so nothing of an earlier run can be left over, and two printers share nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "base/file_access.h"
#include "base/page_geometry.h"
#include "base/run_settings.h"
#include "interpreter/stream_statistics.h"
#include "escp/escp_printer.h"
#include "mechanism/print_head.h"

// ---------------------------------------------------------------------------
// The MPS801 interpreter's state (mps801_stream.cpp writes it).

// What a control code does.
enum class Action {
  BitImageOn,          // line pitch 14, bit-image mode on
  LineFeed,            // paper up one line, head stays
  ReturnFeed,          // head to the left margin, then a line feed
  CarriageReturn,      // head to the left margin, default set, quote and reverse off
  CarriageReturnFeed,  // the same, then a line feed
  DoubleWidthOn,       // double width on
  DoubleWidthText,     // double width on, bit-image mode off, text pitch
  StandardText,        // double width and bit-image mode off, text pitch
  PixelPosition,       // 16 u t: head to pixel 10 t + u
  CellPosition,        // 16 t u: head to character column 10 t + u
  GraphicSet,          // business set off
  BusinessSet,         // business set on
  ReverseOn,           // reverse on
  ReverseOff,          // reverse off
  RepeatColumn,        // 26 n d: column d printed n times
  PixelAddress,        // 27 16 lo hi: head to pixel (hi & 1) 256 + lo
  DotAddress,          // 27 16 hi lo: head to dot column (hi & 1) 256 + lo
  ToggleQuote,         // quote mode toggled, and the quote mark printed
};

// A command whose operand bytes have not all arrived yet.
struct PendingCommand {
  Action action;          // what it does once complete
  unsigned wanted;        // operand bytes it needs; 0 when no command is pending
  unsigned received;      // operand bytes taken so far
  uint8_t operands[3];    // the operand bytes, in stream order
};

// The printer's state before a byte, which the listing sets beside the state after.
struct Before {
  uint16_t modes;  // the mode word
  unsigned x;      // head pixel column
  unsigned y;      // head pixel row
};

// The command being listed, its bytes gathered as they come.
struct ListedCommand {
  uint64_t offset;       // offset of its code byte
  uint8_t bytes[4];      // its code and operand bytes
  unsigned length;       // bytes gathered, 1-4
  const char *name;      // its name in the command table
  Action action;         // what it does
  Before before;         // the printer before its code byte
};

// The interpreter's state between two buffers of the stream.
struct StreamState {
  bool raw;                  // control codes read as a raw stream
  bool plainText;            // the stream is plain text, not printer codes
  bool businessDefault;      // the set every carriage return restores
  PendingCommand pending;    // a command cut short by the end of a buffer
  uint64_t offset;           // bytes of the stream before the buffer being read
  ListedCommand listed;      // the command being listed, while a listing is open
};

// ---------------------------------------------------------------------------
// Plain text's state (plain_text.cpp writes it).

constexpr unsigned maxSequence = 4;  // bytes of the longest UTF-8 sequence

// The code that prints a character, and the set it is in.
struct CharacterCode {
  uint8_t code;   // printer code
  bool business;  // in the business set; else the graphic set
};

// A UTF-8 sequence being read.
struct Sequence {
  uint8_t bytes[maxSequence];  // its bytes so far
  unsigned length;             // bytes so far
  unsigned wanted;             // bytes it has in all; 0 when none is being read
  uint64_t offset;             // offset of its first byte
};

// A carriage return whose listing waits to see whether a line feed follows.
struct HeldReturn {
  bool held;            // one is waiting
  uint64_t offset;      // its offset
  unsigned y;           // head pixel row before it
};

// Plain text being printed.
struct PlainTextState {
  Sequence sequence;                                  // the character being decoded
  bool afterReturn;                                   // the last character was a carriage return
  uint64_t offset;                                    // offset of the next byte
  uint64_t placeholders;                              // characters printed as the placeholder
  HeldReturn heldReturn;                              // a carriage return not listed yet
  std::unordered_map<char32_t, CharacterCode> codes;  // the code of each character a glyph shows
};

// ---------------------------------------------------------------------------
// The stream listing's state (stream_listing.cpp writes it).

// Kinds of byte the listing gathers into one line while they follow one another.
enum class ListingRun {
  None,
  Text,     // printable characters, in one set, width and reverse state
  Columns,  // bit-image data columns
  Ignored,  // bytes below 128 that bit-image mode leaves unprinted
};

// What a control byte that is no command did, for the summary.
enum class ControlEffect {
  BlankCell,  // printed the blank glyph in text mode
  Nothing,    // nothing, in bit-image mode
  Quoted,     // inside quotes: printed reversed, as the glyph 64 codes higher
  Missing,    // plain text: a character with no glyph, printed as the placeholder
  Count,
};

constexpr size_t shownBytes = 8;      // bytes of an event shown in hex; then an ellipsis
constexpr unsigned byteValues = 256;  // values a byte can have

// The run of bytes being gathered into one line.
struct GatheredRun {
  ListingRun kind;            // None while no run is gathered
  uint64_t offset;            // offset of its first byte
  uint64_t length;            // its bytes
  uint8_t bytes[shownBytes];  // its first bytes
  uint16_t modes;             // Business, DoubleWidth and Reverse of a text run
  unsigned x;                 // head pixel column before its first byte
  std::string text;           // UTF-8 text of a text run
};

// A control byte value that is no command, as the summary tells it.
struct ControlCount {
  uint64_t count;                                    // times it was read
  uint64_t firstOffset;                              // offset of the first
  uint64_t effects[size_t(ControlEffect::Count)];    // times it had each effect
};

// What the listing of the ESC/P printer keeps between two of its events
// (escp/escp_listing.cpp writes it).
struct EscpListing {
  // The run of printed characters being gathered into one line.
  bool gathering;             // a run is being gathered
  uint64_t runOffset;         // offset of its first character
  uint64_t runLength;         // its bytes
  uint8_t runBytes[shownBytes];  // its first bytes
  uint16_t runStyle;          // the style its characters print in
  std::string runText;        // its characters, UTF-8
  // The printer after the last event.
  uint32_t x, y;              // the head: 1/1440 inch across, 1/216 inch down the page
  unsigned pages;             // pages handed over
  size_t buffered;            // characters in the line buffer
  char32_t lastBuffered;      // the last of them, 0 when none
  uint64_t overflows;         // lines fed because a character did not fit
  uint64_t controlCounts[byteValues];      // control codes read, by byte value
  uint64_t commandCounts[byteValues];      // ESC commands read, by the byte after ESC
  ControlCount idleControls[byteValues];   // control codes that did nothing
  ControlCount unknownEscapes[byteValues]; // ESC sequences the printer does not know, by their second byte
};

// A stream's listing, being written.
struct Listing {
  bool open = false;
  FILE *file = nullptr;              // the temporary file, or standard output
  bool standardOutput = false;       // listed onto standard output
  TemporaryFile temporary;           // the listing until complete
  std::string name;                  // where the finished listing goes
  bool replace = true;               // it may replace a file of that name
  int error = 0;                     // errno value of the first failure, 0 while none
  std::string buffer;                // lines not yet written
  GatheredRun run{};                 // the run being gathered
  uint64_t firstAutofeed = 0;        // the mechanism's autofeed count when the stream began
  uint64_t autofeedsListed = 0;      // the count when they were last listed
  unsigned pagesListed = 0;          // the engine's page count when last listed
  unsigned firstPage = 0;            // the engine's page count when the stream began
  uint64_t linesFed = 0;             // lines fed by commands
  uint64_t commandCounts[byteValues] = {};      // commands read, by code
  const char *commandNames[byteValues] = {};    // the name of each command read
  ControlCount controls[byteValues] = {};       // control bytes that are no command
  EscpListing escp{};                // the ESC/P printer's events, when it is the model
};

// ---------------------------------------------------------------------------


struct Printer {
  Mechanism mechanism;                   // head, ribbon, page and character generator
  StreamState stream{};                  // the interpreter between two buffers
  PlainTextState text{};                 // plain text being decoded
  StreamStatistics statistics{};         // what the stream is made of, for the hints
  Listing listing;                       // the stream listing, while one is open
  EscpPrinter escp;                      // the ESC/P printer's own state, when it is the model
  int32_t strikesAtLoad[maxPins] = {};  // the strike counts the store held when loaded
};

// Puts the printer in its power-on state for a run with these settings, its events and
// pages going to sinks. Its canvas keeps the page memory it has. The glyph tables and
// the strike counts are the run's to load.
void startPrinter(Printer &p, const RunSettings &settings, const MechanismSinks &sinks = MechanismSinks());
