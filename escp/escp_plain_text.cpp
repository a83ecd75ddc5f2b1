#include "escp/escp_plain_text.h"

#include "escp/escp_printer.h"
#include "interpreter/plain_text.h"
#include "interpreter/printer.h"

namespace {

constexpr char32_t tab = 9;
constexpr char32_t lineFeed = 10;
constexpr char32_t formFeed = 12;
constexpr char32_t carriageReturn = 13;
constexpr uint8_t escape = 27;
constexpr unsigned tabColumns = 8;     // a tab goes to the next multiple of this many columns
constexpr unsigned lineColumns = 80;   // pica columns of the print line
constexpr uint32_t picaWidth = 144;    // 1/1440 inch of a pica character
constexpr uint8_t placeholderCode = '?';

// Sends the bytes to the printer, all at the offset of the character they print.
void send(Printer &p, std::initializer_list<uint8_t> bytes, uint64_t offset) {
  for (uint8_t byte : bytes) interpretEscp(p.escp, p.mechanism, &byte, 1, offset);
}

void selectSet(Printer &p, unsigned set, uint64_t offset) {
  if (p.escp.settings.set != set) send(p, {escape, 'R', uint8_t(set)}, offset);
}

void selectGraphicsTable(Printer &p, uint64_t offset) {
  if (!p.escp.settings.graphicsTable) send(p, {escape, 't', 1}, offset);
}

// Prints the character as itself; false when no set or table has it.
bool printAsItself(Printer &p, char32_t character, uint64_t offset) {
  // A code of the set in force, ASCII or a national letter.
  for (unsigned code = 32; code < 127; ++code)
    if (p.escp.texts[code] == character) {
      send(p, {uint8_t(code)}, offset);
      return true;
    }
  if (character >= 32 && character < 127) {  // ASCII that the set in force replaces
    selectSet(p, 0, offset);
    send(p, {uint8_t(character)}, offset);
    return true;
  }
  for (unsigned i = 0; i < 128; ++i)
    if (escpGraphicsTable[i] == character) {
      selectGraphicsTable(p, offset);
      send(p, {uint8_t(128 + i)}, offset);
      return true;
    }
  for (unsigned set = 0; set < escpSets; ++set)
    for (unsigned i = 0; i < 12; ++i)
      if (escpSetCharacters[set][i] == character) {
        selectSet(p, set, offset);
        send(p, {escpSetPlaces[i]}, offset);
        return true;
      }
  return false;
}

// Spaces to the next tab column (the line's 80 columns are a multiple of 8); none
// at the end of the line, where the next character wraps anyway.
void tabulate(Printer &p, uint64_t offset) {
  const EscpPrinter &e = p.escp;
  unsigned column = (e.x - e.settings.leftMargin) / picaWidth;
  if (column >= lineColumns) return;
  unsigned next = (column / tabColumns + 1) * tabColumns;
  for (; column < next; ++column) send(p, {' '}, offset);
}

void takeCharacter(Printer &p, char32_t character, uint64_t offset) {
  bool feedAfterReturn = character == lineFeed && p.text.afterReturn;
  p.text.afterReturn = character == carriageReturn;
  if (feedAfterReturn) return;  // the carriage return before it ended the line
  switch (character) {
    case lineFeed:
    case carriageReturn:
      return send(p, {uint8_t(lineFeed)}, offset);
    case formFeed:
      return send(p, {uint8_t(formFeed)}, offset);
    case tab:
      return tabulate(p, offset);
    default:
      break;
  }
  if (printAsItself(p, character, offset)) return;
  send(p, {escape, '-', 1, placeholderCode, escape, '-', 0}, offset);
  ++p.text.placeholders;
}

// The reader of the text; context is the Printer.
void characterRead(void *context, char32_t character, uint64_t offset, const uint8_t *, unsigned) {
  takeCharacter(*static_cast<Printer *>(context), character, offset);
}

// A byte that is no UTF-8: the printer's own code, in the graphics table.
void printerCodeRead(void *context, uint8_t byte, uint64_t offset) {
  Printer &p = *static_cast<Printer *>(context);
  p.text.afterReturn = false;
  selectGraphicsTable(p, offset);
  send(p, {byte}, offset);
}

TextReader readerOf(Printer &p) { return TextReader{&p, characterRead, printerCodeRead}; }

}  // namespace

void startEscpPlainText(Printer &p) {
  p.text.sequence = Sequence{};
  p.text.afterReturn = false;
  p.text.offset = 0;
  p.text.placeholders = 0;
}

void interpretEscpPlainText(Printer &p, const uint8_t *bytes, size_t length) {
  TextReader reader = readerOf(p);
  for (size_t i = 0; i < length; ++i) readTextByte(p.text.sequence, bytes[i], p.text.offset++, reader);
}

void endEscpPlainText(Printer &p) { dropTextSequence(p.text.sequence, readerOf(p)); }
