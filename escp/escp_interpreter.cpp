// The ESC/P printer: its control codes and ESC commands, the line buffer, and the
// paper's movement from line to line and page to page.
#include <algorithm>
#include <cstring>

#include "escp/escp_printer.h"
#include "mechanism/page_canvas.h"
#include "mechanism/print_head.h"

namespace {

constexpr uint8_t escape = 27;
constexpr uint32_t emphasisOffset = 12;  // 1/120 inch, in 1/1440
constexpr uint32_t halfColumnsPerCharacter = 12;
// Characters the line buffer holds. A line holds at most 160, but backspaces can keep
// a line from ending for ever: past this its characters are printed, and CAN and DEL
// reach only those that came after.
constexpr size_t mostBuffered = 4096;
constexpr uint32_t graphicsPitch[7] = {24, 12, 12, 6, 18, 20, 16};  // 1/1440 between columns, by ESC * mode
constexpr bool graphicsApart[7] = {false, false, true, true, false, false, false};  // no neighbouring dots

// ---------------------------------------------------------------------------
// Pitch and characters

// 1/1440 inch between the half-dot columns of a character in the pitch in force.
uint32_t halfPitchOf(const EscpSettings &s) {
  uint32_t pitch = s.condensed && !s.emphasized ? (s.elite ? 6 : 7) : (s.elite ? 10 : 12);
  return s.doubleWidth || s.doubleWidthLine ? 2 * pitch : pitch;
}

// One character of the pitch in force, as tabs, margins and spaces count it.
uint32_t characterWidth(const EscpSettings &s) { return halfColumnsPerCharacter * halfPitchOf(s); }

// The character of an ASCII code in the international set in force.
char32_t inSet(const EscpSettings &s, unsigned code) {
  for (unsigned i = 0; i < 12; ++i)
    if (escpSetPlaces[i] == code) return escpSetCharacters[s.set][i];
  return char32_t(code);
}

// Recomputes what each code prints after a change of set or table.
void refreshCodes(EscpPrinter &e) {
  const EscpSettings &s = e.settings;
  for (unsigned code = 0; code < 256; ++code) {
    char32_t text = 0;
    bool italic = false;
    if (code >= 32 && code <= 126) {
      text = inSet(s, code);
    } else if (code >= 128 && s.graphicsTable) {
      text = escpGraphicsTable[code - 128];
    } else if (code >= 160) {  // the italic table: 32-127 again, in italics
      text = code == 255 ? U' ' : inSet(s, code - 128);
      italic = true;
    } else if (code >= 128 && s.upperPrintable) {
      text = escpUpperNational[code - 128];
      italic = true;
    }
    e.texts[code] = text;
    e.upperItalic[code] = italic;
    for (unsigned face = 0; face < 2; ++face) {
      auto found = e.font.faces[face].find(text);
      e.glyphs[face][code] = text != 0 && found != e.font.faces[face].end() ? &found->second : nullptr;
    }
  }
}

void powerOnSettings(EscpPrinter &e, const Mechanism &m) {
  e.settings = EscpSettings();
  // The power-on form length is the run's page length (11 inches unless -height says).
  e.settings.formLength = std::clamp(uint32_t((uint64_t(m.settings.pageHeight) * escpUnitsPerInchY +
                                               m.geometry.pixelsPerInchY / 2) / m.geometry.pixelsPerInchY),
                                     uint32_t(1), uint32_t(100 * escpUnitsPerInchY));
  constexpr uint32_t pica = halfColumnsPerCharacter * 12;  // 1/10 inch
  for (uint32_t stop = 8; stop * pica < escpLineWidth && e.settings.tabStops.size() < escpMostTabStops; stop += 8)
    e.settings.tabStops.push_back(stop * pica);  // every 8 characters of pica
  refreshCodes(e);
}

// ---------------------------------------------------------------------------
// Striking dots, and the pages they land on

// Pixels of a page of the form length.
unsigned pagePixels(const Mechanism &m, uint32_t formLength) {
  uint64_t pixels = (uint64_t(formLength) * m.geometry.pixelsPerInchY + escpUnitsPerInchY / 2) / escpUnitsPerInchY;
  return unsigned(std::max<uint64_t>(1, pixels));
}

// Floor division for a numerator that may be negative.
int64_t floorDivide(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Writes the blank pages that lie between the last page written and this one, now
// that this one takes ink. Its cells so far stay with it.
void writeBlankPages(EscpPrinter &e, Mechanism &m) {
  if (e.blankPages == 0 || m.page.pageDirty) return;
  std::vector<TextCell> cells = std::move(m.page.cells);
  std::vector<unsigned> rows = std::move(m.page.rows);
  for (; e.blankPages > 0; --e.blankPages) {
    m.page.cells.clear();
    m.page.rows.clear();
    m.page.pageDirty = true;
    ejectPage(m);
  }
  m.page.cells = std::move(cells);
  m.page.rows = std::move(rows);
}

// Strikes a dot of the pin whose top is y/432 inch below the page's top and whose
// left end is x/1440 inch from the print line's: its centre half a dot (1/144 inch)
// further, placed on the nearest pixel. The part of a dot below the page is struck
// again at the top of the next.
void strike(EscpPrinter &e, Mechanism &m, uint32_t x, int64_t y, unsigned pin) {
  const PageGeometry &g = m.geometry;
  // The centre in pixels is (x + 10) * ppi / 1440 across and (y + 3) * ppi / 432 down;
  // the dot's four pixels start two before it, rounded to the nearest.
  int64_t left = floorDivide((int64_t(x) + 10) * g.pixelsPerInchX * 2 - 3 * escpUnitsPerInchX, 2 * escpUnitsPerInchX);
  int64_t top = floorDivide((y + 3) * g.pixelsPerInchY * 2 - 3 * 2 * escpUnitsPerInchY, 2 * 2 * escpUnitsPerInchY);
  int64_t height = m.setup.pageHeight;
  if (left >= int64_t(g.width)) return;
  writeBlankPages(e, m);
  if (top < height) strikeRoundDot(m, int(left), int(std::max<int64_t>(top, -4)), pin);
  if (top + 4 > height) e.carried.push_back(EscpCarriedDot{x, int32_t(y - 2 * int64_t(e.settings.formLength)), uint8_t(pin)});
}

// The text cell of a character, in page pixels.
void noteCell(Mechanism &m, const EscpCharacter &c) {
  if (!m.keepText) return;
  const PageGeometry &g = m.geometry;
  unsigned x = unsigned(uint64_t(c.x) * g.pixelsPerInchX / escpUnitsPerInchX);
  unsigned y = unsigned(uint64_t(c.y) * g.pixelsPerInchY / escpUnitsPerInchY);
  unsigned width = std::max(1u, unsigned(uint64_t(c.advance) * g.pixelsPerInchX / escpUnitsPerInchX));
  unsigned height = unsigned(9 * escpPinPitch * g.pixelsPerInchY / escpUnitsPerInchY);
  m.page.cells.push_back(TextCell{x, y, width, height, c.text});
  if (m.page.rows.empty() || m.page.rows.back() != y) m.page.rows.push_back(y);
}

// Strikes a character of the line buffer.
void drawCharacter(EscpPrinter &e, Mechanism &m, const EscpCharacter &c) {
  int64_t lineTop = 2 * int64_t(c.y);  // 1/432 inch
  for (unsigned column = 0; column < escpGlyphColumns; ++column) {
    uint16_t pins = c.columns[column];
    if (pins == 0) continue;
    uint32_t x = c.x + column * c.halfPitch;
    for (unsigned pin = 0; pin < escpPins; ++pin) {
      if (!(pins >> pin & 1)) continue;
      // Super- and subscripts are drawn at half height, their rows 1/144 inch apart.
      int64_t y = c.script == 0 ? lineTop + 2 * escpPinPitch * pin
                                : lineTop + escpPinPitch * pin + (c.script == 2 ? 8 * escpPinPitch : 0);
      for (unsigned pass = 0; pass < (c.doubleStrike ? 2u : 1u); ++pass, y += 2) {
        strike(e, m, x, y, pin);
        if (c.wide) strike(e, m, x + c.halfPitch, y, pin);
        if (c.emphasized) strike(e, m, x + emphasisOffset, y, pin);
        if (c.emphasized && c.wide) strike(e, m, x + c.halfPitch + emphasisOffset, y, pin);
      }
    }
  }
  if (c.underline)
    for (unsigned column = 0; column < halfColumnsPerCharacter; ++column)
      strike(e, m, c.x + column * c.halfPitch, lineTop + 2 * escpPinPitch * (escpPins - 1), escpPins - 1);
  noteCell(m, c);
}

// Prints the line buffer: its line has ended.
void printLine(EscpPrinter &e, Mechanism &m) {
  for (const EscpCharacter &c : e.line) drawCharacter(e, m, c);
  e.line.clear();
  e.lineStart = e.x;
}

// The page ends: handed over when it has ink; a blank one counts, in case a page
// with ink follows. The next page has the form length in force and takes the dots
// carried over its top.
void endPage(EscpPrinter &e, Mechanism &m) {
  std::sort(m.page.rows.begin(), m.page.rows.end());
  m.page.rows.erase(std::unique(m.page.rows.begin(), m.page.rows.end()), m.page.rows.end());
  if (!m.page.pageDirty && m.page.pageCount > 0) ++e.blankPages;
  ejectPage(m);  // the next page's rows start with its top
  unsigned height = pagePixels(m, e.settings.formLength);
  if (height != m.setup.pageHeight) {
    m.setup.pageHeight = height;
    resizePage(m.canvas, height);
  }
  std::vector<EscpCarriedDot> carried;
  carried.swap(e.carried);
  for (const EscpCarriedDot &dot : carried) strike(e, m, dot.x, dot.y, dot.pin);
}

// Moves the paper up by units of 1/216 inch, page by page past the form length.
void feedPaper(EscpPrinter &e, Mechanism &m, uint32_t units) {
  printLine(e, m);
  updatePinShades(m);  // the ribbon has worn by the line's strikes
  uint64_t y = uint64_t(e.y) + units;
  while (y >= e.settings.formLength) {
    y -= e.settings.formLength;
    endPage(e, m);
  }
  e.y = uint32_t(y);
  // Every line the paper stops at is a line of the transcript, blank ones too.
  if (m.keepText) m.page.rows.push_back(unsigned(uint64_t(e.y) * m.geometry.pixelsPerInchY / escpUnitsPerInchY));
}

void carriageReturn(EscpPrinter &e, Mechanism &m) {
  printLine(e, m);
  e.x = e.settings.leftMargin;
  e.lineStart = e.x;
}

// The line's one-line double width ends with it.
void endDoubleWidthLine(EscpPrinter &e) { e.settings.doubleWidthLine = false; }

void formFeed(EscpPrinter &e, Mechanism &m) {
  carriageReturn(e, m);
  endDoubleWidthLine(e);
  e.y = 0;
  endPage(e, m);
}

void lineFeed(EscpPrinter &e, Mechanism &m) {
  carriageReturn(e, m);
  endDoubleWidthLine(e);
  const EscpSettings &s = e.settings;
  uint64_t next = uint64_t(e.y) + s.lineSpacing;
  // Skip over perforation: a next line within the page's last lines goes to the next page.
  if (s.skipLines != 0 && next < s.formLength && next + uint64_t(s.skipLines) * s.lineSpacing >= s.formLength)
    return formFeed(e, m);
  feedPaper(e, m, s.lineSpacing);
}

void verticalTab(EscpPrinter &e, Mechanism &m) {
  const std::vector<uint32_t> &stops = e.settings.verticalStops;
  if (stops.empty()) return lineFeed(e, m);
  auto next = std::upper_bound(stops.begin(), stops.end(), e.y);
  if (next == stops.end() || *next >= e.settings.formLength) return formFeed(e, m);
  carriageReturn(e, m);
  endDoubleWidthLine(e);
  feedPaper(e, m, *next - e.y);
}

// Prints a character: into the line buffer, after a new line when it does not fit
// before the right margin.
void printCharacter(EscpPrinter &e, Mechanism &m, uint8_t code) {
  const EscpSettings &s = e.settings;
  uint32_t width = characterWidth(s);
  if (e.x + width > s.rightMargin) {
    lineFeed(e, m);
    width = characterWidth(s);
    if (e.x + width > s.rightMargin) return;  // wider than the line: nothing prints
  }
  if (e.line.size() >= mostBuffered) printLine(e, m);
  EscpCharacter c{};
  c.x = e.x;
  c.y = e.y;
  c.halfPitch = halfPitchOf(s);
  c.advance = width;
  c.text = e.texts[code];
  if (s.userSet && e.user[code].defined) {
    c.columns = e.user[code].columns;
    c.text = e.user[code].text;
  } else if (const EscpColumns *glyph = e.glyphs[s.italic || e.upperItalic[code] ? 1 : 0][code]) {
    c.columns = *glyph;
  }
  c.wide = s.doubleWidth || s.doubleWidthLine;
  c.emphasized = s.emphasized;
  c.doubleStrike = s.doubleStrike;
  c.underline = s.underline;
  c.script = s.script;
  e.line.push_back(c);
  e.x += width;
}

// ---------------------------------------------------------------------------
// Control codes

void horizontalTab(EscpPrinter &e) {
  const EscpSettings &s = e.settings;
  for (uint32_t stop : s.tabStops) {
    uint64_t at = uint64_t(s.leftMargin) + stop;
    if (at > e.x) {
      if (at < s.rightMargin) e.x = uint32_t(at);
      return;
    }
  }
}

void backspace(EscpPrinter &e) {
  uint32_t width = characterWidth(e.settings);
  e.x = e.x >= e.settings.leftMargin + width ? e.x - width : std::min(e.x, e.settings.leftMargin);
}

void cancelLine(EscpPrinter &e) {
  e.line.clear();
  e.x = e.lineStart;
}

void deleteCharacter(EscpPrinter &e) {
  if (e.line.empty()) return;
  uint32_t width = e.line.back().advance;
  e.line.pop_back();
  e.x = e.x >= e.settings.leftMargin + width ? e.x - width : e.settings.leftMargin;
}

void controlCode(EscpPrinter &e, Mechanism &m, uint8_t code) {
  EscpSettings &s = e.settings;
  switch (code) {
    case 8:  backspace(e); break;
    case 9:  horizontalTab(e); break;
    case 10: lineFeed(e, m); break;
    case 11: verticalTab(e, m); break;
    case 12: formFeed(e, m); break;
    case 13: carriageReturn(e, m); break;
    case 14: s.doubleWidthLine = true; break;
    case 15: s.condensed = true; break;
    case 18: s.condensed = false; break;
    case 20: s.doubleWidthLine = false; break;
    case 24: cancelLine(e); break;
    case 127: deleteCharacter(e); break;
    default: break;  // BEL, DC1, DC3 and the rest: nothing on paper
  }
}

// ---------------------------------------------------------------------------
// ESC commands

// Parameter bytes after the command byte of commands of a fixed length; the others
// are worked out in commandLength. Bytes that are no command take none.
constexpr uint8_t fixedParameters(uint8_t command) {
  switch (command) {
    case '3': case 'A': case 'J': case 'j': case 'N': case 'l': case 'Q': case '-': case 'S': case 'W':
    case 'R': case 't': case '%': case 'x': case 'k': case 'p': case 'a': case 'U': case 's': case 25:
    case 'i': case 'r': case 'm': case 'I': case '!':
      return 1;
    case '$': case '\\': case 'e': case 'f': case '?':
      return 2;
    case ':':
      return 3;
    default:
      return 0;
  }
}

uint32_t word(const uint8_t *b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8; }

// Bytes the command has in all, with its command byte, as far as the bytes so far
// tell; more than it has while it is not whole.
size_t commandLength(const std::vector<uint8_t> &b) {
  size_t have = b.size();
  switch (b[0]) {
    case 'C':
      return have < 2 ? 2 : b[1] == 0 ? 3 : 2;
    case 'K': case 'L': case 'Y': case 'Z':
      return have < 3 ? 3 : 3 + word(&b[1]);
    case '*':
      return have < 4 ? 4 : 4 + word(&b[2]);
    case '^':
      return have < 4 ? 4 : 4 + 2 * size_t(word(&b[2]));
    case '&':
      return have < 4 ? 4 : 4 + (b[3] >= b[2] ? size_t(b[3] - b[2] + 1) * 12 : 0);
    case 'B': case 'D': {
      // Stops in ascending order; a number not above the one before ends the list.
      size_t most = b[0] == 'B' ? escpMostVerticalStops : escpMostTabStops;
      if (have < 2) return 2;
      bool ended = b[have - 1] == 0 || (have >= 3 && b[have - 1] <= b[have - 2]) || have - 1 >= most;
      return ended ? have : have + 1;
    }
    default:
      return 1 + fixedParameters(b[0]);
  }
}

// A 0/1 switch, as a byte or a digit; -1 for anything else.
int switchValue(uint8_t b) { return b == 0 || b == '0' ? 0 : b == 1 || b == '1' ? 1 : -1; }

// The stops of ESC B and ESC D: the ascending numbers before the one that ends the list.
std::vector<uint32_t> listedStops(const std::vector<uint8_t> &b, uint32_t unit) {
  std::vector<uint32_t> stops;
  for (size_t i = 1; i < b.size(); ++i) {
    if (b[i] == 0 || (i > 1 && b[i] <= b[i - 1])) break;
    stops.push_back(b[i] * unit);
  }
  return stops;
}

std::vector<uint32_t> everyStop(uint32_t every, uint32_t unit, size_t most) {
  std::vector<uint32_t> stops;
  for (uint32_t n = every; every != 0 && stops.size() < most; n += every) stops.push_back(n * unit);
  return stops;
}

// Pixels down to the foot of what the page holds already: its ink, and the tops of its
// lines and text cells.
unsigned printedDepth(const Mechanism &m) {
  unsigned depth = m.canvas.page.inkedEnd;
  for (const TextCell &cell : m.page.cells) depth = std::max(depth, cell.y + 1);
  for (unsigned row : m.page.rows) depth = std::max(depth, row + 1);
  return depth;
}

void setFormLength(EscpPrinter &e, Mechanism &m, uint32_t length) {
  printLine(e, m);
  uint32_t old = e.settings.formLength;
  e.settings.formLength = length;
  e.settings.skipLines = 0;
  if (e.y >= length) {  // the head is past the new foot: the page ends here, as it is
    e.y = 0;
    endPage(e, m);
    return;
  }
  // The page keeps its top and now ends its new length below it; what it holds
  // already stays on it, should the new length be shorter.
  unsigned height = std::max(pagePixels(m, length), std::min(printedDepth(m), m.setup.pageHeight));
  if (height != m.setup.pageHeight) {
    m.setup.pageHeight = height;
    resizePage(m.canvas, height);
  }
  // Dots that went over the old foot belong on this page again, so far as it reaches.
  std::vector<EscpCarriedDot> carried;
  carried.swap(e.carried);
  for (const EscpCarriedDot &dot : carried) strike(e, m, dot.x, dot.y + 2 * int64_t(old), dot.pin);
}

void printGraphics(EscpPrinter &e, Mechanism &m, unsigned mode, const uint8_t *data, size_t columns, bool ninePins) {
  if (mode >= 7) return;  // no such mode: its data is dropped
  uint32_t pitch = graphicsPitch[mode];
  uint16_t previous = 0;
  const EscpSettings &s = e.settings;
  for (size_t column = 0; column < columns; ++column) {
    uint16_t pins = 0;
    const uint8_t *bytes = data + (ninePins ? 2 * column : column);
    for (unsigned bit = 0; bit < 8; ++bit)
      if (bytes[0] & (0x80u >> bit)) pins |= uint16_t(1u << bit);
    if (ninePins && (bytes[1] & 0x80)) pins |= uint16_t(1u << 8);
    if (graphicsApart[mode]) pins &= uint16_t(~previous);
    previous = pins;
    uint64_t x = uint64_t(e.x) + column * pitch;
    if (x >= s.rightMargin) continue;  // read and dropped
    for (unsigned pin = 0; pin < escpPins; ++pin)
      if (pins >> pin & 1) strike(e, m, uint32_t(x), 2 * int64_t(e.y) + 2 * escpPinPitch * pin, pin);
  }
  e.x = uint32_t(std::min<uint64_t>(uint64_t(e.x) + columns * pitch, s.rightMargin));
}

void defineCharacters(EscpPrinter &e, const std::vector<uint8_t> &b) {
  for (unsigned code = b[2], i = 0; code <= b[3]; ++code, ++i) {
    const uint8_t *definition = &b[4 + 12 * size_t(i)];
    unsigned shift = definition[0] & 0x80 ? 0 : 1;  // pins 1-8, or 2-9 for a descender
    EscpUserGlyph &glyph = e.user[code];
    glyph.defined = true;
    glyph.text = 0xFFFD;
    for (unsigned column = 0; column < escpGlyphColumns; ++column) {
      uint16_t pins = 0;
      for (unsigned bit = 0; bit < 8; ++bit)
        if (definition[1 + column] & (0x80u >> bit)) pins |= uint16_t(1u << (bit + shift));
      glyph.columns[column] = pins;
    }
  }
}

void copyFont(EscpPrinter &e) {
  for (unsigned code = 0; code < 256; ++code) {
    EscpUserGlyph &glyph = e.user[code];
    const EscpColumns *font = e.glyphs[e.settings.italic || e.upperItalic[code] ? 1 : 0][code];
    glyph.defined = e.texts[code] != 0;
    glyph.text = e.texts[code];
    glyph.columns = font != nullptr ? *font : EscpColumns{};
  }
}

void masterSelect(EscpSettings &s, uint8_t n) {
  s.elite = n & 1;
  s.condensed = n & 4;
  s.emphasized = n & 8;
  s.doubleStrike = n & 16;
  s.doubleWidth = n & 32;
  s.italic = n & 64;
  s.underline = n & 128;
}

void setLeftMargin(EscpPrinter &e, uint8_t column) {
  EscpSettings &s = e.settings;
  uint32_t width = characterWidth(s), margin = column * width;
  if (margin + width > s.rightMargin) return;
  if (e.x == s.leftMargin || e.x < margin) e.x = margin;
  if (e.lineStart == s.leftMargin || e.lineStart < margin) e.lineStart = margin;
  s.leftMargin = margin;
}

void setRightMargin(EscpPrinter &e, uint8_t column) {
  EscpSettings &s = e.settings;
  uint32_t width = characterWidth(s), margin = column * width;
  if (margin > escpLineWidth || margin < s.leftMargin + width) return;
  s.rightMargin = margin;
}

void runCommand(EscpPrinter &e, Mechanism &m, const std::vector<uint8_t> &b) {
  EscpSettings &s = e.settings;
  const uint8_t *p = b.data() + 1;  // the parameters
  switch (b[0]) {
    case '@':
      // The paper stays where it is, and so does the page's top: the power-on form
      // length counts from there, as a length set by ESC C does.
      printLine(e, m);
      powerOnSettings(e, m);
      setFormLength(e, m, e.settings.formLength);
      e.x = e.lineStart = 0;
      break;
    case '0': s.lineSpacing = 27; break;
    case '1': s.lineSpacing = 21; break;
    case '2': s.lineSpacing = 36; break;
    case '3': s.lineSpacing = p[0]; break;
    case 'A': s.lineSpacing = 3 * uint32_t(p[0]); break;
    case 'J': feedPaper(e, m, p[0]); break;
    case 'j':
      printLine(e, m);
      e.y = e.y >= p[0] ? e.y - p[0] : 0;
      break;
    case 'C': {
      uint64_t length = p[0] != 0 ? uint64_t(p[0]) * s.lineSpacing : uint64_t(p[1]) * escpUnitsPerInchY;
      // A form shorter than a line at 1/6 inch is refused: a 1/216-inch form would turn
      // every feed into hundreds of pages.
      bool valid = p[0] != 0 ? p[0] <= 127 && length >= escpLeastFormLength && length <= escpMostFormLength
                             : p[1] >= 1 && p[1] <= 22;
      if (valid) setFormLength(e, m, uint32_t(length));
      break;
    }
    case 'N':
      if (p[0] >= 1 && p[0] <= 127) s.skipLines = p[0];
      break;
    case 'O': s.skipLines = 0; break;
    case 'B': s.verticalStops = listedStops(b, s.lineSpacing); break;
    case 'D': s.tabStops = listedStops(b, characterWidth(s)); break;
    case 'e':
      if (switchValue(p[0]) == 0) s.tabStops = everyStop(p[1], characterWidth(s), escpMostTabStops);
      if (switchValue(p[0]) == 1) s.verticalStops = everyStop(p[1], s.lineSpacing, escpMostVerticalStops);
      break;
    case 'f':
      if (switchValue(p[0]) == 0) e.x = uint32_t(std::min<uint64_t>(uint64_t(e.x) + uint64_t(p[1]) * characterWidth(s), s.rightMargin));
      if (switchValue(p[0]) == 1)
        for (unsigned i = 0; i < p[1]; ++i) lineFeed(e, m);
      break;
    case 'l': setLeftMargin(e, p[0]); break;
    case 'Q': setRightMargin(e, p[0]); break;
    case '$': {
      uint64_t x = uint64_t(s.leftMargin) + uint64_t(word(p)) * 24;
      if (x < s.rightMargin) e.x = uint32_t(x);
      break;
    }
    case '\\': {
      int64_t x = int64_t(e.x) + int64_t(int16_t(word(p))) * 12;
      if (x < int64_t(s.rightMargin)) e.x = uint32_t(std::max<int64_t>(x, s.leftMargin));
      break;
    }
    case 'E': s.emphasized = true; break;
    case 'F': s.emphasized = false; break;
    case 'G': s.doubleStrike = true; break;
    case 'H': s.doubleStrike = false; break;
    case '4': s.italic = true; break;
    case '5': s.italic = false; break;
    case '-':
      if (switchValue(p[0]) >= 0) s.underline = switchValue(p[0]) == 1;
      break;
    case 'S':
      if (switchValue(p[0]) >= 0) s.script = switchValue(p[0]) + 1;
      break;
    case 'T': s.script = 0; break;
    case 'W':
      if (switchValue(p[0]) >= 0) s.doubleWidth = switchValue(p[0]) == 1;
      break;
    case 14: s.doubleWidthLine = true; break;
    case 15: s.condensed = true; break;
    case 'M': s.elite = true; break;
    case 'P': s.elite = false; break;
    case '!': masterSelect(s, p[0]); break;
    case 'R':
      if (p[0] < escpSets) {
        s.set = p[0];
        refreshCodes(e);
      }
      break;
    case 't':
      if (switchValue(p[0]) >= 0) {
        s.graphicsTable = switchValue(p[0]) == 1;
        refreshCodes(e);
      }
      break;
    case '6': s.upperPrintable = true; refreshCodes(e); break;
    case '7': s.upperPrintable = false; refreshCodes(e); break;
    case '&': defineCharacters(e, b); break;
    case ':': copyFont(e); break;
    case '%':
      if (switchValue(p[0]) >= 0) s.userSet = switchValue(p[0]) == 1;
      break;
    case 'K': printGraphics(e, m, s.graphicsModes[0], p + 2, word(p), false); break;
    case 'L': printGraphics(e, m, s.graphicsModes[1], p + 2, word(p), false); break;
    case 'Y': printGraphics(e, m, s.graphicsModes[2], p + 2, word(p), false); break;
    case 'Z': printGraphics(e, m, s.graphicsModes[3], p + 2, word(p), false); break;
    case '*': printGraphics(e, m, p[0], p + 3, word(p + 1), false); break;
    case '^':
      if (p[0] <= 1) printGraphics(e, m, p[0], p + 3, word(p + 1), true);
      break;
    case '?': {
      const char *letters = "KLYZ";
      if (const char *at = std::strchr(letters, p[0]); at != nullptr && p[0] != 0) s.graphicsModes[at - letters] = p[1];
      break;
    }
    default:
      if (!knownEscpCommand(b[0])) ++e.unknownEscapes[b[0]];
      break;  // accepted with its parameters, or unknown: nothing on paper
  }
}

void tell(EscpPrinter &e, const Mechanism &m, EscpEventKind kind, uint64_t offset, const uint8_t *bytes, size_t length,
          char32_t text, bool known) {
  EscpEvent event{kind, offset, bytes, length, text, known, e.x, e.y, m.page.pageCount};
  e.observer.seen(e.observer.context, event);
}

// Takes one byte of an ESC command, and carries the command out once it is whole.
void takeCommandByte(EscpPrinter &e, Mechanism &m, uint8_t byte) {
  EscpCommand &command = e.command;
  command.escape = false;
  command.bytes.push_back(byte);
  command.wanted = commandLength(command.bytes);
  if (command.bytes.size() < command.wanted) return;
  runCommand(e, m, command.bytes);
  if (e.observer.seen != nullptr)
    tell(e, m, EscpEventKind::Command, command.offset, command.bytes.data(), command.bytes.size(), 0,
         knownEscpCommand(command.bytes[0]));
  command.bytes.clear();
  command.wanted = 0;
}

}  // namespace

bool knownEscpCommand(uint8_t command) {
  return command != 0 &&
         std::strchr("@0123AJjCNOBDeflQ$\\EFGH45-STW\x0e\x0fMP!Rt67&:%KLYZ*?^xkpaU<s89\x19irmI", command) != nullptr;
}

void startEscp(EscpPrinter &e, Mechanism &m) {
  powerOnSettings(e, m);
  e.x = e.y = e.lineStart = 0;
  e.line.clear();
  e.carried.clear();
  e.formAbove = 0;
  e.blankPages = 0;
  e.command = EscpCommand();
  for (EscpUserGlyph &glyph : e.user) glyph = EscpUserGlyph();
  e.unknownEscapes.fill(0);
}

void interpretEscp(EscpPrinter &e, Mechanism &m, const uint8_t *bytes, size_t length, uint64_t offset) {
  bool observed = e.observer.seen != nullptr;
  for (size_t i = 0; i < length; ++i) {
    uint8_t c = bytes[i];
    if (e.command.escape || e.command.wanted != 0) {
      takeCommandByte(e, m, c);
    } else if (e.texts[c] != 0) {
      printCharacter(e, m, c);
      if (observed) tell(e, m, EscpEventKind::Character, offset + i, bytes + i, 1, e.line.empty() ? 0 : e.line.back().text, false);
    } else if ((c & 0x7F) == escape) {
      e.command.escape = true;
      e.command.offset = offset + i;
    } else {
      controlCode(e, m, c == 127 ? c : uint8_t(c & 0x7F));
      if (observed) tell(e, m, EscpEventKind::Control, offset + i, bytes + i, 1, 0, false);
    }
  }
}

void endEscp(EscpPrinter &e, Mechanism &m) {
  if ((e.command.escape || e.command.wanted != 0) && e.observer.seen != nullptr)
    tell(e, m, EscpEventKind::CutOff, e.command.offset, e.command.bytes.data(), e.command.bytes.size(), 0, false);
  e.command = EscpCommand();  // cut off: does nothing
  printLine(e, m);
  if (!e.carried.empty()) {  // the foot of the last line goes on a page of its own
    e.formAbove = e.settings.formLength;
    endPage(e, m);
  }
  std::sort(m.page.rows.begin(), m.page.rows.end());
  m.page.rows.erase(std::unique(m.page.rows.begin(), m.page.rows.end()), m.page.rows.end());
}

unsigned escpHeadBottom(const EscpPrinter &e, const Mechanism &m) {
  const PageGeometry &g = m.geometry;
  // The lowest pin's top, in 1/216 inch down the page being painted; above its top
  // (negative) when the line stands on the page before.
  int64_t units = int64_t(e.y) + (escpPins - 1) * escpPinPitch - int64_t(e.formAbove);
  int64_t top = -floorDivide(-units * g.pixelsPerInchY, escpUnitsPerInchY);  // rounded down the page
  return unsigned(std::max<int64_t>(0, top + g.dotPixels));
}
