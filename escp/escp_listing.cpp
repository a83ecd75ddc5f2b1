// The listing path of the ESC/P printer: every event the printer tells, listed with
// what it did and where the head is afterwards.
#include "escp/escp_listing.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/utf8.h"
#include "escp/escp_printer.h"
#include "interpreter/printer.h"
#include "interpreter/stream_listing.h"

namespace {

constexpr uint8_t escape = 27;
constexpr unsigned mnemonicWidth = 10;  // summary columns of "ESC K", "LF"
constexpr unsigned summaryNameWidth = 38;
constexpr unsigned countWidth = 8;
constexpr unsigned graphicsDensity[7] = {60, 120, 120, 240, 80, 72, 90};  // dots per inch, by ESC * mode

// The control codes 0-31: their names, and what they do (null: nothing on paper).
struct ControlRow {
  const char *mnemonic;
  const char *name;
};

constexpr ControlRow controlRows[32] = {
    {"NUL", nullptr},  {"SOH", nullptr},  {"STX", nullptr},   {"ETX", nullptr},
    {"EOT", nullptr},  {"ENQ", nullptr},  {"ACK", nullptr},   {"BEL", "bell: nothing on paper"},
    {"BS", "backspace"},  {"HT", "horizontal tab"},  {"LF", "line feed"},  {"VT", "vertical tab"},
    {"FF", "form feed: top of the next page"},  {"CR", "carriage return"},
    {"SO", "double width to the end of the line"},  {"SI", "condensed on"},
    {"DLE", nullptr},  {"DC1", "select printer: nothing on paper"},  {"DC2", "condensed off"},
    {"DC3", "deselect printer: nothing on paper"},  {"DC4", "double width of SO off"},
    {"NAK", nullptr},  {"SYN", nullptr},  {"ETB", nullptr},  {"CAN", "cancel line"},
    {"EM", nullptr},   {"SUB", nullptr},  {"ESC", nullptr},   {"FS", nullptr},
    {"GS", nullptr},   {"RS", nullptr},   {"US", nullptr},
};

constexpr ControlRow deleteRow = {"DEL", "delete the last character"};

// The control code a byte acts as: 128-159 as 0-31.
const ControlRow &controlRow(uint8_t byte) { return byte == 127 ? deleteRow : controlRows[byte & 0x1F]; }

// The name of every ESC command, for the summary; the listing says more from its
// parameters.
struct CommandRow {
  uint8_t code;
  const char *name;
};

constexpr CommandRow commandRows[] = {
    {'@', "initialize printer"},
    {'0', "line spacing 1/8 inch"},
    {'1', "line spacing 7/72 inch"},
    {'2', "line spacing 1/6 inch"},
    {'3', "line spacing n/216 inch"},
    {'A', "line spacing n/72 inch"},
    {'J', "paper up n/216 inch"},
    {'j', "paper back n/216 inch"},
    {'C', "form length"},
    {'N', "skip over perforation"},
    {'O', "skip over perforation off"},
    {'B', "vertical tab stops"},
    {'D', "horizontal tab stops"},
    {'e', "tab stops every n"},
    {'f', "skip spaces or lines"},
    {'l', "left margin"},
    {'Q', "right margin"},
    {'$', "absolute horizontal position"},
    {'\\', "relative horizontal position"},
    {'E', "emphasized on"},
    {'F', "emphasized off"},
    {'G', "double-strike on"},
    {'H', "double-strike off"},
    {'4', "italic on"},
    {'5', "italic off"},
    {'-', "underline"},
    {'S', "superscript or subscript"},
    {'T', "superscript and subscript off"},
    {'W', "double width"},
    {14, "double width to the end of the line"},
    {15, "condensed on"},
    {'M', "elite"},
    {'P', "pica"},
    {'!', "master select"},
    {'R', "international set"},
    {'t', "character table"},
    {'6', "codes 128-159 printable"},
    {'7', "codes 128-159 control codes"},
    {'&', "define user characters"},
    {':', "copy the font to the user set"},
    {'%', "user-defined set"},
    {'K', "graphics, 60 dpi unless ESC ? says"},
    {'L', "graphics, 120 dpi unless ESC ? says"},
    {'Y', "graphics, 120 dpi unless ESC ? says"},
    {'Z', "graphics, 240 dpi unless ESC ? says"},
    {'*', "graphics in mode m"},
    {'?', "graphics mode of ESC K, L, Y or Z"},
    {'^', "9-pin graphics"},
    {'x', "print quality"},
    {'k', "typeface"},
    {'p', "proportional spacing"},
    {'a', "justification"},
    {'U', "unidirectional printing"},
    {'<', "one line unidirectional"},
    {'s', "print speed"},
    {'8', "paper-out detector off"},
    {'9', "paper-out detector on"},
    {25, "cut-sheet feeder"},
    {'i', "immediate print"},
    {'r', "colour"},
    {'m', "printing of codes 128-159"},
    {'I', "printing of control codes"},
};

const char *const setNames[escpSets] = {"USA",    "France",      "Germany",     "United Kingdom", "Denmark I",
                                        "Sweden", "Italy",       "Spain I",     "Japan",          "Norway",
                                        "Denmark II", "Spain II", "Latin America"};

// "ESC K", "ESC SO", "ESC 0x80": ESC and the byte after it.
std::string mnemonicOf(uint8_t command) {
  std::string mnemonic = "ESC ";
  if (command > 32 && command < 127) {
    mnemonic += char(command);
  } else if (command < 32) {
    mnemonic += controlRows[command].mnemonic;
  } else if (command == 32) {
    mnemonic += "SP";
  } else {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", command);
    mnemonic += hex;
  }
  return mnemonic;
}

uint32_t word(const uint8_t *b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8; }

// A 0/1 switch as the printer reads it, a byte or a digit; -1 for anything else.
int switchValue(uint8_t b) { return b == 0 || b == '0' ? 0 : b == 1 || b == '1' ? 1 : -1; }

// A length in inches, to the thousandth: units of 1/perInch inch.
void listInches(Listing &listing, uint64_t units, uint32_t perInch) {
  uint64_t thousandths = (units * 1000 + perInch / 2) / perInch;
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu", (unsigned long long)(thousandths / 1000),
                (unsigned long long)(thousandths % 1000));
  listWords(listing, text);
}

