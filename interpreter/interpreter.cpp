#include "interpreter/interpreter.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/stop_signal.h"
#include "interpreter/plain_text.h"
#include "interpreter/stream_listing.h"
#include "interpreter/stream_statistics.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

namespace {

constexpr size_t inputBufferSize = 16384;  // bytes read from the stream at a time; a stop is seen between them
constexpr uint8_t digitZero = 48;          // '0'
constexpr uint8_t escapePosition = 16;     // the byte after 27 that makes it a dot address

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

// What one byte was.
enum class Role {
  Operand,  // an operand of the pending command
  Command,  // a command that acts (and may now wait for operands)
  Printed,  // it went to the print path
};

StreamState state;  // the stream being interpreted

bool actsNow(Acts acts) {
  switch (acts) {
    case Acts::Always:
      return true;
    case Acts::UnlessQuote:
      return !(modeWord & Quote);
    case Acts::InTextMode:
      return !(modeWord & BitImage);
  }
  return false;
}

void selectDefaultSet() {
  if (state.businessDefault)
    setModes(Business);
  else
    clearModes(Business);
}

void carriageReturn() {
  moveHead(leftMargin);
  clearModes(Quote | Reverse);
  selectDefaultSet();
}

// The print path of one byte that is not a command here.
void printByte(int c) {
  if (modeWord & BitImage) {
    if (c >= 128) printColumn(uint8_t(c));
    return;
  }
  if ((c & 0x7F) < 32 && (modeWord & Quote)) {
    toggleModes(Reverse);
    printCharacter(uint8_t(c + 64));
    toggleModes(Reverse);
  } else {
    printCharacter(uint8_t(c));
  }
}

// Moves the head as 16 or 27 16 say, from their two operand bytes.
void positionHead(Action action, unsigned a, unsigned b) {
  switch (action) {
    case Action::PixelPosition:
      moveHead((b - digitZero) * 10 + (a - digitZero));
      break;
    case Action::CellPosition:
      moveHead(((a - digitZero) * 10 + (b - digitZero)) * cellWidth);
      break;
    case Action::PixelAddress:
      moveHead((b & 1) * 256 + a);
      break;
    default:  // DotAddress
      moveHead(((a & 1) * 256 + b) * dotSize);
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
void runCommand(Action action, int c) {
  switch (action) {
    case Action::BitImageOn:         setLineSpacing(graphicLineSpacing); setModes(BitImage); break;
    case Action::LineFeed:           lineFeed(); break;
    case Action::ReturnFeed:         newLine(); break;
    case Action::CarriageReturn:     carriageReturn(); break;
    case Action::CarriageReturnFeed: carriageReturn(); lineFeed(); break;
    case Action::DoubleWidthOn:      setModes(DoubleWidth); break;
    case Action::DoubleWidthText:    setModes(DoubleWidth); clearModes(BitImage); setLineSpacing(textLineSpacing); break;
    case Action::StandardText:       clearModes(DoubleWidth | BitImage); setLineSpacing(textLineSpacing); break;
    case Action::GraphicSet:         clearModes(Business); break;
    case Action::BusinessSet:        setModes(Business); break;
    case Action::ReverseOn:          setModes(Reverse); break;
    case Action::ReverseOff:         clearModes(Reverse); break;
    case Action::ToggleQuote:        toggleModes(Quote); printByte(c); break;
    default:                         break;  // the commands with operands act in takeOperand
  }
}

// Takes one operand byte of the pending command, and carries the command out once it
// has them all.
void takeOperand(uint8_t byte) {
  PendingCommand &command = state.pending;
  command.operands[command.received++] = byte;
  if (command.received < command.wanted) return;
  command.wanted = 0;
  const uint8_t *operand = command.operands;
  switch (command.action) {
    case Action::PixelPosition:
    case Action::CellPosition:
      positionHead(command.action, operand[0], operand[1]);
      break;
    case Action::RepeatColumn:
      for (unsigned i = 0; i < operand[0]; ++i) printColumn(operand[1]);
      break;
    default:  // PixelAddress, DotAddress: 27 b, and 27 16 lo hi (or hi lo)
      if (command.received == 1 && operand[0] == escapePosition)
        command.wanted = 3;
      else if (command.received == 3)
        positionHead(command.action, operand[1], operand[2]);
      break;
  }
}

// One byte of the stream: an operand of the pending command, a command, or printed.
Role interpretByte(uint8_t c) {
  if (state.pending.wanted != 0) {
    takeOperand(c);
    return Role::Operand;
  }
  int row = commandIndex[c];
  if (row == noCommand || !actsNow(commandRows[row].acts)) {
    printByte(c);
    return Role::Printed;
  }
  Action action = state.raw ? commandRows[row].raw : commandRows[row].textFile;
  if (unsigned wanted = operandsOf(action); wanted != 0)
    state.pending = PendingCommand{action, wanted, 0, {}};
  else
    runCommand(action, c);
  return Role::Command;
}

// ---------------------------------------------------------------------------
// The listing path: the same interpretation, each byte then listed.

const char *setName(uint16_t modes) { return (modes & Business) ? "business set" : "graphic set"; }

// "paper up 21 px to y 42", or the page that filled.
void listFeed(const Before &before) {
  listWords("paper up ");
  listNumber(pageSetup.lineSpacing);
  if (head.headY > before.y) {
    listWords(" px to y ");
    listNumber(head.headY);
  } else {
    listWords(" px: the page is full, the next starts at y ");
    listNumber(head.headY);
  }
  countLinesFed(1);
}

// "head to x 0, graphic set", and what else the carriage return ended.
void listReturn(const Before &before) {
  listWords("head to x 0, ");
  listWords(setName(modeWord));
  if (before.modes & Quote) listWords(", quote mode off");
  if (before.modes & Reverse) listWords(", reverse off");
}

// "head to x 300", and a warning when that is past the right edge.
void listHeadTo() {
  listWords("x ");
  listNumber(head.headX);
  if (head.headX >= pageWidth) listWords(", past the right edge: the next column starts a new line");
}

void listPositioning(const ListedCommand &command) {
  switch (command.action) {
    case Action::PixelPosition:
    case Action::PixelAddress:
      listWords("head to ");
      break;
    case Action::CellPosition:
      listWords("head to character column ");
      listNumber(head.headX / cellWidth);
      listWords(", ");
      break;
    default:  // DotAddress
      listWords("head to dot column ");
      listNumber(head.headX / dotSize);
      listWords(", ");
      break;
  }
  listHeadTo();
}

// What the command did, from the state before and after it.
void describeCommand(const ListedCommand &command) {
  const Before &before = command.before;
  switch (command.action) {
    case Action::BitImageOn:         listWords("bit-image mode on, line pitch 14 px"); break;
    case Action::LineFeed:           listFeed(before); break;
    case Action::ReturnFeed:         listWords("head to x 0, "); listFeed(before); break;
    case Action::CarriageReturn:     listReturn(before); break;
    case Action::CarriageReturnFeed: listReturn(before); listWords(", "); listFeed(before); break;
    case Action::DoubleWidthOn:      listWords("double width on"); break;
    case Action::DoubleWidthText:    listWords("double width on, text mode, line pitch 21 px"); break;
    case Action::StandardText:       listWords("single width, text mode, line pitch 21 px"); break;
    case Action::GraphicSet:         listWords("graphic set"); break;
    case Action::BusinessSet:        listWords("business set"); break;
    case Action::ReverseOn:          listWords("reverse on"); break;
    case Action::ReverseOff:         listWords("reverse off"); break;
    case Action::ToggleQuote:
      listWords((modeWord & Quote) ? "quote mode on, " : "quote mode off, ");
      listWords((before.modes & BitImage) ? "nothing printed in bit-image mode" : "prints the quote mark");
      break;
    case Action::RepeatColumn:
      listWords("column 0x");
      listHex(command.bytes[2]);
      listWords(" printed ");
      listNumber(command.bytes[1]);
      listWords(" times, head at ");
      listHeadTo();
      break;
    case Action::PixelAddress:
    case Action::DotAddress:
      if (command.length < 4) {
        listWords("no address (the byte after 27 is not 16): both dropped");
        break;
      }
      listPositioning(command);
      break;
    default:  // PixelPosition, CellPosition
      listPositioning(command);
      break;
  }
}

void listCommand() {
  const ListedCommand &command = state.listed;
  beginListLine(command.offset, command.bytes, command.length, command.name);
  describeCommand(command);
  endListLine();
  listEngineEvents(state.offset);
}

// A control byte that is no command, or a command inside quotes, in text mode.
void listControlInText(uint8_t c, const Before &before) {
  bool command = commandIndex[c] != noCommand;
  if (before.modes & Quote) {
    beginListLine(state.offset, &c, 1, "quoted code");
    listWords("prints ");
    listCharacter(glyphText((before.modes & Business) ? businessGlyphs[uint8_t(c + 64)] : graphicGlyphs[uint8_t(c + 64)]));
    listWords(" reversed, inside quotes");
    if (!command) countControlByte(c, state.offset, ControlEffect::Quoted);
  } else {
    beginListLine(state.offset, &c, 1, "no command");
    listWords("blank cell, head to ");
    listHeadTo();
    countControlByte(c, state.offset, ControlEffect::BlankCell);
  }
  endListLine();
}

// A byte of the print path.
void listPrinted(uint8_t c, const Before &before) {
  uint64_t offset = state.offset;
  listEngineEvents(offset);
  if (before.modes & BitImage) {
    if (c >= 128) return listRunByte(ListingRun::Columns, offset, c, 0, before.modes, head.headX - dotSize);
    if (c >= 32 || commandIndex[c] != noCommand)
      return listRunByte(ListingRun::Ignored, offset, c, 0, before.modes, head.headX);
    beginListLine(offset, &c, 1, "no command");
    listWords("nothing: bit-image mode prints only bytes from 128");
    endListLine();
    return countControlByte(c, offset, ControlEffect::Nothing);
  }
  if ((c & 0x7F) < 32) return listControlInText(c, before);
  unsigned width = (before.modes & DoubleWidth) ? 2 * cellWidth : cellWidth;
  Glyph glyph = (before.modes & Business) ? businessGlyphs[c] : graphicGlyphs[c];
  listRunByte(ListingRun::Text, offset, c, glyphText(glyph), before.modes, head.headX - width);
}

void listByte(uint8_t c, Role role, const Before &before) {
  ListedCommand &command = state.listed;
  switch (role) {
    case Role::Operand:
      if (command.length < std::size(command.bytes)) command.bytes[command.length++] = c;
      if (state.pending.wanted == 0) listCommand();
      break;
    case Role::Command: {
      const CommandRow &row = commandRows[commandIndex[c]];
      command = ListedCommand{state.offset, {c}, 1, state.raw ? row.rawName : row.textName,
                              state.raw ? row.raw : row.textFile, before};
      countCommand(c, command.name);
      if (state.pending.wanted == 0) listCommand();
      break;
    }
    case Role::Printed:
      listPrinted(c, before);
      break;
  }
}

void interpretListed(const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length; ++i, ++state.offset) {
    Before before{modeWord, head.headX, head.headY};
    Role role = interpretByte(bytes[i]);
    listByte(bytes[i], role, before);
  }
}

}  // namespace

void resetInterpreter(const RunSettings &settings) {
  state = StreamState{};
  state.raw = settings.streamKind == StreamKind::Raw;
  state.plainText = settings.streamKind == StreamKind::PlainText;
  state.businessDefault = settings.businessDefault;
}

void startStream() {
  state.pending = PendingCommand{};
  state.offset = 0;
  resetStreamStatistics();
  startListedStream();
  if (state.plainText) return startPlainText();
  // A program that opened the printer for the business set prints in it from its
  // first byte; text-mode files take the default at their first carriage return.
  if (state.raw) selectDefaultSet();
}

void interpretBytes(const uint8_t *bytes, size_t length) {
  countStreamBytes(bytes, length);
  if (state.plainText) return interpretPlainText(bytes, length);
  // The listing is decided once a buffer, so that the print path has no part of it.
  if (listingOpen()) return interpretListed(bytes, length);
  for (size_t i = 0; i < length; ++i) interpretByte(bytes[i]);
  state.offset += length;
}

void endStream() {
  if (state.plainText) return endPlainText();
  if (state.pending.wanted != 0 && listingOpen()) {
    const ListedCommand &command = state.listed;
    beginListLine(command.offset, command.bytes, command.length, command.name);
    listWords("cut short by the end of the stream: dropped");
    endListLine();
  }
  if (listingOpen()) endListedRun();
  state.pending = PendingCommand{};
}

bool interpretStream(FILE *input) {
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[inputBufferSize]);  // not cleared: only what is read is used
  startStream();
  for (;;) {
    raiseIfStopped();
    size_t length = std::fread(buffer.get(), 1, inputBufferSize, input);
    bool interrupted = std::ferror(input) && errno == EINTR;  // a signal came while it waited
    if (interrupted) std::clearerr(input);
    if (length > 0)
      interpretBytes(buffer.get(), length);
    else if (!interrupted)
      break;
  }
  endStream();
  return !std::ferror(input);
}
