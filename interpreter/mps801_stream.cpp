#include "interpreter/mps801_stream.h"

#include <array>
#include <cstdint>
#include <vector>

#include "interpreter/command_listing.h"
#include "interpreter/command_table.h"
#include "interpreter/plain_text.h"
#include "interpreter/printer.h"
#include "interpreter/stream_listing.h"
#include "interpreter/stream_statistics.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

namespace {

constexpr uint8_t digitZero = 48;          // '0'
constexpr uint8_t escapePosition = 16;     // the byte after 27 that makes it a dot address

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

}  // namespace

void powerOnMps801(Printer &) {}  // the mechanism's power-on is all of it

void startMps801Stream(Printer &p) {
  startListedStream(p.listing, p.mechanism);
  if (p.stream.plainText) return startPlainText(p);
  // A program that opened the printer for the business set prints in it from its
  // first byte; text-mode files take the default at their first carriage return.
  if (p.stream.raw) selectDefaultSet(p);
}

void interpretMps801Bytes(Printer &p, const uint8_t *bytes, size_t length) {
  if (p.stream.plainText) return interpretPlainText(p, bytes, length);
  // The listing is decided once a buffer, so that the print path has no part of it.
  if (listingOpen(p.listing)) {
    for (size_t i = 0; i < length; ++i, ++p.stream.offset) {
      Before before{p.mechanism.modes, p.mechanism.head.headX, p.mechanism.head.headY};
      Role role = interpretByte(p, bytes[i]);
      listByte(p, bytes[i], role, before);
    }
    return;
  }
  for (size_t i = 0; i < length; ++i) interpretByte(p, bytes[i]);
  p.stream.offset += length;
}

void endMps801Stream(Printer &p) {
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

unsigned mps801HeadBottom(const Printer &p) { return p.mechanism.head.headY + columnHeight; }
