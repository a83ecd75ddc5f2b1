#include "interpreter/plain_text.h"

#include <unordered_map>

#include "interpreter/printer.h"
#include "interpreter/stream_listing.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

namespace {

constexpr char32_t tab = 9;
constexpr char32_t lineFeed = 10;
constexpr char32_t formFeed = 12;
constexpr char32_t carriageReturn = 13;
constexpr unsigned tabColumns = 8;           // a tab goes to the next multiple of this many columns
constexpr uint8_t placeholderCode = '?';     // printed reversed for a character no glyph shows
constexpr unsigned controlCount = 32;        // characters 0-31 are control characters

// Codes printed in either set: the others print the blank glyph.
constexpr unsigned firstLowCode = 32, lastLowCode = 127, firstHighCode = 160, lastHighCode = 255;

// The control characters plain text acts on, with their names in the stream listing.
struct TextCommand {
  char32_t character;
  const char *name;
};

static const TextCommand textCommands[4] = {
    {tab, "tab"},                          // head to the next multiple of 8 columns
    {lineFeed, "line feed"},               // ends the line
    {formFeed, "form feed"},               // ends the page
    {carriageReturn, "carriage return"},   // ends the line, and a line feed right after it with it
};



// The code of every character some glyph shows: the business set first, then the
// graphic set; the lowest code wins.
void mapCharacters(Printer &p) {
  p.text.codes.clear();
  for (bool business : {true, false}) {
    const Glyph(&table)[codeCount] = business ? p.mechanism.glyphs.business : p.mechanism.glyphs.graphic;
    for (unsigned code = firstLowCode; code <= lastHighCode; ++code) {
      if (code > lastLowCode && code < firstHighCode) continue;
      char32_t character = glyphText(table[code]);
      if (character != 0) p.text.codes.emplace(character, CharacterCode{uint8_t(code), business});
    }
  }
}

const TextCommand *commandOf(char32_t character) {
  for (const TextCommand &command : textCommands)
    if (command.character == character) return &command;
  return nullptr;
}

void selectSet(Printer &p, bool business) {
  if (business)
    setModes(p.mechanism, Business);
  else
    clearModes(p.mechanism, Business);
}

// Lists the carriage return held back, alone or with the line feed after it.
void listHeldReturn(Printer &p, const uint8_t *feed) {
  HeldReturn &held = p.text.heldReturn;
  if (!held.held) return;
  held.held = false;
  uint8_t bytes[2] = {uint8_t(carriageReturn), feed != nullptr ? *feed : uint8_t(0)};
  beginListLine(p.listing, held.offset, bytes, feed != nullptr ? 2 : 1, commandOf(carriageReturn)->name);
  listWords(p.listing, feed != nullptr ? "end of line, with its line feed: head to x 0, paper up to y "
                            : "end of line: head to x 0, paper up to y ");
  listNumber(p.listing, p.mechanism.head.headY);
  if (p.mechanism.head.headY <= held.y) listWords(p.listing, ", on a new page");
  endListLine(p.listing);
  listEngineEvents(p.listing, held.offset, p.mechanism);
}

// Lists a control character plain text acts on; a carriage return waits for the next
// character.
void listCommand(Printer &p, const TextCommand &command, uint64_t offset, const uint8_t *bytes, unsigned length, unsigned y) {
  countCommand(p.listing, bytes[0], command.name);
  if (command.character == carriageReturn) {
    p.text.heldReturn = HeldReturn{true, offset, y};
    return;
  }
  beginListLine(p.listing, offset, bytes, length, command.name);
  switch (command.character) {
    case tab:
      listWords(p.listing, "head to x ");
      listNumber(p.listing, p.mechanism.head.headX);
      break;
    case formFeed:
      listWords(p.listing, "new page: head to x 0, y 0");
      break;
    default:  // lineFeed
      listWords(p.listing, "end of line: head to x 0, paper up to y ");
      listNumber(p.listing, p.mechanism.head.headY);
      if (p.mechanism.head.headY <= y) listWords(p.listing, ", on a new page");
      break;
  }
  endListLine(p.listing);
  listEngineEvents(p.listing, offset, p.mechanism);
}

// Carries out a control character plain text acts on.
void runCommand(Printer &p, char32_t character) {
  switch (character) {
    case tab:
      moveHead(p.mechanism, (p.mechanism.head.headX / cellWidth / tabColumns + 1) * tabColumns * cellWidth);
      break;
    case formFeed:
      feedToNextForm(p.mechanism);
      moveHead(p.mechanism, leftMargin);
      break;
    default:  // lineFeed, carriageReturn
      newLine(p.mechanism);
      if (listingOpen(p.listing)) countLinesFed(p.listing, 1);
      break;
  }
}

// A character with no glyph: the reversed question mark.
void printPlaceholder(Printer &p, char32_t character, uint64_t offset, const uint8_t *bytes, unsigned length, bool listed) {
  setModes(p.mechanism, Reverse);
  printCharacter(p.mechanism, placeholderCode);
  clearModes(p.mechanism, Reverse);
  ++p.text.placeholders;
  if (!listed) return;
  listEngineEvents(p.listing, offset, p.mechanism);
  bool control = character < controlCount;
  beginListLine(p.listing, offset, bytes, length, control ? "no command" : "no glyph");
  listWords(p.listing, "U+");
  for (int shift = character > 0xFFFF ? 16 : 8; shift >= 0; shift -= 8) listHex(p.listing, uint8_t(character >> shift));
  listWords(p.listing, " has no glyph: a reversed ? printed");
  endListLine(p.listing);
  if (control) countControlByte(p.listing, uint8_t(character), offset, ControlEffect::Missing);
}

// Prints the code in the set, and lists it as text (or a control byte's blank cell).
void printCode(Printer &p, CharacterCode code, uint64_t offset, const uint8_t *bytes, unsigned length, bool listed) {
  selectSet(p, code.business);
  printCharacter(p.mechanism, code.code);
  if (!listed) return;
  listEngineEvents(p.listing, offset, p.mechanism);
  if ((code.code & 0x7F) < controlCount) {
    beginListLine(p.listing, offset, bytes, length, "no command");
    listWords(p.listing, "not UTF-8, taken as a printer code: blank cell");
    endListLine(p.listing);
    return countControlByte(p.listing, code.code, offset, ControlEffect::BlankCell);
  }
  const Glyph(&table)[codeCount] = code.business ? p.mechanism.glyphs.business : p.mechanism.glyphs.graphic;
  char32_t shown = glyphText(table[code.code]);
  for (unsigned i = 0; i < length; ++i)
    listRunByte(p.listing, ListingRun::Text, offset + i, bytes[i], i == 0 ? shown : 0, p.mechanism.modes, p.mechanism.head.headX - cellWidth);
}

// One decoded character, whose bytes start at offset.
void takeCharacter(Printer &p, char32_t character, uint64_t offset, const uint8_t *bytes, unsigned length) {
  bool listed = listingOpen(p.listing);
  bool feedAfterReturn = character == lineFeed && p.text.afterReturn;
  if (listed) listHeldReturn(p, feedAfterReturn ? bytes : nullptr);
  p.text.afterReturn = character == carriageReturn;
  if (feedAfterReturn) return;  // the carriage return before it ended the line
  unsigned y = p.mechanism.head.headY;
  if (const TextCommand *command = commandOf(character)) {
    runCommand(p, character);
    if (listed) listCommand(p, *command, offset, bytes, length, y);
    return;
  }
  auto known = p.text.codes.find(character);
  if (known == p.text.codes.end() || character < controlCount)
    return printPlaceholder(p, character, offset, bytes, length, listed);
  printCode(p, known->second, offset, bytes, length, listed);
}

// A byte that is no UTF-8: the printer's own code, in the business set.
void takePrinterCode(Printer &p, uint8_t byte, uint64_t offset) {
  p.text.afterReturn = false;
  bool listed = listingOpen(p.listing);
  if (listed) listHeldReturn(p, nullptr);
  printCode(p, CharacterCode{byte, true}, offset, &byte, 1, listed);
}

// Bytes a sequence has in all, from its first byte; 0 for a byte no sequence starts with.
unsigned sequenceLength(uint8_t first) {
  if (first >= 0xC2 && first <= 0xDF) return 2;
  if (first >= 0xE0 && first <= 0xEF) return 3;
  if (first >= 0xF0 && first <= 0xF4) return 4;
  return 0;
}

// Whether byte may come next in the sequence: no overlong form, no surrogate, nothing
// past U+10FFFF.
bool continues(const Sequence &sequence, uint8_t byte) {
  if (byte < 0x80 || byte > 0xBF) return false;
  if (sequence.length > 1) return true;
  switch (sequence.bytes[0]) {
    case 0xE0: return byte >= 0xA0;
    case 0xED: return byte <= 0x9F;
    case 0xF0: return byte >= 0x90;
    case 0xF4: return byte <= 0x8F;
    default:   return true;
  }
}

char32_t decode(const Sequence &sequence) {
  char32_t character = sequence.bytes[0] & (0x7F >> sequence.length);
  for (unsigned i = 1; i < sequence.length; ++i) character = character << 6 | (sequence.bytes[i] & 0x3F);
  return character;
}

// The reader of this printer's plain text; context is the Printer.
void characterRead(void *context, char32_t character, uint64_t offset, const uint8_t *bytes, unsigned length) {
  takeCharacter(*static_cast<Printer *>(context), character, offset, bytes, length);
}

void printerCodeRead(void *context, uint8_t byte, uint64_t offset) {
  takePrinterCode(*static_cast<Printer *>(context), byte, offset);
}

TextReader readerOf(Printer &p) { return TextReader{&p, characterRead, printerCodeRead}; }

}  // namespace

