#include "interpreter/interpreter.h"

#include <array>
#include <cstdint>

#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

namespace {

constexpr int endOfInput = -1;
constexpr size_t inputBufferSize = 65536;  // bytes read from the stream at a time
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

FILE *inputFile = nullptr;               // the stream being interpreted
uint8_t inputBuffer[inputBufferSize];    // bytes read ahead from the stream
size_t inputLength = 0;                  // valid bytes in inputBuffer
size_t inputPosition = 0;                // next byte of inputBuffer to hand out
bool businessDefault = false;            // the set every carriage return restores

int readByte() {
  if (inputPosition == inputLength) {
    inputLength = std::fread(inputBuffer, 1, inputBufferSize, inputFile);
    inputPosition = 0;
    if (inputLength == 0) return endOfInput;
  }
  return inputBuffer[inputPosition++];
}

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
  if (businessDefault)
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

// Reads the operands of 16 or 27 16 and moves the head; false at the end of input.
bool positionHead(Action action) {
  int first = readByte();
  if (first == endOfInput) return false;
  int second = readByte();
  if (second == endOfInput) return false;
  unsigned a = unsigned(first), b = unsigned(second);
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
  return true;
}

// 26 n d: d printed n times; false when the stream ended inside the operands.
bool repeatColumn() {
  int count = readByte();
  if (count == endOfInput) return false;
  int bits = readByte();
  if (bits == endOfInput) return false;
  for (int i = 0; i < count; ++i) printColumn(uint8_t(bits));
  return true;
}

// Carries out one command; false when the stream ended inside its operands.
bool runCommand(Action action, int c) {
  switch (action) {
    case Action::BitImageOn:         setLineSpacing(graphicLineSpacing); setModes(BitImage); break;
    case Action::LineFeed:           lineFeed(); break;
    case Action::ReturnFeed:         newLine(); break;
    case Action::CarriageReturn:     carriageReturn(); break;
    case Action::CarriageReturnFeed: carriageReturn(); lineFeed(); break;
    case Action::DoubleWidthOn:      setModes(DoubleWidth); break;
    case Action::DoubleWidthText:    setModes(DoubleWidth); clearModes(BitImage); setLineSpacing(textLineSpacing); break;
    case Action::StandardText:       clearModes(DoubleWidth | BitImage); setLineSpacing(textLineSpacing); break;
    case Action::PixelPosition:
    case Action::CellPosition:       return positionHead(action);
    case Action::GraphicSet:         clearModes(Business); break;
    case Action::BusinessSet:        setModes(Business); break;
    case Action::ReverseOn:          setModes(Reverse); break;
    case Action::ReverseOff:         clearModes(Reverse); break;
    case Action::RepeatColumn:       return repeatColumn();
    case Action::PixelAddress:
    case Action::DotAddress: {
      int next = readByte();
      if (next == endOfInput) return false;
      return next == escapePosition ? positionHead(action) : true;
    }
    case Action::ToggleQuote:        toggleModes(Quote); printByte(c); break;
  }
  return true;
}

}  // namespace

void interpretStream(FILE *input, const RunSettings &settings) {
  inputFile = input;
  inputLength = inputPosition = 0;
  businessDefault = settings.businessDefault;
  bool raw = settings.streamKind == StreamKind::Raw;
  // A program that opened the printer for the business set prints in it from its
  // first byte; text-mode files take the default at their first carriage return.
  if (raw) selectDefaultSet();
  for (int c = readByte(); c != endOfInput; c = readByte()) {
    int row = commandIndex[c];
    if (row == noCommand || !actsNow(commandRows[row].acts)) {
      printByte(c);
      continue;
    }
    const CommandRow &command = commandRows[row];
    if (!runCommand(raw ? command.raw : command.textFile, c)) return;
  }
}
