#include "interpreter/interpreter.h"

#include <array>
#include <cstdint>

#include "app/run_options.h"
#include "engine/character_rom.h"
#include "engine/print_head.h"

namespace {

constexpr int endOfInput = -1;
constexpr size_t inputBufferSize = 65536;  // bytes read from the stream at a time
constexpr uint8_t digitZero = 48;          // '0'
constexpr uint8_t quoteMark = 34;          // '"'
constexpr uint8_t setBusiness = 145;       // text mode: business set (graphic set in raw streams); data in bit-image mode
constexpr uint8_t reverseOff = 146;        // text mode: reverse off
constexpr uint8_t escapePosition = 16;     // the byte after 27 that makes it a dot address

enum class Action {
  BitImageOn,          // line pitch 14, bit-image mode on
  LineFeed,            // paper up one line, head stays
  ReturnFeed,          // head to the left margin, then a line feed
  CarriageReturn,      // head to the left margin, default set, quote and reverse off
  CarriageReturnFeed,  // the same, then a line feed
  DoubleWidthOn,       // double width on
  DoubleWidthOnOnly,   // double width on, bit-image mode off, text pitch
  TextMode,            // double width and bit-image mode off, text pitch
  PixelPosition,       // 16 u t: head to pixel 10 t + u
  CellPosition,        // 16 t u: head to character column 10 t + u
  GraphicSet,          // business set off
  BusinessSet,         // business set on
  ReverseOn,           // reverse on
  RepeatColumn,        // 26 n d: column d printed n times
  PixelAddress,        // 27 16 lo hi: head to pixel (hi & 1) 256 + lo
  DotAddress,          // 27 16 hi lo: head to dot column (hi & 1) 256 + lo
  ToggleQuote,         // quote mode toggled, and the quote mark printed
};

struct CommandRow {
  uint8_t code;       // byte value
  bool unlessQuote;   // printed instead while in quote mode
  Action textMode;    // what it does in a printer output file
  Action raw;         // what it does in a raw stream
};

// The control codes, in code order.
static const CommandRow commandRows[12] = {
    //  code  unless quote  text-mode file               raw stream
    {8, true, Action::BitImageOn, Action::BitImageOn},                // bit-image graphics
    {10, false, Action::LineFeed, Action::ReturnFeed},                // line feed
    {13, false, Action::CarriageReturn, Action::CarriageReturnFeed},  // carriage return
    {14, true, Action::DoubleWidthOn, Action::DoubleWidthOnOnly},     // double width
    {15, true, Action::TextMode, Action::TextMode},                   // standard width, text
    {16, true, Action::PixelPosition, Action::CellPosition},          // print position
    {17, true, Action::GraphicSet, Action::BusinessSet},              // character set in the line
    {18, true, Action::ReverseOn, Action::ReverseOn},                 // reverse on
    {26, true, Action::RepeatColumn, Action::RepeatColumn},           // repeat a dot column
    {27, true, Action::PixelAddress, Action::DotAddress},             // escape: dot address
    {quoteMark, false, Action::ToggleQuote, Action::ToggleQuote},     // quote mark
    {setBusiness, false, Action::BusinessSet, Action::GraphicSet},    // text mode only: charset
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

int readByte() {
  if (inputPosition == inputLength) {
    inputLength = std::fread(inputBuffer, 1, inputBufferSize, inputFile);
    inputPosition = 0;
    if (inputLength == 0) return endOfInput;
  }
  return inputBuffer[inputPosition++];
}

void carriageReturn() {
  head.headX = pageSetup.leftMargin;
  modeWord = uint16_t((modeWord & ~(Business | Quote | Reverse)) | (runOptions.defaultCharset & Business));
}

void textPitch() { pageSetup.lineSpacing = pageSetup.textLineSpacing; }

// The print path of one byte that is not a command here.
void printByte(int c) {
  if (modeWord & BitImage) {
    if (c >= 128) printColumn(uint8_t(c));
    return;
  }
  if (c == reverseOff) {
    modeWord &= ~Reverse;
  } else if ((c & 0x7F) < 32 && (modeWord & Quote)) {
    modeWord ^= Reverse;
    printCharacter(uint8_t(c + 64));
    modeWord ^= Reverse;
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
      head.headX = (b - digitZero) * 10 + (a - digitZero);
      break;
    case Action::CellPosition:
      head.headX = ((a - digitZero) * 10 + (b - digitZero)) * cellWidth;
      break;
    case Action::PixelAddress:
      head.headX = (b & 1) * 256 + a;
      break;
    default:  // DotAddress
      head.headX = ((a & 1) * 256 + b) * dotSize;
      break;
  }
  return true;
}

// Carries out one command; false when the stream ended inside its operands.
bool runCommand(Action action, int c) {
  switch (action) {
    case Action::BitImageOn:
      pageSetup.lineSpacing = pageSetup.graphicLineSpacing;
      modeWord |= BitImage;
      break;
    case Action::LineFeed:
      lineFeed();
      break;
    case Action::ReturnFeed:
      head.headX = pageSetup.leftMargin;
      lineFeed();
      break;
    case Action::CarriageReturn:
      carriageReturn();
      break;
    case Action::CarriageReturnFeed:
      carriageReturn();
      lineFeed();
      break;
    case Action::DoubleWidthOn:
      modeWord |= DoubleWidth;
      break;
    case Action::DoubleWidthOnOnly:
      modeWord = uint16_t((modeWord | DoubleWidth) & ~BitImage);
      textPitch();
      break;
    case Action::TextMode:
      modeWord &= ~(DoubleWidth | BitImage);
      textPitch();
      break;
    case Action::PixelPosition:
    case Action::CellPosition:
      return positionHead(action);
    case Action::GraphicSet:
      modeWord &= ~Business;
      break;
    case Action::BusinessSet:
      modeWord |= Business;
      break;
    case Action::ReverseOn:
      modeWord |= Reverse;
      break;
    case Action::RepeatColumn: {
      int count = readByte();
      if (count == endOfInput) return false;
      int bits = readByte();
      if (bits == endOfInput) return false;
      for (int i = 0; i < count; ++i) printColumn(uint8_t(bits));
      break;
    }
    case Action::PixelAddress:
    case Action::DotAddress: {
      int next = readByte();
      if (next == endOfInput) return false;
      if (next == escapePosition) return positionHead(action);
      break;
    }
    case Action::ToggleQuote:
      modeWord ^= Quote;
      printByte(c);
      break;
  }
  return true;
}

}  // namespace

void interpretStream(FILE *input, StreamKind kind) {
  inputFile = input;
  inputLength = inputPosition = 0;
  for (int c = readByte(); c != endOfInput; c = readByte()) {
    int row = commandIndex[c];
    // 145 is a command only in text mode; in bit-image mode it is a data column.
    bool isCommand = row != noCommand && !(commandRows[row].unlessQuote && (modeWord & Quote)) &&
                     !(c == setBusiness && (modeWord & BitImage));
    if (!isCommand) {
      printByte(c);
      continue;
    }
    const CommandRow &command = commandRows[row];
    if (!runCommand(kind == StreamKind::Raw ? command.raw : command.textMode, c)) return;
  }
}