void dropTextSequence(Sequence &sequence, const TextReader &reader) {
  Sequence cut = sequence;
  sequence = Sequence{};
  for (unsigned i = 0; i < cut.length; ++i) reader.printerCode(reader.context, cut.bytes[i], cut.offset + i);
}

void readTextByte(Sequence &sequence, uint8_t byte, uint64_t offset, const TextReader &reader) {
  if (sequence.wanted != 0 && !continues(sequence, byte)) dropTextSequence(sequence, reader);
  if (sequence.wanted == 0) {
    if (byte < 0x80) return reader.character(reader.context, byte, offset, &byte, 1);
    unsigned wanted = sequenceLength(byte);
    if (wanted == 0) return reader.printerCode(reader.context, byte, offset);
    sequence = Sequence{{byte}, 1, wanted, offset};
    return;
  }
  sequence.bytes[sequence.length++] = byte;
  if (sequence.length < sequence.wanted) return;
  Sequence whole = sequence;
  sequence = Sequence{};
  reader.character(reader.context, decode(whole), whole.offset, whole.bytes, whole.length);
}

void startPlainText(Printer &p) {
  p.text.sequence = Sequence{};
  p.text.afterReturn = false;
  p.text.offset = 0;
  p.text.placeholders = 0;
  p.text.heldReturn = HeldReturn{};
  mapCharacters(p);
  setModes(p.mechanism, Business);
}

void interpretPlainText(Printer &p, const uint8_t *bytes, size_t length) {
  TextReader reader = readerOf(p);
  for (size_t i = 0; i < length; ++i) readTextByte(p.text.sequence, bytes[i], p.text.offset++, reader);
}

void endPlainText(Printer &p) {
  dropTextSequence(p.text.sequence, readerOf(p));
  if (!listingOpen(p.listing)) return;
  listHeldReturn(p, nullptr);
  endListedRun(p.listing);
}

uint64_t placeholdersPrinted(const Printer &p) { return p.text.placeholders; }
