#include "interpreter/plain_text.h"

#include <unordered_map>

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
constexpr unsigned maxSequence = 4;          // bytes of the longest UTF-8 sequence

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

struct PlainTextState {
  Sequence sequence;                                  // the character being decoded
  bool afterReturn;                                   // the last character was a carriage return
  uint64_t offset;                                    // offset of the next byte
  uint64_t placeholders;                              // characters printed as the placeholder
  HeldReturn heldReturn;                              // a carriage return not listed yet
  std::unordered_map<char32_t, CharacterCode> codes;  // the code of each character a glyph shows
};

PlainTextState text;  // the text being printed

// The code of every character some glyph shows: the business set first, then the
// graphic set; the lowest code wins.
void mapCharacters() {
  text.codes.clear();
  for (bool business : {true, false}) {
    const Glyph(&table)[codeCount] = business ? businessGlyphs : graphicGlyphs;
    for (unsigned code = firstLowCode; code <= lastHighCode; ++code) {
      if (code > lastLowCode && code < firstHighCode) continue;
      char32_t character = glyphText(table[code]);
      if (character != 0) text.codes.emplace(character, CharacterCode{uint8_t(code), business});
    }
  }
}

const TextCommand *commandOf(char32_t character) {
  for (const TextCommand &command : textCommands)
    if (command.character == character) return &command;
  return nullptr;
}

void selectSet(bool business) {
  if (business)
    setModes(Business);
  else
    clearModes(Business);
}

// Lists the carriage return held back, alone or with the line feed after it.
void listHeldReturn(const uint8_t *feed) {
  HeldReturn &held = text.heldReturn;
  if (!held.held) return;
  held.held = false;
  uint8_t bytes[2] = {uint8_t(carriageReturn), feed != nullptr ? *feed : uint8_t(0)};
  beginListLine(held.offset, bytes, feed != nullptr ? 2 : 1, commandOf(carriageReturn)->name);
  listWords(feed != nullptr ? "end of line, with its line feed: head to x 0, paper up to y "
                            : "end of line: head to x 0, paper up to y ");
  listNumber(head.headY);
  if (head.headY <= held.y) listWords(", on a new page");
  endListLine();
  listEngineEvents(held.offset);
}

// Lists a control character plain text acts on; a carriage return waits for the next
// character.
void listCommand(const TextCommand &command, uint64_t offset, const uint8_t *bytes, unsigned length, unsigned y) {
  countCommand(bytes[0], command.name);
  if (command.character == carriageReturn) {
    text.heldReturn = HeldReturn{true, offset, y};
    return;
  }
  beginListLine(offset, bytes, length, command.name);
  switch (command.character) {
    case tab:
      listWords("head to x ");
      listNumber(head.headX);
      break;
    case formFeed:
      listWords("new page: head to x 0, y 0");
      break;
    default:  // lineFeed
      listWords("end of line: head to x 0, paper up to y ");
      listNumber(head.headY);
      if (head.headY <= y) listWords(", on a new page");
      break;
  }
  endListLine();
  listEngineEvents(offset);
}

// Carries out a control character plain text acts on.
void runCommand(char32_t character) {
  switch (character) {
    case tab:
      moveHead((head.headX / cellWidth / tabColumns + 1) * tabColumns * cellWidth);
      break;
    case formFeed:
      ejectPage();
      moveHead(leftMargin);
      break;
    default:  // lineFeed, carriageReturn
      newLine();
      if (listingOpen()) countLinesFed(1);
      break;
  }
}

// A character with no glyph: the reversed question mark.
void printPlaceholder(char32_t character, uint64_t offset, const uint8_t *bytes, unsigned length, bool listed) {
  setModes(Reverse);
  printCharacter(placeholderCode);
  clearModes(Reverse);
  ++text.placeholders;
  if (!listed) return;
  listEngineEvents(offset);
  bool control = character < controlCount;
  beginListLine(offset, bytes, length, control ? "no command" : "no glyph");
  listWords("U+");
  for (int shift = character > 0xFFFF ? 16 : 8; shift >= 0; shift -= 8) listHex(uint8_t(character >> shift));
  listWords(" has no glyph: a reversed ? printed");
  endListLine();
  if (control) countControlByte(uint8_t(character), offset, ControlEffect::Missing);
}

