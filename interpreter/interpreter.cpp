#include "interpreter/interpreter.h"

#include <array>
#include <cstdint>
#include <vector>

#include "interpreter/plain_text.h"
#include "interpreter/printer.h"
#include "interpreter/stream_listing.h"
#include "interpreter/stream_statistics.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

namespace {

constexpr uint8_t digitZero = 48;          // '0'
constexpr uint8_t escapePosition = 16;     // the byte after 27 that makes it a dot address

// When a code of the table acts; at other times it goes to the print path.
enum class Acts {
  Always,           // in every mode
  UnlessQuote,      // not inside quotes
  InTextMode,       // not in bit-image mode, where it is a data column; inside quotes too
};

struct CommandRow {
  uint8_t code;          // byte value
  Acts acts;             // when it is a command
  Action textFile;       // what it does in a printer output file
  const char *textName;  // its name there, as the stream listing gives it
  Action raw;            // what it does in a raw stream
  const char *rawName;   // its name there
};

// The control codes, in code order.
static const CommandRow commandRows[13] = {
    // code  acts               text-mode file                              raw stream
    {8,      Acts::UnlessQuote, Action::BitImageOn,     "bit image",       Action::BitImageOn,         "bit image"},
    {10,     Acts::Always,      Action::LineFeed,       "line feed",       Action::ReturnFeed,         "line feed"},
    {13,     Acts::Always,      Action::CarriageReturn, "carriage return", Action::CarriageReturnFeed, "carriage return"},
    {14,     Acts::UnlessQuote, Action::DoubleWidthOn,  "double width",    Action::DoubleWidthText,    "double width"},
    {15,     Acts::UnlessQuote, Action::StandardText,   "standard width",  Action::StandardText,       "standard width"},
    {16,     Acts::UnlessQuote, Action::PixelPosition,  "pixel position",  Action::CellPosition,       "column position"},
    {17,     Acts::UnlessQuote, Action::GraphicSet,     "graphic set",     Action::BusinessSet,        "business set"},
    {18,     Acts::UnlessQuote, Action::ReverseOn,      "reverse on",      Action::ReverseOn,          "reverse on"},
    {26,     Acts::UnlessQuote, Action::RepeatColumn,   "repeat column",   Action::RepeatColumn,       "repeat column"},
    {27,     Acts::UnlessQuote, Action::PixelAddress,   "pixel address",   Action::DotAddress,         "dot address"},
    {34,     Acts::Always,      Action::ToggleQuote,    "quote",           Action::ToggleQuote,        "quote"},
    {145,    Acts::InTextMode,  Action::BusinessSet,    "business set",    Action::GraphicSet,         "graphic set"},
    {146,    Acts::InTextMode,  Action::ReverseOff,     "reverse off",     Action::ReverseOff,         "reverse off"},
};

constexpr int noCommand = -1;

constexpr std::array<int, 256> makeCommandIndex() {
  std::array<int, 256> index{};
  for (int &entry : index) entry = noCommand;
  for (int row = 0; row < int(std::size(commandRows)); ++row) index[commandRows[row].code] = row;
  return index;
}

// Row of commandRows for each byte value, or noCommand.
static const std::array<int, 256> commandIndex = makeCommandIndex();

// What one byte was.
enum class Role {
  Operand,  // an operand of the pending command
  Command,  // a command that acts (and may now wait for operands)
  Printed,  // it went to the print path
};

bool actsNow(Printer &p, Acts acts) {
  switch (acts) {
    case Acts::Always:
      return true;
    case Acts::UnlessQuote:
      return !(p.mechanism.modes & Quote);
    case Acts::InTextMode:
      return !(p.mechanism.modes & BitImage);
  }
  return false;
}

void selectDefaultSet(Printer &p) {
  if (p.stream.businessDefault)
    setModes(p.mechanism, Business);
  else
    clearModes(p.mechanism, Business);
}

void carriageReturn(Printer &p) {
  moveHead(p.mechanism, leftMargin);
  clearModes(p.mechanism, Quote | Reverse);
  selectDefaultSet(p);
}

// The print path of one byte that is not a command here.
void printByte(Printer &p, int c) {
  if (p.mechanism.modes & BitImage) {
    if (c >= 128) printColumn(p.mechanism, uint8_t(c));
    return;
  }
  if ((c & 0x7F) < 32 && (p.mechanism.modes & Quote)) {
    toggleModes(p.mechanism, Reverse);
    printCharacter(p.mechanism, uint8_t(c + 64));
    toggleModes(p.mechanism, Reverse);
  } else {
    printCharacter(p.mechanism, uint8_t(c));
  }
}

// Moves the head as 16 or 27 16 say, from their two operand bytes.
void positionHead(Printer &p, Action action, unsigned a, unsigned b) {
  switch (action) {
    case Action::PixelPosition:
      moveHead(p.mechanism, (b - digitZero) * 10 + (a - digitZero));
      break;
    case Action::CellPosition:
      moveHead(p.mechanism, ((a - digitZero) * 10 + (b - digitZero)) * cellWidth);
      break;
    case Action::PixelAddress:
      moveHead(p.mechanism, (b & 1) * 256 + a);
      break;
    default:  // DotAddress
      moveHead(p.mechanism, ((a & 1) * 256 + b) * dotSize);
      break;
  }
}

// Operand bytes each action reads before it acts; 27 reads one, and two more only
// when that one is 16.
unsigned operandsOf(Action action) {
  switch (action) {
    case Action::PixelPosition:
    case Action::CellPosition:
    case Action::RepeatColumn:
      return 2;
    case Action::PixelAddress:
    case Action::DotAddress:
      return 1;
    default:
      return 0;
  }
}

// Carries out a command that takes no operands.
void runCommand(Printer &p, Action action, int c) {
  switch (action) {
    case Action::BitImageOn:         setLineSpacing(p.mechanism, graphicLineSpacing); setModes(p.mechanism, BitImage); break;
    case Action::LineFeed:           lineFeed(p.mechanism); break;
    case Action::ReturnFeed:         newLine(p.mechanism); break;
    case Action::CarriageReturn:     carriageReturn(p); break;
    case Action::CarriageReturnFeed: carriageReturn(p); lineFeed(p.mechanism); break;
    case Action::DoubleWidthOn:      setModes(p.mechanism, DoubleWidth); break;
    case Action::DoubleWidthText:    setModes(p.mechanism, DoubleWidth); clearModes(p.mechanism, BitImage); setLineSpacing(p.mechanism, textLineSpacing); break;
    case Action::StandardText:       clearModes(p.mechanism, DoubleWidth | BitImage); setLineSpacing(p.mechanism, textLineSpacing); break;
    case Action::GraphicSet:         clearModes(p.mechanism, Business); break;
    case Action::BusinessSet:        setModes(p.mechanism, Business); break;
    case Action::ReverseOn:          setModes(p.mechanism, Reverse); break;
    case Action::ReverseOff:         clearModes(p.mechanism, Reverse); break;
    case Action::ToggleQuote:        toggleModes(p.mechanism, Quote); printByte(p, c); break;
    default:                         break;  // the commands with operands act in takeOperand
  }
}

// Takes one operand byte of the pending command, and carries the command out once it
// has them all.
void takeOperand(Printer &p, uint8_t byte) {
  PendingCommand &command = p.stream.pending;
  command.operands[command.received++] = byte;
  if (command.received < command.wanted) return;
  command.wanted = 0;
  const uint8_t *operand = command.operands;
  switch (command.action) {
    case Action::PixelPosition:
    case Action::CellPosition:
      positionHead(p, command.action, operand[0], operand[1]);
      break;
    case Action::RepeatColumn:
      for (unsigned i = 0; i < operand[0]; ++i) printColumn(p.mechanism, operand[1]);
      break;
    default:  // PixelAddress, DotAddress: 27 b, and 27 16 lo hi (or hi lo)
      if (command.received == 1 && operand[0] == escapePosition)
        command.wanted = 3;
      else if (command.received == 3)
        positionHead(p, command.action, operand[1], operand[2]);
      break;
  }
}

// One byte of the stream: an operand of the pending command, a command, or printed.
Role interpretByte(Printer &p, uint8_t c) {
  if (p.stream.pending.wanted != 0) {
    takeOperand(p, c);
    return Role::Operand;
  }
  int row = commandIndex[c];
  if (row == noCommand || !actsNow(p, commandRows[row].acts)) {
    printByte(p, c);
    return Role::Printed;
  }
  Action action = p.stream.raw ? commandRows[row].raw : commandRows[row].textFile;
  if (unsigned wanted = operandsOf(action); wanted != 0)
    p.stream.pending = PendingCommand{action, wanted, 0, {}};
  else
    runCommand(p, action, c);
  return Role::Command;
}

// ---------------------------------------------------------------------------
// The listing path: the same interpretation, each byte then listed.

const char *setName(uint16_t modes) { return (modes & Business) ? "business set" : "graphic set"; }

// "paper up 21 px to y 42", or the page that filled.
void listFeed(Printer &p, const Before &before) {
  listWords(p.listing, "paper up ");
  listNumber(p.listing, p.mechanism.setup.lineSpacing);
  if (p.mechanism.head.headY > before.y) {
    listWords(p.listing, " px to y ");
    listNumber(p.listing, p.mechanism.head.headY);
  } else {
    listWords(p.listing, " px: the page is full, the next starts at y ");
    listNumber(p.listing, p.mechanism.head.headY);
  }
  countLinesFed(p.listing, 1);
}

// "head to x 0, graphic set", and what else the carriage return ended.
void listReturn(Printer &p, const Before &before) {
  listWords(p.listing, "head to x 0, ");
  listWords(p.listing, setName(p.mechanism.modes));
  if (before.modes & Quote) listWords(p.listing, ", quote mode off");
  if (before.modes & Reverse) listWords(p.listing, ", reverse off");
}

// "head to x 300", and a warning when that is past the right edge.
void listHeadTo(Printer &p) {
  listWords(p.listing, "x ");
  listNumber(p.listing, p.mechanism.head.headX);
  if (p.mechanism.head.headX >= pageWidth) listWords(p.listing, ", past the right edge: the next column starts a new line");
}

void listPositioning(Printer &p, const ListedCommand &command) {
  switch (command.action) {
    case Action::PixelPosition:
    case Action::PixelAddress:
      listWords(p.listing, "head to ");
      break;
    case Action::CellPosition:
      listWords(p.listing, "head to character column ");
      listNumber(p.listing, p.mechanism.head.headX / cellWidth);
      listWords(p.listing, ", ");
      break;
    default:  // DotAddress
      listWords(p.listing, "head to dot column ");
      listNumber(p.listing, p.mechanism.head.headX / dotSize);
      listWords(p.listing, ", ");
      break;
  }
  listHeadTo(p);
}

// What the command did, from the state before and after it.
void describeCommand(Printer &p, const ListedCommand &command) {
  const Before &before = command.before;
  switch (command.action) {
    case Action::BitImageOn:         listWords(p.listing, "bit-image mode on, line pitch 14 px"); break;
    case Action::LineFeed:           listFeed(p, before); break;
    case Action::ReturnFeed:         listWords(p.listing, "head to x 0, "); listFeed(p, before); break;
    case Action::CarriageReturn:     listReturn(p, before); break;
    case Action::CarriageReturnFeed: listReturn(p, before); listWords(p.listing, ", "); listFeed(p, before); break;
    case Action::DoubleWidthOn:      listWords(p.listing, "double width on"); break;
    case Action::DoubleWidthText:    listWords(p.listing, "double width on, text mode, line pitch 21 px"); break;
    case Action::StandardText:       listWords(p.listing, "single width, text mode, line pitch 21 px"); break;
    case Action::GraphicSet:         listWords(p.listing, "graphic set"); break;
    case Action::BusinessSet:        listWords(p.listing, "business set"); break;
    case Action::ReverseOn:          listWords(p.listing, "reverse on"); break;
    case Action::ReverseOff:         listWords(p.listing, "reverse off"); break;
    case Action::ToggleQuote:
      listWords(p.listing, (p.mechanism.modes & Quote) ? "quote mode on, " : "quote mode off, ");
      listWords(p.listing, (before.modes & BitImage) ? "nothing printed in bit-image mode" : "prints the quote mark");
      break;
    case Action::RepeatColumn:
      listWords(p.listing, "column 0x");
      listHex(p.listing, command.bytes[2]);
      listWords(p.listing, " printed ");
      listNumber(p.listing, command.bytes[1]);
      listWords(p.listing, " times, head at ");
      listHeadTo(p);
      break;
    case Action::PixelAddress:
    case Action::DotAddress:
      if (command.length < 4) {
        listWords(p.listing, "no address (the byte after 27 is not 16): both dropped");
        break;
      }
      listPositioning(p, command);
      break;
    default:  // PixelPosition, CellPosition
      listPositioning(p, command);
      break;
  }
}

void listCommand(Printer &p) {
  const ListedCommand &command = p.stream.listed;
  beginListLine(p.listing, command.offset, command.bytes, command.length, command.name);
  describeCommand(p, command);
  endListLine(p.listing);
  listEngineEvents(p.listing, p.stream.offset, p.mechanism);
}

// A control byte that is no command, or a command inside quotes, in text mode.
void listControlInText(Printer &p, uint8_t c, const Before &before) {
  bool command = commandIndex[c] != noCommand;
  if (before.modes & Quote) {
    beginListLine(p.listing, p.stream.offset, &c, 1, "quoted code");
    listWords(p.listing, "prints ");
    listCharacter(p.listing, glyphText((before.modes & Business) ? p.mechanism.glyphs.business[uint8_t(c + 64)] : p.mechanism.glyphs.graphic[uint8_t(c + 64)]));
    listWords(p.listing, " reversed, inside quotes");
    if (!command) countControlByte(p.listing, c, p.stream.offset, ControlEffect::Quoted);
  } else {
    beginListLine(p.listing, p.stream.offset, &c, 1, "no command");
    listWords(p.listing, "blank cell, head to ");
    listHeadTo(p);
    countControlByte(p.listing, c, p.stream.offset, ControlEffect::BlankCell);
  }
  endListLine(p.listing);
}

// A byte of the print path.
void listPrinted(Printer &p, uint8_t c, const Before &before) {
  uint64_t offset = p.stream.offset;
  listEngineEvents(p.listing, offset, p.mechanism);
  if (before.modes & BitImage) {
    if (c >= 128) return listRunByte(p.listing, ListingRun::Columns, offset, c, 0, before.modes, p.mechanism.head.headX - dotSize);
    if (c >= 32 || commandIndex[c] != noCommand)
      return listRunByte(p.listing, ListingRun::Ignored, offset, c, 0, before.modes, p.mechanism.head.headX);
    beginListLine(p.listing, offset, &c, 1, "no command");
    listWords(p.listing, "nothing: bit-image mode prints only bytes from 128");
    endListLine(p.listing);
    return countControlByte(p.listing, c, offset, ControlEffect::Nothing);
  }
  if ((c & 0x7F) < 32) return listControlInText(p, c, before);
  unsigned width = (before.modes & DoubleWidth) ? 2 * cellWidth : cellWidth;
  Glyph glyph = (before.modes & Business) ? p.mechanism.glyphs.business[c] : p.mechanism.glyphs.graphic[c];
  listRunByte(p.listing, ListingRun::Text, offset, c, glyphText(glyph), before.modes, p.mechanism.head.headX - width);
}

void listByte(Printer &p, uint8_t c, Role role, const Before &before) {
  ListedCommand &command = p.stream.listed;
  switch (role) {
    case Role::Operand:
      if (command.length < std::size(command.bytes)) command.bytes[command.length++] = c;
      if (p.stream.pending.wanted == 0) listCommand(p);
      break;
    case Role::Command: {
      const CommandRow &row = commandRows[commandIndex[c]];
      command = ListedCommand{p.stream.offset, {c}, 1, p.stream.raw ? row.rawName : row.textName,
                              p.stream.raw ? row.raw : row.textFile, before};
      countCommand(p.listing, c, command.name);
      if (p.stream.pending.wanted == 0) listCommand(p);
      break;
    }
    case Role::Printed:
      listPrinted(p, c, before);
      break;
  }
}

void interpretListed(Printer &p, const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length; ++i, ++p.stream.offset) {
    Before before{p.mechanism.modes, p.mechanism.head.headX, p.mechanism.head.headY};
    Role role = interpretByte(p, bytes[i]);
    listByte(p, bytes[i], role, before);
  }
}

}  // namespace