// "; head at x 1.200, y 0.167 in", ending the line.
void endWithHead(Listing &listing, uint32_t x, uint32_t y) {
  listWords(listing, "; head at x ");
  listInches(listing, x, escpUnitsPerInchX);
  listWords(listing, ", y ");
  listInches(listing, y, escpUnitsPerInchY);
  listWords(listing, " in");
  endListLine(listing);
}

// The style characters print in, as bits.
enum StyleBit : uint16_t {
  Elite = 1, Condensed = 2, Wide = 4, Emphasized = 8, DoubleStrike = 16, Italic = 32, Underline = 64,
  Superscript = 128, Subscript = 256, UserSet = 512,
};

uint16_t styleOf(const EscpSettings &s) {
  uint16_t style = 0;
  if (s.elite) style |= Elite;
  if (s.condensed && !s.emphasized) style |= Condensed;  // emphasized wins
  if (s.doubleWidth || s.doubleWidthLine) style |= Wide;
  if (s.emphasized) style |= Emphasized;
  if (s.doubleStrike) style |= DoubleStrike;
  if (s.italic) style |= Italic;
  if (s.underline) style |= Underline;
  if (s.script == 1) style |= Superscript;
  if (s.script == 2) style |= Subscript;
  if (s.userSet) style |= UserSet;
  return style;
}

void listStyle(Listing &listing, uint16_t style) {
  listWords(listing, (style & Condensed) ? ((style & Elite) ? "condensed elite" : "condensed")
                                         : ((style & Elite) ? "elite" : "pica"));
  const struct {
    uint16_t bit;
    const char *words;
  } words[] = {{Wide, ", double width"},     {Emphasized, ", emphasized"}, {DoubleStrike, ", double-strike"},
               {Italic, ", italic"},         {Underline, ", underlined"},  {Superscript, ", superscript"},
               {Subscript, ", subscript"},   {UserSet, ", user-defined set"}};
  for (const auto &word : words)
    if (style & word.bit) listWords(listing, word.words);
}

// Lists the run of characters gathered, if any.
void listRun(Printer &p) {
  EscpListing &l = p.listing.escp;
  if (!l.gathering) return;
  l.gathering = false;
  beginListLine(p.listing, l.runOffset, l.runBytes, l.runLength, "text");
  listWords(p.listing, "\"");
  listWords(p.listing, l.runText.c_str());
  listWords(p.listing, "\" ");
  listStyle(p.listing, l.runStyle);
  endWithHead(p.listing, l.x, l.y);
  l.runText.clear();
}

