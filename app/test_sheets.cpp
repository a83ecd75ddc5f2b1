// The test sheets of the character ROM: a raw dump, a labelled glyph list and a code
// chart of both character sets. They print through the same engine as any input.
// The ESC/P printer has a character chart instead, an ESC/P stream made here and fed to
// the printer as its input would be.
#include <cstdio>
#include <string>

#include "app/run_options.h"
#include "mechanism/character_rom.h"
#include "interpreter/printer.h"
#include "mechanism/print_head.h"
#include "escp/escp_printer.h"

constexpr unsigned regionSize = 256;        // bytes of a ROM region
constexpr unsigned slotsPerRegion = 32;     // glyph slots shown of each region
constexpr unsigned listedSlots = 40;        // slots shown per region in the glyph list
constexpr unsigned listedRegions = 8;       // regions 0x800 .. 0xF00
constexpr unsigned firstListedRegion = 0x800;
constexpr uint8_t space = 32;

// Regions whose slots 0-31 the ROM dump shows side by side.
static const unsigned dumpedRegions[5] = {0x800, 0x900, 0xA00, 0xB00, 0xD00};

static void printText(Printer &p, const char *text) {
  for (const char *c = text; *c != '\0'; ++c) printCharacter(p.mechanism, uint8_t(*c));
}

static void printNumber(Printer &p, const char *format, unsigned number) {
  char text[16];
  std::snprintf(text, sizeof text, format, number);
  printText(p, text);
}

static void printRomDump(Printer &p) {
  for (unsigned i = 0; i < romSize; ++i) printColumn(p.mechanism, p.mechanism.glyphs.rom[i]);
  newLine(p.mechanism);
  newLine(p.mechanism);
  for (unsigned region : dumpedRegions) {
    for (unsigned i = 0; i < slotsPerRegion * glyphWidth; ++i) printColumn(p.mechanism, p.mechanism.glyphs.rom[region + i]);
    newLine(p.mechanism);
  }
}

static void printGlyphList(Printer &p) {
  for (unsigned r = 0; r < listedRegions; ++r) {
    unsigned region = firstListedRegion + r * regionSize;
    for (unsigned slot = 0; slot < listedSlots; ++slot) {
      unsigned offset = region + slot * glyphWidth;
      printNumber(p, "%04u", offset);
      printCharacter(p.mechanism, space);
      for (unsigned i = 0; i < glyphWidth; ++i) printColumn(p.mechanism, p.mechanism.glyphs.rom[offset + i]);
      newLine(p.mechanism);
    }
    newLine(p.mechanism);
  }
}

// One code in both sets: its number, its graphic glyph and its business glyph.
static void printChartEntry(Printer &p, unsigned code) {
  clearModes(p.mechanism, Business);
  printNumber(p, "%03u", code);
  printCharacter(p.mechanism, space);
  printCharacter(p.mechanism, uint8_t(code));
  printCharacter(p.mechanism, space);
  setModes(p.mechanism, Business);
  printCharacter(p.mechanism, uint8_t(code));
}

static void printCodeChart(Printer &p) {
  for (unsigned code = 32; code <= 127; ++code) {
    printChartEntry(p, code);
    printCharacter(p.mechanism, space);
    printChartEntry(p, code + 128);
    newLine(p.mechanism);
  }
}

// ---------------------------------------------------------------------------
// The ESC/P character chart: every character of both faces, every international set,
// the graphics table, the national letters of ESC 6, and a line in each pitch and
// style. Each table row starts with its first code in hex and decimal; a column is the
// last hex digit of the code.

constexpr uint8_t esc = 27;
constexpr unsigned chartRowCodes = 16;  // codes of a table row
constexpr const char *chartGap = "   ";  // between the roman and the italic table
constexpr size_t chartLabelWidth = 26;  // characters of a style line's name, with the room after it
constexpr const char *sampleText = "The quick brown fox jumps over the lazy dog.";