void startPrinter(Printer &p, const RunSettings &settings, const MechanismSinks &sinks) {
  startMechanism(p.mechanism, settings, sinks);
  p.stream = StreamState{};
  p.stream.raw = settings.streamKind == StreamKind::Raw;
  p.stream.plainText = settings.streamKind == StreamKind::PlainText;
  p.stream.businessDefault = settings.businessDefault;
  p.text = PlainTextState{};
  resetStreamStatistics(p.statistics);
  abandonListing(p.listing);
  for (int32_t &count : p.strikesAtLoad) count = 0;
}

void startStream(Printer &p) {
  p.stream.pending = PendingCommand{};
  p.stream.offset = 0;
  resetStreamStatistics(p.statistics);
  startListedStream(p.listing, p.mechanism);
  if (p.stream.plainText) return startPlainText(p);
  // A program that opened the printer for the business set prints in it from its
  // first byte; text-mode files take the default at their first carriage return.
  if (p.stream.raw) selectDefaultSet(p);
}

void interpretBytes(Printer &p, const uint8_t *bytes, size_t length) {
  countStreamBytes(p.statistics, bytes, length);
  if (p.stream.plainText) return interpretPlainText(p, bytes, length);
  // The listing is decided once a buffer, so that the print path has no part of it.
  if (listingOpen(p.listing)) return interpretListed(p, bytes, length);
  for (size_t i = 0; i < length; ++i) interpretByte(p, bytes[i]);
  p.stream.offset += length;
}

void endStream(Printer &p) {
  if (p.stream.plainText) return endPlainText(p);
  if (p.stream.pending.wanted != 0 && listingOpen(p.listing)) {
    const ListedCommand &command = p.stream.listed;
    beginListLine(p.listing, command.offset, command.bytes, command.length, command.name);
    listWords(p.listing, "cut short by the end of the stream: dropped");
    endListLine(p.listing);
  }
  if (listingOpen(p.listing)) endListedRun(p.listing);
  p.stream.pending = PendingCommand{};
}