// Lists the pages handed over since the last were listed, after the run before them.
void listPages(Printer &p, uint64_t offset) {
  if (p.mechanism.page.pageCount == p.listing.pagesListed) return;
  listRun(p);
  listEngineEvents(p.listing, offset, p.mechanism);
}

void takeCharacter(Printer &p, const EscpEvent &event) {
  EscpListing &l = p.listing.escp;
  const EscpPrinter &e = p.escp;
  // A character that did not fit first went to a new line: the head is not where the
  // last event left it.
  bool overflow = event.text == 0 || event.y != l.y || event.pages != l.pages || e.line.back().x != l.x;
  if (overflow) {
    listRun(p);
    beginListLine(p.listing, event.offset, nullptr, 0, "line overflow");
    listWords(p.listing, "no room before the right margin: CR and LF");
    endWithHead(p.listing, event.text == 0 ? e.settings.leftMargin : e.line.back().x, event.y);
    countLinesFed(p.listing, 1);
    ++l.overflows;
    listPages(p, event.offset);
  }
  if (event.text == 0) {
    beginListLine(p.listing, event.offset, event.bytes, event.length, "dropped");
    listWords(p.listing, "a character wider than the line: nothing printed");
    return endWithHead(p.listing, event.x, event.y);
  }
  // Every change of style is a command or control code, which ends the run.
  if (!l.gathering) {
    l.gathering = true;
    l.runOffset = event.offset;
    l.runLength = 0;
    l.runStyle = styleOf(e.settings);
  }
  if (l.runLength < shownBytes) l.runBytes[l.runLength] = event.bytes[0];
  ++l.runLength;
  appendUtf8(l.runText, event.text);
}

void takeControl(Printer &p, const EscpEvent &event) {
  EscpListing &l = p.listing.escp;
  uint8_t byte = event.bytes[0];
  const ControlRow &row = controlRow(byte);
  ++l.controlCounts[byte];
  beginListLine(p.listing, event.offset, event.bytes, event.length, row.mnemonic);
  if (row.name == nullptr) {
    listWords(p.listing, "nothing on paper");
    ControlCount &idle = l.idleControls[byte];
    if (idle.count++ == 0) idle.firstOffset = event.offset;
  } else {
    listWords(p.listing, row.name);
  }
  uint8_t code = byte == 127 ? byte : byte & 0x1F;
  const EscpSettings &s = p.escp.settings;
  switch (code) {
    case 10:
    case 11: {
      countLinesFed(p.listing, 1);
      if (event.y < l.y || event.pages != l.pages) {
        listWords(p.listing, ", on the next page");
      } else if (code == 10) {
        listWords(p.listing, ", paper up ");
        listInches(p.listing, s.lineSpacing, escpUnitsPerInchY);
        listWords(p.listing, " in");
      }
      break;
    }
    case 9:
      if (event.x == l.x) listWords(p.listing, ": no tab stop ahead before the right margin");
      break;
    case 24:
      listWords(p.listing, ": ");
      listNumber(p.listing, l.buffered);
      listWords(p.listing, l.buffered == 1 ? " character erased" : " characters erased");
      break;
    case 127:
      if (l.lastBuffered == 0) {
        listWords(p.listing, ": nothing to erase");
      } else {
        listWords(p.listing, ": \"");
        listCharacter(p.listing, l.lastBuffered);
        listWords(p.listing, "\" erased");
      }
      break;
    default:
      break;
  }
  endWithHead(p.listing, event.x, event.y);
}

// "60-dpi graphics, 200 columns", for mode m of ESC *.
void listGraphics(Listing &listing, unsigned mode, uint32_t columns, bool ninePins) {
  if (mode >= 7 || (ninePins && mode > 1)) {
    listWords(listing, ninePins ? "9-pin graphics of no known density " : "graphics in no known mode ");
    listNumber(listing, mode);
    listWords(listing, ": ");
    listNumber(listing, columns);
    listWords(listing, columns == 1 ? " column dropped" : " columns dropped");
    return;
  }
  listNumber(listing, graphicsDensity[mode]);
  listWords(listing, ninePins ? "-dpi 9-pin graphics, " : "-dpi graphics, ");
  listNumber(listing, columns);
  listWords(listing, columns == 1 ? " column" : " columns");
  if (mode == 2 || mode == 3) listWords(listing, ", no neighbouring dots");
}

