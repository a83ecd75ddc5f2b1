#include "interpreter/interpreter.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "base/stop_signal.h"
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
  uint8_t code;     // byte value
  Acts acts;        // when it is a command
  Action textFile;  // what it does in a printer output file
  Action raw;       // what it does in a raw stream
};

// The control codes, in code order.
static const CommandRow commandRows[13] = {
    // code  acts               text-mode file               raw stream
    {8,      Acts::UnlessQuote, Action::BitImageOn,     Action::BitImageOn},          // bit-image graphics
    {10,     Acts::Always,      Action::LineFeed,       Action::ReturnFeed},          // line feed
    {13,     Acts::Always,      Action::CarriageReturn, Action::CarriageReturnFeed},  // carriage return
    {14,     Acts::UnlessQuote, Action::DoubleWidthOn,  Action::DoubleWidthText},     // double width
    {15,     Acts::UnlessQuote, Action::StandardText,   Action::StandardText},        // standard width, text
    {16,     Acts::UnlessQuote, Action::PixelPosition,  Action::CellPosition},        // print position
    {17,     Acts::UnlessQuote, Action::GraphicSet,     Action::BusinessSet},         // character set in the line
    {18,     Acts::UnlessQuote, Action::ReverseOn,      Action::ReverseOn},           // reverse on
    {26,     Acts::UnlessQuote, Action::RepeatColumn,   Action::RepeatColumn},        // repeat a dot column
    {27,     Acts::UnlessQuote, Action::PixelAddress,   Action::DotAddress},          // escape: dot address
    {34,     Acts::Always,      Action::ToggleQuote,    Action::ToggleQuote},         // quote mark
    {145,    Acts::InTextMode,  Action::BusinessSet,    Action::GraphicSet},          // character set in the line
    {146,    Acts::InTextMode,  Action::ReverseOff,     Action::ReverseOff},          // reverse off
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

// The interpreter's state between two buffers of the stream.
struct StreamState {
  bool raw;                  // control codes read as a raw stream
  bool businessDefault;      // the set every carriage return restores
  PendingCommand pending;    // a command cut short by the end of a buffer
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
void interpretByte(uint8_t c) {
  if (state.pending.wanted != 0) return takeOperand(c);
  int row = commandIndex[c];
  if (row == noCommand || !actsNow(commandRows[row].acts)) return printByte(c);
  Action action = state.raw ? commandRows[row].raw : commandRows[row].textFile;
  if (unsigned wanted = operandsOf(action); wanted != 0)
    state.pending = PendingCommand{action, wanted, 0, {}};
  else
    runCommand(action, c);
}

}  // namespace

void resetInterpreter(const RunSettings &settings) {
  state = StreamState{settings.streamKind == StreamKind::Raw, settings.businessDefault, PendingCommand{}};
}

void startStream() {
  state.pending = PendingCommand{};
  // A program that opened the printer for the business set prints in it from its
  // first byte; text-mode files take the default at their first carriage return.
  if (state.raw) selectDefaultSet();
}

void interpretBytes(const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) interpretByte(bytes[i]);
}

void endStream() { state.pending = PendingCommand{}; }

bool interpretStream(FILE *input) {
  std::vector<uint8_t> buffer(inputBufferSize);
  startStream();
  for (;;) {
    raiseIfStopped();
    size_t length = std::fread(buffer.data(), 1, buffer.size(), input);
    bool interrupted = std::ferror(input) && errno == EINTR;  // a signal came while it waited
    if (interrupted) std::clearerr(input);
    if (length > 0)
      interpretBytes(buffer.data(), length);
    else if (!interrupted)
      break;
  }
  endStream();
  return !std::ferror(input);
}
