// The listing path of the interpreter: each byte, once interpreted, listed with what it
// did, from the printer's state before and after it.
#include "interpreter/command_listing.h"

#include "interpreter/command_table.h"
#include "interpreter/stream_listing.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

namespace {

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

}  // namespace

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