// ", 2, 5, 10": the stops of ESC B and ESC D, up to the number that ends the list.
void listStops(Listing &listing, const uint8_t *b, size_t length) {
  bool any = false;
  for (size_t i = 1; i < length; ++i) {
    if (b[i] == 0 || (i > 1 && b[i] <= b[i - 1])) break;
    listWords(listing, any ? ", " : " at ");
    listNumber(listing, b[i]);
    any = true;
  }
  if (!any) listWords(listing, ": none");
}

void listSwitch(Listing &listing, const char *name, uint8_t value) {
  listWords(listing, name);
  int on = switchValue(value);
  listWords(listing, on == 1 ? " on" : on == 0 ? " off" : ": no such value, ignored");
}

// What the command did, from its bytes after ESC and the printer's state after it.
void describeCommand(Printer &p, const uint8_t *b, size_t length) {
  Listing &listing = p.listing;
  const EscpSettings &s = p.escp.settings;
  const uint8_t *n = b + 1;  // the parameters
  switch (b[0]) {
    case '3':
    case 'A':
    case 'J':
    case 'j':
      listWords(listing, b[0] == 'J' ? "paper up " : b[0] == 'j' ? "paper back " : "line spacing ");
      listNumber(listing, n[0]);
      listWords(listing, b[0] == 'A' ? "/72 inch" : "/216 inch");
      break;
    case 'C':
      listWords(listing, "form length ");
      listNumber(listing, n[0] != 0 ? n[0] : n[1]);
      listWords(listing, n[0] != 0 ? " lines, now " : " inches, now ");
      listInches(listing, s.formLength, escpUnitsPerInchY);
      listWords(listing, " in");
      break;
    case 'N':
      listWords(listing, "skip over perforation, ");
      listNumber(listing, n[0]);
      listWords(listing, n[0] == 1 ? " line" : " lines");
      if (n[0] < 1 || n[0] > 127) listWords(listing, ": out of range, ignored");
      break;
    case 'B':
    case 'D':
      listWords(listing, b[0] == 'B' ? "vertical tab stops" : "horizontal tab stops");
      listStops(listing, b, length);
      break;
    case 'e':
    case 'f': {
      int which = switchValue(n[0]);
      if (which < 0) {
        listWords(listing, b[0] == 'e' ? "tab stops" : "skip");
        listWords(listing, ": no such kind, ignored");
        break;
      }
      if (b[0] == 'e') listWords(listing, which == 0 ? "horizontal tab stops every " : "vertical tab stops every ");
      listNumber(listing, n[1]);
      if (b[0] == 'e') listWords(listing, which == 0 ? " columns" : " lines");
      else listWords(listing, which == 0 ? " spaces forward" : " line feeds");
      if (b[0] == 'f' && which == 1) countLinesFed(listing, n[1]);
      break;
    }
    case 'l':
    case 'Q':
      listWords(listing, b[0] == 'l' ? "left margin at column " : "right margin after column ");
      listNumber(listing, n[0]);
      listWords(listing, ", now ");
      listInches(listing, b[0] == 'l' ? s.leftMargin : s.rightMargin, escpUnitsPerInchX);
      listWords(listing, " in");
      break;
    case '$':
      listWords(listing, "head to ");
      listNumber(listing, word(n));
      listWords(listing, "/60 inch from the left margin");
      break;
    case '\\': {
      int value = int16_t(word(n));
      listWords(listing, value < 0 ? "head back " : "head on ");
      listNumber(listing, uint64_t(value < 0 ? -value : value));
      listWords(listing, "/120 inch");
      break;
    }
    case '-': listSwitch(listing, "underline", n[0]); break;
    case 'W': listSwitch(listing, "double width", n[0]); break;
    case '%': listSwitch(listing, "user-defined set", n[0]); break;
    case 'S': {
      int which = switchValue(n[0]);
      listWords(listing, which == 0 ? "superscript" : which == 1 ? "subscript" : "superscript or subscript: no such value, ignored");
      break;
    }
    case '!': {
      listWords(listing, "master select ");
      listNumber(listing, n[0]);
      listWords(listing, ": ");
      listStyle(listing, styleOf(s) & ~(Superscript | Subscript | UserSet));
      if (n[0] & 4 && n[0] & 8) listWords(listing, " (emphasized wins over condensed)");
      break;
    }
    case 'R':
      listWords(listing, "international set ");
      listNumber(listing, n[0]);
      if (n[0] < escpSets) {
        listWords(listing, ", ");
        listWords(listing, setNames[n[0]]);
      } else {
        listWords(listing, ": no such set, ignored");
      }
      break;
    case 't': {
      int which = switchValue(n[0]);
      listWords(listing, which == 0 ? "character table: italic" : which == 1 ? "character table: graphics"
                                                                            : "character table: no such table, ignored");
      break;
    }
    case '&':
      listWords(listing, "define user characters ");
      listNumber(listing, n[1]);
      listWords(listing, " to ");
      listNumber(listing, n[2]);
      if (n[2] < n[1]) listWords(listing, ": none");
      break;
    case 'K':
    case 'L':
    case 'Y':
    case 'Z': {
      unsigned index = b[0] == 'K' ? 0 : b[0] == 'L' ? 1 : b[0] == 'Y' ? 2 : 3;
      listGraphics(listing, s.graphicsModes[index], word(n), false);
      break;
    }
    case '*': listGraphics(listing, n[0], word(n + 1), false); break;
    case '^': listGraphics(listing, n[0], word(n + 1), true); break;
    case '?':
      if (n[0] == 'K' || n[0] == 'L' || n[0] == 'Y' || n[0] == 'Z') {
        listWords(listing, "ESC ");
        listCharacter(listing, n[0]);
        listWords(listing, " prints in mode ");
        listNumber(listing, n[1]);
      } else {
        listWords(listing, "graphics mode of no graphics command: ignored");
      }
      break;
    case 'x': case 'k': case 'p': case 'a': case 'U': case 's': case 25: case 'i': case 'r': case 'm': case 'I':
      listWords(listing, escpCommandName(b[0]));
      listWords(listing, " ");
      listNumber(listing, n[0]);
      listWords(listing, ": no effect on this printer");
      break;
    case '<': case '8': case '9':
      listWords(listing, escpCommandName(b[0]));
      listWords(listing, ": no effect on this printer");
      break;
    default:
      listWords(listing, escpCommandName(b[0]));
      break;
  }
}