// Prints the code in the set, and lists it as text (or a control byte's blank cell).
void printCode(CharacterCode code, uint64_t offset, const uint8_t *bytes, unsigned length, bool listed) {
  selectSet(code.business);
  printCharacter(code.code);
  if (!listed) return;
  listEngineEvents(offset);
  if ((code.code & 0x7F) < controlCount) {
    beginListLine(offset, bytes, length, "no command");
    listWords("not UTF-8, taken as a printer code: blank cell");
    endListLine();
    return countControlByte(code.code, offset, ControlEffect::BlankCell);
  }
  const Glyph(&table)[codeCount] = code.business ? businessGlyphs : graphicGlyphs;
  char32_t shown = glyphText(table[code.code]);
  for (unsigned i = 0; i < length; ++i)
    listRunByte(ListingRun::Text, offset + i, bytes[i], i == 0 ? shown : 0, modeWord, head.headX - cellWidth);
}

// One decoded character, whose bytes start at offset.
void takeCharacter(char32_t character, uint64_t offset, const uint8_t *bytes, unsigned length) {
  bool listed = listingOpen();
  bool feedAfterReturn = character == lineFeed && text.afterReturn;
  if (listed) listHeldReturn(feedAfterReturn ? bytes : nullptr);
  text.afterReturn = character == carriageReturn;
  if (feedAfterReturn) return;  // the carriage return before it ended the line
  unsigned y = head.headY;
  if (const TextCommand *command = commandOf(character)) {
    runCommand(character);
    if (listed) listCommand(*command, offset, bytes, length, y);
    return;
  }
  auto known = text.codes.find(character);
  if (known == text.codes.end() || character < controlCount)
    return printPlaceholder(character, offset, bytes, length, listed);
  printCode(known->second, offset, bytes, length, listed);
}

// A byte that is no UTF-8: the printer's own code, in the business set.
void takePrinterCode(uint8_t byte, uint64_t offset) {
  text.afterReturn = false;
  bool listed = listingOpen();
  if (listed) listHeldReturn(nullptr);
  printCode(CharacterCode{byte, true}, offset, &byte, 1, listed);
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

// The bytes of a sequence cut short, each as a printer code.
void dropSequence() {
  Sequence &sequence = text.sequence;
  for (unsigned i = 0; i < sequence.length; ++i) takePrinterCode(sequence.bytes[i], sequence.offset + i);
  sequence = Sequence{};
}

void takeByte(uint8_t byte, uint64_t offset) {
  Sequence &sequence = text.sequence;
  if (sequence.wanted != 0 && !continues(sequence, byte)) dropSequence();
  if (sequence.wanted == 0) {
    if (byte < 0x80) return takeCharacter(byte, offset, &byte, 1);
    unsigned wanted = sequenceLength(byte);
    if (wanted == 0) return takePrinterCode(byte, offset);
    sequence = Sequence{{byte}, 1, wanted, offset};
    return;
  }
  sequence.bytes[sequence.length++] = byte;
  if (sequence.length < sequence.wanted) return;
  Sequence whole = sequence;
  sequence = Sequence{};
  takeCharacter(decode(whole), whole.offset, whole.bytes, whole.length);
}

}  // namespace

void startPlainText() {
  text.sequence = Sequence{};
  text.afterReturn = false;
  text.offset = 0;
  text.placeholders = 0;
  text.heldReturn = HeldReturn{};
  mapCharacters();
  setModes(Business);
}

void interpretPlainText(const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) takeByte(bytes[i], text.offset++);
}

void endPlainText() {
  dropSequence();
  if (!listingOpen()) return;
  listHeldReturn(nullptr);
  endListedRun();
}

uint64_t placeholdersPrinted() { return text.placeholders; }