// The English name of each international set, by its ESC R number.
static const char *const setNames[escpSets] = {
    "USA",    "France", "Germany", "United Kingdom", "Denmark I",  "Sweden",       "Italy",
    "Spain I", "Japan", "Norway",  "Denmark II",     "Spain II",   "Latin America"};

static void escape(std::string &s, std::initializer_list<uint8_t> bytes) {
  s += char(esc);
  for (uint8_t b : bytes) s += char(b);
}

static void endLine(std::string &s) { s += "\r\n"; }

static void addNumber(std::string &s, const char *format, unsigned number) {
  char text[16];
  std::snprintf(text, sizeof text, format, number);
  s += text;
}

// The column heads of a table: the last hex digit of the codes.
static void addColumnHeads(std::string &s) {
  s += "      ";
  for (unsigned column = 0; column < chartRowCodes; ++column) addNumber(s, " %X", column);
}

// A table row: its first code in hex and decimal, then each of its codes, in italics
// when asked; DEL, which is no character in any table, as a blank.
static void addTableRow(std::string &s, unsigned first, bool italic = false) {
  addNumber(s, "%02X", first);
  addNumber(s, " %3u", first);
  if (italic) escape(s, {'4'});
  for (unsigned code = first; code < first + chartRowCodes; ++code) {
    s += ' ';
    s += code == 127 ? ' ' : char(code);
  }
  if (italic) escape(s, {'5'});
}

// Rows of codes from first on, in the table in force: roman on the left, and the same
// codes from italicFirst on, in italics, on the right.
static void addTwoTables(std::string &s, unsigned first, unsigned italicFirst, unsigned rows) {
  addColumnHeads(s);
  s += chartGap;
  addColumnHeads(s);
  endLine(s);
  for (unsigned row = 0; row < rows; ++row) {
    addTableRow(s, first + row * chartRowCodes);
    s += chartGap;
    addTableRow(s, italicFirst + row * chartRowCodes, true);
    endLine(s);
  }
}

// Each international set: the characters it prints at the twelve codes sets replace,
// roman, then italic.
static void addInternationalSets(std::string &s) {
  s += "International sets (ESC R n): the characters at the codes each set replaces";
  endLine(s);
  s += " n set            ";
  for (uint8_t place : escpSetPlaces) addNumber(s, " %02X", place);
  s += "  italic";
  endLine(s);
  for (uint8_t set = 0; set < escpSets; ++set) {
    addNumber(s, "%2u", set);
    s += ' ';
    s += setNames[set];
    s.append(15 - std::string(setNames[set]).size(), ' ');
    escape(s, {'R', set});
    for (uint8_t place : escpSetPlaces) {
      s += ' ';
      s += char(place);
      s += ' ';
    }
    s += "  ";
    escape(s, {'4'});
    for (uint8_t place : escpSetPlaces) {
      s += char(place);
      s += ' ';
    }
    escape(s, {'5'});
    escape(s, {'R', 0});
    endLine(s);
  }
}

// A line in a pitch or style: its name in pica, then the sample between the commands
// that turn the style on and off.
static void addStyleLine(std::string &s, const char *name, const std::string &on, const std::string &sample,
                         const std::string &off) {
  s += name;
  s.append(chartLabelWidth - std::string(name).size(), ' ');
  s += on + sample + off;
  endLine(s);
}

static std::string escapes(std::initializer_list<uint8_t> bytes) {
  std::string s;
  escape(s, bytes);
  return s;
}