// The bytes of a command as the listing shows them: ESC, then the first bytes after it.
struct ShownBytes {
  uint8_t bytes[shownBytes];
  size_t length;  // of the whole command
};

ShownBytes shownCommand(const EscpEvent &event) {
  ShownBytes shown{{escape}, event.length + 1};
  for (size_t i = 0; i < event.length && i + 1 < shownBytes; ++i) shown.bytes[i + 1] = event.bytes[i];
  return shown;
}

void takeCommand(Printer &p, const EscpEvent &event) {
  EscpListing &l = p.listing.escp;
  uint8_t command = event.bytes[0];
  ShownBytes shown = shownCommand(event);
  std::string mnemonic = mnemonicOf(command);
  beginListLine(p.listing, event.offset, shown.bytes, shown.length, mnemonic.c_str());
  if (event.known) {
    ++l.commandCounts[command];
    describeCommand(p, event.bytes, event.length);
  } else {
    ControlCount &unknown = l.unknownEscapes[command];
    if (unknown.count++ == 0) unknown.firstOffset = event.offset;
    listWords(p.listing, "no command of this printer: both bytes ignored");
  }
  endWithHead(p.listing, event.x, event.y);
}

void takeCutOff(Printer &p, const EscpEvent &event) {
  ShownBytes shown = shownCommand(event);
  std::string mnemonic = event.length > 0 ? mnemonicOf(event.bytes[0]) : std::string("ESC");
  beginListLine(p.listing, event.offset, shown.bytes, shown.length, mnemonic.c_str());
  listWords(p.listing, "cut short by the end of the stream: dropped");
  endWithHead(p.listing, event.x, event.y);
}

// The printer's observer: context is the Printer.
void seen(void *context, const EscpEvent &event) {
  Printer &p = *static_cast<Printer *>(context);
  EscpListing &l = p.listing.escp;
  if (event.kind == EscpEventKind::Character) {
    takeCharacter(p, event);
  } else {
    listRun(p);
    if (event.kind == EscpEventKind::Control) takeControl(p, event);
    else if (event.kind == EscpEventKind::Command) takeCommand(p, event);
    else takeCutOff(p, event);
  }
  listPages(p, event.offset);
  l.x = event.x;
  l.y = event.y;
  l.pages = event.pages;
  l.buffered = p.escp.line.size();
  l.lastBuffered = p.escp.line.empty() ? 0 : p.escp.line.back().text;
}

// "   10  0A  LF        line feed                      12": one row of the summary's counts.
void listCountRow(Listing &listing, uint8_t code, const char *mnemonic, const char *name, uint64_t count) {
  listNumber(listing, code, 5);
  listWords(listing, "  ");
  listHex(listing, code);
  listWords(listing, "  ");
  listWords(listing, mnemonic, mnemonicWidth);
  listWords(listing, name, summaryNameWidth);
  listNumber(listing, count, countWidth);
  listWords(listing, "\n");
}

// "    0  00  NUL       3 times, first at offset 5"
void listOccurrenceRow(Listing &listing, uint8_t code, const char *mnemonic, const ControlCount &counted) {
  listNumber(listing, code, 5);
  listWords(listing, "  ");
  listHex(listing, code);
  listWords(listing, "  ");
  listWords(listing, mnemonic, mnemonicWidth);
  listNumber(listing, counted.count);
  listWords(listing, counted.count == 1 ? " time, first at offset " : " times, first at offset ");
  listNumber(listing, counted.firstOffset);
  listWords(listing, "\n");
}

void listSummary(Printer &p, uint64_t bytes) {
  Listing &listing = p.listing;
  const EscpListing &l = listing.escp;
  beginListedSummary(listing, bytes, p.mechanism);
  listWords(listing, "lines fed:   ");
  listNumber(listing, listing.linesFed);
  listWords(listing, ", ");
  listNumber(listing, l.overflows);
  listWords(listing, " of them by line overflow\ncontrol codes:\n");
  bool any = false;
  for (unsigned code = 0; code < byteValues; ++code) {
    if (l.controlCounts[code] == 0) continue;
    const ControlRow &row = controlRow(uint8_t(code));
    listCountRow(listing, uint8_t(code), row.mnemonic, row.name != nullptr ? row.name : "nothing on paper", l.controlCounts[code]);
    any = true;
  }
  if (!any) listWords(listing, "  none\n");
  listWords(listing, "ESC commands:\n");
  any = false;
  for (unsigned code = 0; code < byteValues; ++code) {
    if (l.commandCounts[code] == 0) continue;
    listCountRow(listing, uint8_t(code), mnemonicOf(uint8_t(code)).c_str(), escpCommandName(uint8_t(code)), l.commandCounts[code]);
    any = true;
  }
  if (!any) listWords(listing, "  none\n");
  listWords(listing, "control codes that did nothing:\n");
  any = false;
  for (unsigned code = 0; code < byteValues; ++code) {
    if (l.idleControls[code].count == 0) continue;
    listOccurrenceRow(listing, uint8_t(code), controlRow(uint8_t(code)).mnemonic, l.idleControls[code]);
    any = true;
  }
  if (!any) listWords(listing, "  none\n");
  listWords(listing, "ESC sequences the printer does not know:\n");
  any = false;
  for (unsigned code = 0; code < byteValues; ++code) {
    if (l.unknownEscapes[code].count == 0) continue;
    listOccurrenceRow(listing, uint8_t(code), mnemonicOf(uint8_t(code)).c_str(), l.unknownEscapes[code]);
    any = true;
  }
  if (!any) listWords(listing, "  none\n");
}

}  // namespace

const char *escpCommandName(uint8_t command) {
  if (!knownEscpCommand(command)) return nullptr;
  for (const CommandRow &row : commandRows)
    if (row.code == command) return row.name;
  return nullptr;
}

void startEscpListing(Printer &p) {
  if (!listingOpen(p.listing)) {
    p.escp.observer = EscpObserver();
    return;
  }
  startListedStream(p.listing, p.mechanism);
  EscpListing &l = p.listing.escp;
  l.gathering = false;
  l.x = p.escp.x;
  l.y = p.escp.y;
  l.pages = p.mechanism.page.pageCount;
  l.buffered = p.escp.line.size();
  l.lastBuffered = p.escp.line.empty() ? 0 : p.escp.line.back().text;
  p.escp.observer = EscpObserver{&p, seen};
}

void endEscpListing(Printer &p) {
  if (!listingOpen(p.listing)) return;
  listRun(p);
  listPages(p, p.stream.offset);
}

int finishEscpListing(Printer &p, const char *hint, uint64_t bytes) {
  if (!listingOpen(p.listing)) return EINVAL;
  listRun(p);
  listEngineEvents(p.listing, bytes, p.mechanism);
  listSummary(p, bytes);
  p.escp.observer = EscpObserver();
  return completeListing(p.listing, hint);
}