static void addStyles(std::string &s) {
  s += "Pitches and styles";
  endLine(s);
  const std::string sample = sampleText;
  addStyleLine(s, "Pica, 10 cpi (ESC P)", escapes({'P'}), sample, "");
  addStyleLine(s, "Elite, 12 cpi (ESC M)", escapes({'M'}), sample, escapes({'P'}));
  addStyleLine(s, "Condensed, 17 cpi (SI)", "\x0f", sample + " 0123456789", "\x12");
  addStyleLine(s, "Condensed elite, 20 cpi", escapes({'M'}) + "\x0f", sample + " 0123456789",
               std::string("\x12") + escapes({'P'}));
  addStyleLine(s, "Double width (ESC W 1)", escapes({'W', 1}), "Double width", escapes({'W', 0}));
  addStyleLine(s, "Double width line (SO)", "\x0e", "Until the line ends", "");
  addStyleLine(s, "Emphasized (ESC E)", escapes({'E'}), sample, escapes({'F'}));
  addStyleLine(s, "Double-strike (ESC G)", escapes({'G'}), sample, escapes({'H'}));
  addStyleLine(s, "Italic (ESC 4)", escapes({'4'}), sample, escapes({'5'}));
  addStyleLine(s, "Underline (ESC - 1)", escapes({'-', 1}), sample, escapes({'-', 0}));
  std::string formulas = std::string("E = mc") + escapes({'S', 0}) + "2" + escapes({'T'});
  formulas += ", H";
  formulas += escapes({'S', 1}) + "2" + escapes({'T'}) + "O, ";
  addStyleLine(s, "Super/subscript (ESC S)", formulas,
               escapes({'S', 0}) + "Superscript" + escapes({'T'}) + " " + escapes({'S', 1}) + "Subscript",
               escapes({'T'}));
}

// The whole chart, a page of its own, and the printer's settings back at power-on.
static std::string escpChart() {
  std::string s = "\n";  // a line's room above the title
  s += escapes({'W', 1}) + escapes({'E'}) + "ESC/P character chart" + escapes({'F'}) + escapes({'W', 0});
  endLine(s);
  s += "Rows: the first code in hex and decimal; columns: the last hex digit of the code";
  endLine(s);
  endLine(s);
  s += "Roman, 32-127 (ESC 5)";
  s.append(38 - 21 + 3, ' ');
  s += "Italic table (ESC t 0), 160-255";
  endLine(s);
  addTwoTables(s, 32, 160, 6);
  endLine(s);
  addInternationalSets(s);
  endLine(s);
  s += "Graphics table (ESC t 1), 128-255";
  s.append(38 - 33 + 3, ' ');
  s += "The same in italics (ESC 4)";
  endLine(s);
  escape(s, {'t', 1});
  addTwoTables(s, 128, 128, 8);
  s += "Side by side, 176-223:";
  s.append(chartLabelWidth - 22, ' ');
  for (unsigned code = 176; code < 224; ++code) s += char(code);
  endLine(s);
  escape(s, {'t', 0});
  endLine(s);
  s += "ESC 6: 128-159 of the italic table print national letters";
  endLine(s);
  escape(s, {'6'});
  addColumnHeads(s);
  endLine(s);
  for (unsigned first = 128; first < 160; first += chartRowCodes) {
    addTableRow(s, first);
    endLine(s);
  }
  escape(s, {'7'});
  endLine(s);
  addStyles(s);
  s += "\x0c";
  escape(s, {'@'});
  return s;
}

// Feeds the chart to the printer, unobserved: the listing is the input's alone.
static void printEscpChart(Printer &p) {
  std::string chart = escpChart();
  EscpObserver observer = p.escp.observer;
  p.escp.observer = EscpObserver();
  interpretEscp(p.escp, p.mechanism, reinterpret_cast<const uint8_t *>(chart.data()), chart.size(), 0);
  p.escp.observer = observer;
}

void printTestSheet(Printer &p, int32_t testMode) {
  // Each sheet of the MPS801 shows its ROM; the ESC/P printer's characters come from
  // its font, and any of the sheet numbers prints its character chart.
  if (p.mechanism.settings.model == PrinterModel::Escp) {
    if (testMode >= 1 && testMode <= 3) printEscpChart(p);
    return;
  }
  switch (testMode) {
    case 1:
      printRomDump(p);
      break;
    case 2:
      printGlyphList(p);
      break;
    case 3:
      printCodeChart(p);
      break;
    default:
      break;
  }
}
