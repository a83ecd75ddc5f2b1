// The 9-pin ESC/P printer, measured on its pages. Every expected place comes from the
// printer's units: across in 1/1440 inch, down in 1/216 inch, on pages of 240 square
// pixels an inch, where a dot is 4 pixels round and its centre lies half a dot (1/144
// inch) right of and below the place of its column and pin, within half a pixel.
//
// Most cases print in-process and read the dots the head struck; a few run the program
// and read its PNG pages, PDF document and transcript back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "escp/escp_printer.h"
#include "interpreter/interpreter.h"
#include "interpreter/printer.h"
#include "mechanism/print_head.h"
#include "run_support.h"

namespace {

constexpr int ESC = 27;
constexpr unsigned pagePixelsAcross = 1920;  // 8 inches at 240 pixels an inch
constexpr unsigned pagePixelsDown = 2640;    // 11 inches

// Characters of each pitch, in 1/1440 inch, and the distance of their half-dot columns.
struct Pitch {
  const char *name;
  std::string select;   // the bytes that choose it
  uint32_t advance;     // one character
  uint32_t halfColumn;  // between two half-dot columns of a glyph
};

const Pitch pica{"pica", "", 144, 12};
const Pitch elite{"elite", bytes({ESC, 'M'}), 120, 10};
const Pitch condensed{"condensed", bytes({15}), 84, 7};
const Pitch condensedElite{"condensed elite", bytes({ESC, '!', 5}), 72, 6};

// ---------------------------------------------------------------------------
// Printing in-process

const EscpFont &testFont() {
  static const EscpFont font = [] {
    EscpFont f;
    std::string file = readFile(std::string(SOURCE_DIR) + "/PRINTER/escp.fake");
    EXPECT_TRUE(readEscpFont(f, reinterpret_cast<const uint8_t *>(file.data()), file.size()));
    return f;
  }();
  return font;
}

struct Printout {
  std::vector<PageJob> pages;
};

void keepPage(void *printout, PageJob &&job) { static_cast<Printout *>(printout)->pages.push_back(std::move(job)); }

// The pages a stream prints, with their dots as struck and their text cells.
Printout print(const std::string &stream) {
  Printout out;
  auto p = std::make_unique<Printer>();
  RunSettings settings;
  settings.model = PrinterModel::Escp;
  settings.pageHeight = pagePixelsDown;
  settings.pageFiles = false;
  settings.look = LookStyle::Ink;      // the mechanism keeps every strike
  settings.textName = "transcript";    // and every text cell
  MechanismSinks sinks;
  sinks.context = &out;
  sinks.page = keepPage;
  startPrinter(*p, settings, sinks);
  p->escp.font = testFont();
  startEscp(p->escp, p->mechanism);
  int32_t fresh[maxPins] = {};
  setStrikeCounts(p->mechanism, fresh);
  createPage(p->mechanism);
  startStream(*p);
  interpretBytes(*p, reinterpret_cast<const uint8_t *>(stream.data()), stream.size());
  endStream(*p);
  ejectPage(p->mechanism);
  return out;
}

// ---------------------------------------------------------------------------
// Dots

// A dot where it belongs: the column's place across in 1/1440 inch, the line's top in
// 1/216 inch from the top of the page (above it when negative), and the pin, 0 the top.
struct Want {
  int64_t x;
  int64_t y;
  unsigned pin;
};

// Its centre in pixels from the page's top left corner.
double centreX(const Want &w) { return double(w.x) * 240.0 / 1440.0 + 240.0 / 144.0; }
double centreY(const Want &w) {
  return double(w.y) * 240.0 / 216.0 + double(w.pin) * 240.0 / 72.0 + 240.0 / 144.0;
}

// A dot struck: its four pixels start at x and y, so its centre is 2 pixels on.
double centreX(const Strike &s) { return s.x + 2.0; }
double centreY(const Strike &s) { return s.y + 2.0; }

std::string describe(const Want &w) {
  std::ostringstream o;
  o << "(x " << w.x << "/1440, line " << w.y << "/216, pin " << w.pin + 1 << ": centre " << centreX(w) << ", "
    << centreY(w) << ")";
  return o.str();
}

std::string describe(const Strike &s) {
  std::ostringstream o;
  o << "(pin " << unsigned(s.pin) + 1 << " centre " << centreX(s) << ", " << centreY(s) << ")";
  return o.str();
}

// The strikes of a page whose centres lie between the rows top and bottom (pixels).
std::vector<Strike> strikesIn(const PageJob &page, double top = -1e9, double bottom = 1e9) {
  std::vector<Strike> found;
  for (const Strike &s : page.strikes)
    if (centreY(s) >= top && centreY(s) < bottom) found.push_back(s);
  return found;
}

// Whether the strikes are exactly the dots wanted, each centred within half a pixel.
::testing::AssertionResult sameDots(std::vector<Strike> got, std::vector<Want> want) {
  std::sort(got.begin(), got.end(), [](const Strike &a, const Strike &b) {
    return std::tuple(a.y, a.x, a.pin) < std::tuple(b.y, b.x, b.pin);
  });
  std::sort(want.begin(), want.end(), [](const Want &a, const Want &b) {
    return std::tuple(centreY(a), centreX(a), a.pin) < std::tuple(centreY(b), centreX(b), b.pin);
  });
  std::ostringstream o;
  if (got.size() != want.size()) o << got.size() << " dots struck, " << want.size() << " wanted. ";
  for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
    if (i >= got.size()) {
      o << "missing " << describe(want[i]);
      return ::testing::AssertionFailure() << o.str();
    }
    if (i >= want.size()) {
      o << "extra " << describe(got[i]);
      return ::testing::AssertionFailure() << o.str();
    }
    const Strike &g = got[i];
    const Want &w = want[i];
    if (g.pin != w.pin || std::abs(centreX(g) - centreX(w)) > 0.5 + 1e-9 ||
        std::abs(centreY(g) - centreY(w)) > 0.5 + 1e-9) {
      o << "dot " << i << ": struck " << describe(g) << ", wanted " << describe(w);
      return ::testing::AssertionFailure() << o.str();
    }
  }
  if (got.size() != want.size()) return ::testing::AssertionFailure() << o.str();
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult pageDots(const Printout &out, size_t page, const std::vector<Want> &want) {
  if (page >= out.pages.size())
    return ::testing::AssertionFailure() << "page " << page + 1 << " of " << out.pages.size() << " printed";
  return sameDots(out.pages[page].strikes, want);
}

// Whether the pixel of a page raster is inked.
bool inked(const PageRaster &r, unsigned x, unsigned y) {
  switch (r.kind) {
    case PixelKind::BlackWhite:
      return (r.bytes[size_t(y) * rasterRowBytes(r.kind, r.width) + x / 8] >> (7 - x % 8) & 1) == 0;
    case PixelKind::Gray:
      return r.bytes[size_t(y) * r.width + x] < 128;
    case PixelKind::Rgb:
      return r.bytes[(size_t(y) * r.width + x) * 3] < 128;
    case PixelKind::Indexed:
      return r.palette[size_t(r.bytes[size_t(y) * r.width + x]) * 3] < 128;
  }
  return false;
}

size_t inkedPixels(const PageRaster &r) {
  size_t count = 0;
  for (unsigned y = 0; y < r.height; ++y)
    for (unsigned x = 0; x < r.width; ++x) count += inked(r, x, y);
  return count;
}

// ---------------------------------------------------------------------------
// Characters of our own, whose dots are known

using Columns = std::array<uint8_t, 11>;

// ESC & 0 first last, then an attribute byte and 11 columns for each.
std::string defineCharacter(uint8_t code, const Columns &columns, uint8_t attribute = 0x8B) {
  std::string s = bytes({ESC, '&', 0, code, code, attribute});
  for (uint8_t c : columns) s += char(c);
  return s;
}

// 'U' a single dot of pin 1 in its first column: it marks the head's place.
// 'W' pin 1 in its first and last column: it shows the distance of its columns.
// 'F' pins 1-8 in its first column.
std::string ourCharacters() {
  return defineCharacter('U', {0x80}) + defineCharacter('W', {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}) +
         defineCharacter('F', {0xFF}) + bytes({ESC, '%', 1});
}

// The dot of a 'U' at x, y.
Want marker(int64_t x, int64_t y = 0) { return Want{x, y, 0}; }

// The dots of one character drawn from (column, pin) pairs at x on the line at y.
struct GlyphDot {
  unsigned column;
  unsigned pin;
};

struct Style {
  uint32_t halfColumn;     // 1/1440 inch between half-dot columns
  bool wide = false;       // each dot struck again one (doubled) half-dot column on
  bool emphasized = false; // each dot struck again 1/120 inch on
};

void addGlyph(std::vector<Want> &want, const std::vector<GlyphDot> &glyph, int64_t x, int64_t y, const Style &style) {
  for (const GlyphDot &d : glyph) {
    int64_t at = x + int64_t(d.column) * style.halfColumn;
    want.push_back({at, y, d.pin});
    if (style.wide) want.push_back({at + style.halfColumn, y, d.pin});
    if (style.emphasized) want.push_back({at + 12, y, d.pin});
    if (style.wide && style.emphasized) want.push_back({at + style.halfColumn + 12, y, d.pin});
  }
}

const std::vector<GlyphDot> glyphW{{0, 0}, {10, 0}};

std::vector<Want> repeated(const std::vector<GlyphDot> &glyph, unsigned count, uint32_t advance, const Style &style,
                           int64_t x = 0, int64_t y = 0) {
  std::vector<Want> want;
  for (unsigned i = 0; i < count; ++i) addGlyph(want, glyph, x + int64_t(i) * advance, y, style);
  return want;
}

// The half-dot columns and pins of a font glyph, read from its dots in pica, where a
// half-dot column is 1/120 inch: two pixels.
std::vector<GlyphDot> fontGlyph(const std::string &character) {
  Printout out = print(character);
  std::vector<GlyphDot> glyph;
  if (out.pages.size() != 1) {
    ADD_FAILURE() << "the glyph of '" << character << "' printed " << out.pages.size() << " pages";
    return glyph;
  }
  for (const Strike &s : out.pages[0].strikes) {
    double column = (centreX(s) - 240.0 / 144.0) / 2.0;
    EXPECT_LE(std::abs(column - std::round(column)), 0.25) << describe(s);
    glyph.push_back({unsigned(std::lround(column)), s.pin});
  }
  EXPECT_FALSE(glyph.empty()) << "the font has no dots for '" << character << "'";
  return glyph;
}

std::string times(const std::string &s, unsigned count) {
  std::string all;
  for (unsigned i = 0; i < count; ++i) all += s;
  return all;
}

// ---------------------------------------------------------------------------
// Running the program

// A folder with the printer's font, where the program runs.
struct EscpFolder {
  TempDir dir;
  EscpFolder() {
    std::string font = readFile(std::string(SOURCE_DIR) + "/PRINTER/escp.fake");
    writeRom(dir, std::vector<uint8_t>(font.begin(), font.end()), "escp.fake");
  }
};

RunResult runEscp(const EscpFolder &folder, const std::string &stream, std::vector<std::string> words) {
  writeFile(folder.dir.file("job.prn"), stream);
  words.insert(words.begin(), {"job.prn", "-printer", "escp"});
  return runTambrix(folder.dir, words);
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(EscpPrinter, PitchesAndWidthsMeasuredInDots) {
  const std::string ours = ourCharacters();
  const Style picaStyle{12};
  // Each pitch: a character's place and the distance of its half-dot columns.
  for (const Pitch &p : {pica, elite, condensed, condensedElite}) {
    SCOPED_TRACE(p.name);
    EXPECT_TRUE(pageDots(print(ours + p.select + "WWW"), 0, repeated(glyphW, 3, p.advance, Style{p.halfColumn})));
  }
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 15}) + "WW"), 0, repeated(glyphW, 2, 84, Style{7})));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '!', 1}) + "WW"), 0, repeated(glyphW, 2, 120, Style{10})));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '!', 4}) + "WW"), 0, repeated(glyphW, 2, 84, Style{7})));
  // Back to pica: ESC P, DC2, a master select without the pitch bits.
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'M', ESC, 'P'}) + "WW"), 0, repeated(glyphW, 2, 144, picaStyle)));
  EXPECT_TRUE(pageDots(print(ours + bytes({15, 18}) + "WW"), 0, repeated(glyphW, 2, 144, picaStyle)));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '!', 5, ESC, '!', 0}) + "WW"), 0, repeated(glyphW, 2, 144, picaStyle)));

  // Double width: every column twice as far apart, each dot struck again a column on.
  const Style widePica{24, true}, wideElite{20, true};
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'W', 1}) + "WW"), 0, repeated(glyphW, 2, 288, widePica)));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'W', '1'}) + "WW"), 0, repeated(glyphW, 2, 288, widePica)));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '!', 32}) + "WW"), 0, repeated(glyphW, 2, 288, widePica)));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'M', ESC, 'W', 1}) + "WW"), 0, repeated(glyphW, 2, 240, wideElite)));
  EXPECT_TRUE(pageDots(print(ours + bytes({15, ESC, 'W', 1}) + "WW"), 0, repeated(glyphW, 2, 168, Style{14, true})));
  {
    // ESC W lasts over line ends until ESC W 0.
    std::vector<Want> want = repeated(glyphW, 1, 288, widePica);
    std::vector<Want> second = repeated(glyphW, 1, 288, widePica, 0, 36);
    want.insert(want.end(), second.begin(), second.end());
    addGlyph(want, glyphW, 288, 36, picaStyle);
    EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'W', 1}) + "W\r\nW" + bytes({ESC, 'W', 0}) + "W"), 0, want));
  }
  {
    // SO for one line: a CR does not end it; LF, VT and FF do.
    std::vector<Want> want = repeated(glyphW, 1, 288, widePica);
    std::vector<Want> again = repeated(glyphW, 2, 288, widePica);
    want.insert(want.end(), again.begin(), again.end());
    addGlyph(want, glyphW, 0, 36, picaStyle);
    addGlyph(want, glyphW, 144, 36, picaStyle);
    EXPECT_TRUE(pageDots(print(ours + bytes({14}) + "W\rWW\nWW"), 0, want));
    EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 14}) + "W\rWW\nWW"), 0, want));
    EXPECT_TRUE(pageDots(print(ours + bytes({14}) + "W\rWW\x0bWW"), 0, want));
    Printout fed = print(ours + bytes({14}) + "W\x0cWW");
    EXPECT_TRUE(pageDots(fed, 0, repeated(glyphW, 1, 288, widePica)));
    EXPECT_TRUE(pageDots(fed, 1, repeated(glyphW, 2, 144, picaStyle)));
  }
  {
    // DC4 ends it at once.
    std::vector<Want> want = repeated(glyphW, 1, 288, widePica);
    addGlyph(want, glyphW, 288, 0, picaStyle);
    EXPECT_TRUE(pageDots(print(ours + bytes({14}) + "W" + bytes({20}) + "W"), 0, want));
  }
  {
    // So does a line overflow: 40 wide characters fill the line, the 41st goes to the
    // next line in pica.
    std::vector<Want> want = repeated(glyphW, 40, 288, widePica);
    std::vector<Want> next = repeated(glyphW, 2, 144, picaStyle, 0, 36);
    want.insert(want.end(), next.begin(), next.end());
    EXPECT_TRUE(pageDots(print(ours + bytes({14}) + times("W", 42)), 0, want));
  }

  // Emphasized: each dot again 1/120 inch to the right; it wins over condensed while on.
  const Style emphasized{12, false, true};
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'E'}) + "WW"), 0, repeated(glyphW, 2, 144, emphasized)));
  EXPECT_TRUE(pageDots(print(ours + bytes({15, ESC, 'E'}) + "WW"), 0, repeated(glyphW, 2, 144, emphasized)));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '!', 12}) + "WW"), 0, repeated(glyphW, 2, 144, emphasized)));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '!', 8 + 4 + 1}) + "WW"), 0, repeated(glyphW, 2, 120, Style{10, false, true})));
  {
    std::vector<Want> want = repeated(glyphW, 1, 144, emphasized);
    addGlyph(want, glyphW, 144, 0, Style{7});
    EXPECT_TRUE(pageDots(print(ours + bytes({15, ESC, 'E'}) + "W" + bytes({ESC, 'F'}) + "W"), 0, want));
  }
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'E', ESC, 'W', 1}) + "W"), 0,
                       repeated(glyphW, 1, 288, Style{24, true, true})));

  // The font's own glyphs: the same columns at every pitch, one character further each.
  for (const std::string character : {"H", "g", "%"}) {
    SCOPED_TRACE(character);
    const std::vector<GlyphDot> glyph = fontGlyph(character);
    for (const Pitch &p : {pica, elite, condensed, condensedElite}) {
      SCOPED_TRACE(p.name);
      EXPECT_TRUE(pageDots(print(p.select + times(character, 5)), 0, repeated(glyph, 5, p.advance, Style{p.halfColumn})));
    }
    EXPECT_TRUE(pageDots(print(bytes({ESC, 'W', 1}) + times(character, 3)), 0, repeated(glyph, 3, 288, widePica)));
    EXPECT_TRUE(pageDots(print(bytes({ESC, 'E'}) + times(character, 3)), 0, repeated(glyph, 3, 144, emphasized)));
    EXPECT_TRUE(pageDots(print(bytes({ESC, '!', 4 + 8}) + times(character, 3)), 0, repeated(glyph, 3, 144, emphasized)));
  }
}

TEST(EscpPrinter, PitchesOnThePageFiles) {
  // The program's PNG page: a graphics dot at the top left corner lies wholly on the
  // page, centred within half a pixel of 1/144 inch from both edges; lines of H at each
  // pitch repeat every 24, 20, 14, 12 and 48 pixels.
  EscpFolder folder;
  const unsigned periods[] = {24, 20, 14, 12, 48};
  const std::string selects[] = {"", bytes({ESC, 'M'}), bytes({15}), bytes({ESC, '!', 5}), bytes({ESC, 'W', 1})};
  std::string stream = bytes({ESC, 'K', 1, 0, 0x80}) + "\r\n\n\n";
  for (const std::string &select : selects) stream += bytes({ESC, '@'}) + select + times("H", 8) + "\r\n\n\n";
  RunResult run = runEscp(folder, stream, {"-out", "P", "-height", "4"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  std::vector<std::string> pages = pngFiles(folder.dir);
  ASSERT_EQ(pages.size(), 1u);
  Page page = readPage(folder.dir.file(pages[0]));
  ASSERT_EQ(page.width, pagePixelsAcross);
  ASSERT_EQ(page.height, 4u * 240);
  // The corner dot: rows and columns 0-3 at most, its middle inked.
  unsigned left = 99, right = 0, top = 99, bottom = 0;
  for (unsigned y = 0; y < 12; ++y)
    for (unsigned x = 0; x < 12; ++x)
      if (page.dark(x, y)) {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
  ASSERT_LE(left, right) << "no dot at the top left corner";
  EXPECT_EQ(right - left, 3u);
  EXPECT_EQ(bottom - top, 3u);
  EXPECT_LE(std::abs((left + right + 1) / 2.0 - 240.0 / 144.0), 0.5);
  EXPECT_LE(std::abs((top + bottom + 1) / 2.0 - 240.0 / 144.0), 0.5);
  // Each line of H: the band of rows of its 9 pins, 3 line feeds (120 pixels) apart,
  // after the graphics line and two line feeds.
  for (size_t line = 0; line < std::size(periods); ++line) {
    SCOPED_TRACE(line);
    unsigned bandTop = unsigned(120 + 120 * line), period = periods[line];
    std::vector<uint64_t> profile(page.width, 0);
    for (unsigned y = bandTop; y < bandTop + 40; ++y)
      for (unsigned x = 0; x < page.width; ++x) profile[x] |= page.dark(x, y) ? uint64_t(1) << (y - bandTop) : 0;
    unsigned first = 0;
    while (first < page.width && profile[first] == 0) ++first;
    EXPECT_LT(first, period) << "the first H starts at the left margin";
    // From the second character on, each has the foot of the one before it.
    for (unsigned x = period; x < 7 * period; ++x) EXPECT_EQ(profile[x], profile[x + period]) << "column " << x;
    for (unsigned x = 8 * period + 4; x < page.width; ++x) ASSERT_EQ(profile[x], 0u) << "column " << x;
  }
}

TEST(EscpPrinter, LineSpacingAndPageBreaks) {
  const std::string U = ourCharacters() + "U";
  auto twoLines = [&](const std::string &between) { return print(U + between + "U"); };
  // Line spacing: ESC 0, 1, 2, 3 n, A n; a line feed takes the head to the left margin.
  EXPECT_TRUE(pageDots(twoLines("\n"), 0, {marker(0), marker(0, 36)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, '0', 10})), 0, {marker(0), marker(0, 27)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, '1', 10})), 0, {marker(0), marker(0, 21)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, '0', ESC, '2', 10})), 0, {marker(0), marker(0, 36)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, '3', 50, 10})), 0, {marker(0), marker(0, 50)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, 'A', 10, 10})), 0, {marker(0), marker(0, 30)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, '3', 7, 10, 10, 10})), 0, {marker(0), marker(0, 21)}));
  // ESC J n: n/216 inch now, the head where it is; ESC j n back, never above the page.
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, 'J', 100})), 0, {marker(0), marker(144, 100)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, 'J', 100, ESC, 'j', 40})), 0, {marker(0), marker(144, 60)}));
  EXPECT_TRUE(pageDots(twoLines(bytes({ESC, 'J', 10, ESC, 'j', 50})), 0, {marker(0), marker(144, 0)}));
  {
    Printout out = twoLines(bytes({12, ESC, 'J', 5, ESC, 'j', 200, ESC, 'j', 200}));
    ASSERT_EQ(out.pages.size(), 2u);
    EXPECT_TRUE(pageDots(out, 1, {marker(0)}));
  }

  // Form lengths: ESC C n lines of the spacing in force, ESC C 0 n inches.
  auto heights = [](const Printout &out) {
    std::vector<unsigned> h;
    for (const PageJob &page : out.pages) h.push_back(page.raster.height);
    return h;
  };
  using Heights = std::vector<unsigned>;
  EXPECT_EQ(heights(twoLines("\x0c")), (Heights{2640, 2640}));
  EXPECT_EQ(heights(twoLines(bytes({ESC, '3', 24, ESC, 'C', 9, 12}))), (Heights{240, 240}));
  EXPECT_EQ(heights(twoLines(bytes({ESC, 'C', 0, 2, 12}))), (Heights{480, 480}));
  EXPECT_EQ(heights(twoLines(bytes({ESC, 'C', 0, 22, 12}))), (Heights{5280, 5280}));
  EXPECT_EQ(heights(twoLines(bytes({ESC, 'A', 72, ESC, 'C', 22, 12}))), (Heights{5280, 5280}));
  EXPECT_EQ(heights(twoLines(bytes({ESC, 'C', 127, 12}))), (Heights{127 * 40, 127 * 40}))
      << "127 lines of 1/6 inch";
  // Out of range: ignored.
  for (const std::string &bad : {bytes({ESC, 'C', 0, 0}), bytes({ESC, 'C', 0, 23}), bytes({ESC, 'C', 128}),
                                 bytes({ESC, 'C', 0, 255}), bytes({ESC, 'C', 200}),
                                 bytes({ESC, 'A', 85, ESC, 'C', 20})}) {
    Printout out = twoLines(bad + bytes({12}));
    EXPECT_EQ(heights(out), (Heights{2640, 2640}));
  }
  {
    // A form length set in the middle of a page keeps the page's top: it ends the new
    // length below it.
    Printout out = print(ourCharacters() + bytes({ESC, 'J', 200}) + "U" + bytes({ESC, 'C', 0, 1}) + "U\x0cU");
    EXPECT_EQ(heights(out), (Heights{240, 240}));
    EXPECT_TRUE(pageDots(out, 0, {marker(0, 200), marker(144, 200)}));
    EXPECT_TRUE(pageDots(out, 1, {marker(0)}));
  }
  {
    // A feed past the form length carries on into the next page by what is left.
    Printout out = twoLines(bytes({ESC, 'C', 0, 1, ESC, '3', 100, 10, 10, 10}));
    EXPECT_EQ(heights(out), (Heights{240, 240}));
    EXPECT_TRUE(pageDots(out, 0, {marker(0)}));
    EXPECT_TRUE(pageDots(out, 1, {marker(0, 84)}));
  }
  {
    // Skip over perforation: of a 10-line page the last 3 lines are skipped.
    std::string lines = times("U\n", 8);
    Printout out = print(ourCharacters() + bytes({ESC, 'C', 10, ESC, 'N', 3}) + lines);
    EXPECT_EQ(heights(out), (Heights{400, 400}));
    std::vector<Want> first;
    for (int line = 0; line < 7; ++line) first.push_back(marker(0, 36 * line));
    EXPECT_TRUE(pageDots(out, 0, first));
    EXPECT_TRUE(pageDots(out, 1, {marker(0)}));
    // ESC O turns it off, and so does a new form length.
    std::vector<Want> all = first;
    all.push_back(marker(0, 252));
    for (const std::string &off : {bytes({ESC, 'C', 10, ESC, 'N', 3, ESC, 'O'}), bytes({ESC, 'N', 3, ESC, 'C', 10})}) {
      Printout plain = print(ourCharacters() + off + lines);
      EXPECT_EQ(plain.pages.size(), 1u);
      EXPECT_TRUE(pageDots(plain, 0, all));
    }
  }
  {
    // FF: the top of the next page, the head at the left margin.
    Printout out = print(ourCharacters() + bytes({ESC, 'l', 2, ESC, 'J', 90}) + "UU\x0cU");
    EXPECT_EQ(heights(out), (Heights{2640, 2640}));
    EXPECT_TRUE(pageDots(out, 0, {marker(288, 90), marker(432, 90)}));
    EXPECT_TRUE(pageDots(out, 1, {marker(288)}));
  }
  {
    // A line straddling the end of a page: pins 1 and 2 of a line 210/216 inch down a
    // one-inch page are on it, pins 3-8 at the top of the next.
    Printout out = print(ourCharacters() + bytes({ESC, 'C', 0, 1, ESC, 'J', 210}) + "F");
    ASSERT_EQ(out.pages.size(), 2u);
    EXPECT_TRUE(pageDots(out, 0, {{0, 210, 0}, {0, 210, 1}}));
    std::vector<Want> lower;
    for (unsigned pin = 2; pin < 8; ++pin) lower.push_back({0, -6, pin});
    EXPECT_TRUE(pageDots(out, 1, lower));
    // A line 211/216 inch down: pin 2's dot is cut by the page's end; its foot
    // is at the top of the next page, in the dot's columns.
    Printout cut = print(ourCharacters() + bytes({ESC, 'C', 0, 1, ESC, 'J', 211}) + "F");
    ASSERT_EQ(cut.pages.size(), 2u);
    const PageRaster &top = cut.pages[1].raster;
    bool foot = false;
    for (unsigned x = 0; x < 4; ++x) foot = foot || inked(top, x, 0);
    EXPECT_TRUE(foot) << "the foot of pin 2's dot";
    for (unsigned x = 4; x < 20; ++x) EXPECT_FALSE(inked(top, x, 0)) << x;
    bool head = false;
    for (unsigned x = 0; x < 4; ++x) head = head || inked(cut.pages[0].raster, x, 239);
    EXPECT_TRUE(head) << "the head of pin 2's dot at the foot of the first page";
  }
  {
    // Blank pages between printed pages are written; none before the first or after
    // the last.
    Printout out = twoLines("\x0c\x0c");
    ASSERT_EQ(out.pages.size(), 3u);
    EXPECT_TRUE(pageDots(out, 1, {}));
    EXPECT_EQ(inkedPixels(out.pages[1].raster), 0u);
    EXPECT_TRUE(pageDots(out, 2, {marker(0)}));
    Printout skipped = print(ourCharacters() + bytes({ESC, 'C', 0, 1}) + "U" + times(bytes({ESC, 'J', 216}), 3) + "U");
    EXPECT_EQ(heights(skipped), (Heights{240, 240, 240, 240}));
    EXPECT_TRUE(pageDots(skipped, 3, {marker(144)}));
    Printout alone = print(ourCharacters() + "\x0c\x0c\n\x0cU\x0c\x0c\n\n\x0c");
    ASSERT_EQ(alone.pages.size(), 1u);
    EXPECT_TRUE(pageDots(alone, 0, {marker(0)}));
    EXPECT_TRUE(print(ourCharacters() + "\x0c\x0c").pages.empty());
    EXPECT_TRUE(print("").pages.empty());
  }
}

namespace {

// The dots of 8-pin graphics columns from x on, step apart: bit 7 fires pin 1, bit 0
// pin 8. Without neighbours, a pin that printed in the previous column does not print.
std::vector<Want> graphicsDots(const std::vector<uint8_t> &data, int64_t x, uint32_t step, bool noNeighbours = false,
                               int64_t y = 0) {
  std::vector<Want> want;
  unsigned previous = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    unsigned printed = 0;
    for (unsigned pin = 0; pin < 8; ++pin)
      if (data[i] >> (7 - pin) & 1 && !(noNeighbours && previous >> pin & 1)) {
        want.push_back({x + int64_t(i) * step, y, pin});
        printed |= 1u << pin;
      }
    previous = printed;
  }
  return want;
}

std::string graphicsCommand(const std::string &command, const std::vector<uint8_t> &data) {
  std::string s = command + char(data.size() & 0xFF) + char(data.size() >> 8);
  for (uint8_t b : data) s += char(b);
  return s;
}

std::vector<Want> plus(std::vector<Want> a, const std::vector<Want> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST(EscpPrinter, GraphicsModesPutTheirDotsInPlace) {
  const std::string ours = ourCharacters();
  // Every pin alone, alternate pins, none, all; and columns whose pins repeat, which
  // the modes without neighbouring dots thin out.
  const std::vector<uint8_t> data = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0xAA, 0x55, 0x00, 0xFF,
                                     0x80, 0x80, 0x80, 0xC0, 0x40, 0x00, 0x40, 0xFF, 0xFF, 0x81};
  struct Mode {
    std::string command;
    uint32_t step;        // 1/1440 inch between columns
    bool noNeighbours;
  };
  const Mode modes[] = {
      {bytes({ESC, 'K'}), 24, false},    {bytes({ESC, 'L'}), 12, false},    {bytes({ESC, 'Y'}), 12, true},
      {bytes({ESC, 'Z'}), 6, true},      {bytes({ESC, '*', 0}), 24, false}, {bytes({ESC, '*', 1}), 12, false},
      {bytes({ESC, '*', 2}), 12, true},  {bytes({ESC, '*', 3}), 6, true},   {bytes({ESC, '*', 4}), 18, false},
      {bytes({ESC, '*', 5}), 20, false}, {bytes({ESC, '*', 6}), 16, false},
  };
  for (const Mode &mode : modes) {
    SCOPED_TRACE(::testing::PrintToString(mode.command));
    // After a character, on a line 30/216 inch down; the head is at the image's end
    // afterwards, where the next character prints.
    Printout out = print(ours + bytes({ESC, 'J', 30}) + "U" + graphicsCommand(mode.command, data) + "U");
    int64_t end = 144 + int64_t(data.size()) * mode.step;
    EXPECT_TRUE(pageDots(out, 0, plus(graphicsDots(data, 144, mode.step, mode.noNeighbours, 30),
                                      {marker(0, 30), marker(end, 30)})));
  }

  // ESC ^: 9 pins, two bytes a column, pin 9 in bit 7 of the second.
  const std::vector<uint8_t> nine = {0x80, 0x80, 0x01, 0x00, 0x00, 0x7F, 0xFF, 0xFF, 0x00, 0x80, 0x55, 0x00};
  std::vector<Want> nineDots;
  for (size_t column = 0; column < nine.size() / 2; ++column) {
    std::vector<Want> eight = graphicsDots({nine[2 * column]}, int64_t(column), 1);
    for (Want w : eight) nineDots.push_back({int64_t(column), 0, w.pin});
    if (nine[2 * column + 1] & 0x80) nineDots.push_back({int64_t(column), 0, 8});
  }
  for (uint32_t step : {24u, 12u}) {
    SCOPED_TRACE(step);
    std::string command = bytes({ESC, '^', step == 24 ? 0 : 1, int(nine.size() / 2), 0});
    for (uint8_t b : nine) command += char(b);
    std::vector<Want> want = {marker(int64_t(nine.size() / 2) * step)};
    for (Want w : nineDots) want.push_back({w.x * step, 0, w.pin});
    EXPECT_TRUE(pageDots(print(ours + command + "U"), 0, want));
  }

  // ESC ? c m: ESC K, L, Y or Z prints in mode m from then on, until ESC @.
  const std::vector<uint8_t> run = {0x80, 0x80, 0x80, 0x00, 0x18};
  EXPECT_TRUE(pageDots(print(bytes({ESC, '?', 'K', 3}) + graphicsCommand(bytes({ESC, 'K'}), run)), 0,
                       graphicsDots(run, 0, 6, true)));
  EXPECT_TRUE(pageDots(print(bytes({ESC, '?', 'L', 0}) + graphicsCommand(bytes({ESC, 'L'}), run)), 0,
                       graphicsDots(run, 0, 24)));
  EXPECT_TRUE(pageDots(print(bytes({ESC, '?', 'Y', 1}) + graphicsCommand(bytes({ESC, 'Y'}), run)), 0,
                       graphicsDots(run, 0, 12)));
  EXPECT_TRUE(pageDots(print(bytes({ESC, '?', 'Z', 6}) + graphicsCommand(bytes({ESC, 'Z'}), run)), 0,
                       graphicsDots(run, 0, 16)));
  EXPECT_TRUE(pageDots(print(bytes({ESC, '?', 'K', 4}) + graphicsCommand(bytes({ESC, 'L'}), run)), 0,
                       graphicsDots(run, 0, 12)))
      << "only the command named changes";
  EXPECT_TRUE(pageDots(print(bytes({ESC, '?', 'K', 3, ESC, '@'}) + graphicsCommand(bytes({ESC, 'K'}), run)), 0,
                       graphicsDots(run, 0, 24)));

  // Columns past the right margin are read and dropped: 482 columns at 60 dots an inch
  // fill the 8-inch line with 480; the next character still prints after them.
  {
    std::vector<uint8_t> wide(482, 0x80);
    Printout out = print(ours + graphicsCommand(bytes({ESC, 'K'}), wide) + "\rU");
    EXPECT_TRUE(pageDots(out, 0, plus(graphicsDots(std::vector<uint8_t>(480, 0x80), 0, 24), {marker(0)})));
    // A right margin after column 10 (1 inch): from 24/1440 inch on at 72 dots an
    // inch, columns up to 1424/1440 print, those from 1444/1440 on are dropped.
    std::vector<uint8_t> some(90, 0x80);
    Printout margin = print(bytes({ESC, 'Q', 10, ESC, '$', 1, 0}) + graphicsCommand(bytes({ESC, '*', 5}), some));
    EXPECT_TRUE(pageDots(margin, 0, graphicsDots(std::vector<uint8_t>(71, 0x80), 24, 20)));
  }

  // Control codes inside graphics data are data.
  {
    const std::vector<uint8_t> controls = {13, 10, 12, 27, 24, 127, 11, 14, 15};
    Printout out = print(ours + graphicsCommand(bytes({ESC, 'K'}), controls) + "U");
    ASSERT_EQ(out.pages.size(), 1u);
    EXPECT_TRUE(pageDots(out, 0, plus(graphicsDots(controls, 0, 24), {marker(24 * int64_t(controls.size()))})));
  }
  // An unknown mode is ignored with its data.
  for (int mode : {7, 8, 32, 255}) {
    SCOPED_TRACE(mode);
    EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '*', mode, 3, 0}) + "UUU" + "U"), 0, {marker(0)}));
  }
  // Graphics and text share a line; graphics go where the head is, 
  // also after ESC $ and on a later line.
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, '$', 10, 0}) + graphicsCommand(bytes({ESC, 'L'}), {0x01}) + "U\n" +
                             graphicsCommand(bytes({ESC, 'K'}), {0x80})),
                       0, {{240, 0, 7}, marker(252), marker(0, 36)}));
}

namespace {

// The markers of a stream that defines our characters first.
Printout marked(const std::string &stream) { return print(ourCharacters() + stream); }

std::string counting(int from, int to) {
  std::string s;
  for (int n = from; n <= to; ++n) s += char(n);
  return s;
}

}  // namespace

TEST(EscpPrinter, TabsAndMargins) {
  // HT: stops every 8 characters at power-on.
  EXPECT_TRUE(pageDots(marked("\tU"), 0, {marker(1152)}));
  EXPECT_TRUE(pageDots(marked("U\tU"), 0, {marker(0), marker(1152)}));
  EXPECT_TRUE(pageDots(marked("\t\tU"), 0, {marker(2304)}));
  EXPECT_TRUE(pageDots(marked(times("U", 9) + "\tU"), 0,
                       plus(repeated({{0, 0}}, 9, 144, Style{12}), {marker(2304)})));
  // ESC D: stops at columns of the pitch in force; a number not above the last ends
  // the list.
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'D', 3, 6, 0}) + "\tU\tU"), 0, {marker(432), marker(864)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'M', ESC, 'D', 3, 6, 0}) + "\tU\tU"), 0, {marker(360), marker(720)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'D', 5, 3}) + "\tU"), 0, {marker(720)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'D', 5, 5}) + "\tU"), 0, {marker(720)}));
  // At most 32 stops.
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'D'}) + counting(1, 32) + bytes({0}) + times("\t", 32) + "U"), 0,
                       {marker(32 * 144)}));
  {
    Printout out = marked(bytes({ESC, 'D'}) + counting(1, 40) + bytes({0}) + "\r\n" + times("\t", 32) + "U\r\n" +
                          times("\t", 33) + "U");
    ASSERT_EQ(out.pages.size(), 1u);
    EXPECT_TRUE(sameDots(strikesIn(out.pages[0], 40, 80), {marker(32 * 144, 36)}));
    for (const Strike &s : strikesIn(out.pages[0], 80, 120))
      EXPECT_NE(std::lround(centreX(s)), std::lround(centreX(marker(33 * 144)))) << "a 33rd stop";
  }
  // ESC e 0 n: stops every n columns; ESC e 1 n: vertical stops every n lines.
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'e', 0, 5}) + "\t\tU"), 0, {marker(1440)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'e', '0', 3}) + "\tU"), 0, {marker(432)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'e', 1, 3}) + "\x0bU\x0bU"), 0, {marker(0, 108), marker(0, 216)}));
  // ESC B: vertical stops; VT goes to the next one, the head to the left margin.
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'B', 2, 5, 0}) + "U\x0bU\x0bU"), 0,
                       {marker(0), marker(0, 72), marker(0, 180)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'B', 4, 2}) + "\x0bU"), 0, {marker(0, 144)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'A', 6, ESC, 'B', 4, 0, ESC, '2'}) + "\x0bU"), 0, {marker(0, 72)}))
      << "stops stay where they were set when the spacing changes";
  // With no stops, VT is LF; past the last stop, a form feed.
  EXPECT_TRUE(pageDots(marked("U\x0bU"), 0, {marker(0), marker(0, 36)}));
  {
    Printout out = marked(bytes({ESC, 'B', 2, 0}) + "\x0b\x0bU");
    ASSERT_EQ(out.pages.size(), 1u);
    EXPECT_TRUE(pageDots(out, 0, {marker(0)}));
    Printout two = marked(bytes({ESC, 'B', 2, 0}) + "U\x0bU\x0bU");
    EXPECT_TRUE(pageDots(two, 0, {marker(0), marker(0, 72)}));
    EXPECT_TRUE(pageDots(two, 1, {marker(0)}));
  }
  // ESC f: n spaces, or n line feeds.
  EXPECT_TRUE(pageDots(marked("U" + bytes({ESC, 'f', 0, 3}) + "U"), 0, {marker(0), marker(576)}));
  EXPECT_TRUE(pageDots(marked("UU" + bytes({ESC, 'f', 1, 2}) + "U"), 0, {marker(0), marker(144), marker(0, 72)}));

  // ESC l and ESC Q: margins in columns of the pitch in force.
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 5}) + "U\rU\nU"), 0, {marker(720), marker(720), marker(720, 36)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'M', ESC, 'l', 6}) + "U"), 0, {marker(720)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'Q', 3}) + "UUUU"), 0,
                       {marker(0), marker(144), marker(288), marker(0, 36)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 5, ESC, 'Q', 6}) + "UU"), 0, {marker(720), marker(720, 36)}));
  // A margin that leaves less than one character is ignored.
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'Q', 10, ESC, 'l', 10}) + "U"), 0, {marker(0)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'Q', 10, ESC, 'l', 9}) + "UU"), 0, {marker(1296), marker(1296, 36)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 5, ESC, 'Q', 5}) + times("U", 6)), 0,
                       repeated({{0, 0}}, 6, 144, Style{12}, 720)));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 80}) + "U"), 0, {marker(0)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 79}) + "UU"), 0, {marker(79 * 144), marker(79 * 144, 36)}));
  // ESC $: from the left margin in 1/60 inch; ESC \: by a signed count of 1/120 inch,
  // never left of the left margin.
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 2, ESC, '$', 10, 0}) + "U"), 0, {marker(528)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, '$', 0x2C, 1}) + "U"), 0, {marker(300 * 24)}));
  EXPECT_TRUE(pageDots(marked("U" + bytes({ESC, '\\', 10, 0}) + "U"), 0, {marker(0), marker(264)}));
  EXPECT_TRUE(pageDots(marked("UU" + bytes({ESC, '\\', 0xF6, 0xFF}) + "U"), 0, {marker(0), marker(144), marker(168)}));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 2}) + "U" + bytes({ESC, '\\', 0x18, 0xFC}) + "U"), 0,
                       {marker(288), marker(288)}));
  // A character that does not fit before the right margin: CR LF first.
  EXPECT_TRUE(pageDots(marked(times("U", 81)), 0, plus(repeated({{0, 0}}, 80, 144, Style{12}), {marker(0, 36)})));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'l', 2}) + times("U", 79)), 0,
                       plus(repeated({{0, 0}}, 78, 144, Style{12}, 288), {marker(288, 36)})));
  EXPECT_TRUE(pageDots(marked(bytes({ESC, 'M'}) + times("U", 97)), 0,
                       plus(repeated({{0, 0}}, 96, 120, Style{10}), {marker(0, 36)})));
  // BS: back one character; nothing at the left margin.
  EXPECT_TRUE(pageDots(marked("UU\x08U\x08\x08\x08U"), 0, {marker(0), marker(144), marker(144), marker(0)}));
}

namespace {

std::string pdfText(const EscpFolder &folder, const std::string &pdf) {
  return commandOutput("pdftotext -layout '" + folder.dir.file(pdf) + "' -");
}

// The text of a page's cells in the order printed, as UTF-8.
std::string cellText(const PageJob &page) {
  std::string s;
  for (const TextCell &cell : page.cells) {
    char32_t c = cell.text;
    if (c < 0x80) {
      s += char(c);
    } else if (c < 0x800) {
      s += char(0xC0 | c >> 6), s += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += char(0xE0 | c >> 12), s += char(0x80 | (c >> 6 & 0x3F)), s += char(0x80 | (c & 0x3F));
    } else {
      s += char(0xF0 | c >> 18), s += char(0x80 | (c >> 12 & 0x3F)), s += char(0x80 | (c >> 6 & 0x3F)),
          s += char(0x80 | (c & 0x3F));
    }
  }
  return s;
}

}  // namespace

TEST(EscpPrinter, CancelAndDeleteRemoveCharactersEverywhere) {
  // What CAN and DEL remove is printed nowhere: the pages, the PDF's text and the
  // transcript are those of the stream without it.
  const std::string edited = "ABC" + bytes({24}) + "XYZ\r\n" + "HELLO" + bytes({127, 127}) + "P\r\n" + "KEEP\r" +
                             "GONE" + bytes({24}) + "\n" + "MQRS" + bytes({127}) + "T" + bytes({14}) + "WIDE" +
                             bytes({127}) + "Q\r\n" + bytes({ESC, 'E'}) + "BOLD" + bytes({127, 24}) + "THIN";
  const std::string plain = "XYZ\r\nHELP\r\nKEEP\r\nMQRT" + bytes({14}) + "WIDQ\r\n" + bytes({ESC, 'E'}) + "THIN";
  EscpFolder a, b;
  for (const EscpFolder *folder : {&a, &b}) {
    RunResult run = runEscp(*folder, folder == &a ? edited : plain, {"-out", "P", "-pdf", "p.pdf", "-text", "t.txt", "-height", "1"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
  }
  std::vector<std::string> pagesA = pngFiles(a.dir), pagesB = pngFiles(b.dir);
  ASSERT_EQ(pagesA.size(), 1u);
  ASSERT_EQ(pagesB.size(), 1u);
  Page pageA = readPage(a.dir.file(pagesA[0])), pageB = readPage(b.dir.file(pagesB[0]));
  EXPECT_GT(pageB.inkedPixels(), 0u);
  EXPECT_TRUE(pageA.rgb == pageB.rgb) << "the pages differ";
  const std::string transcript = readFile(a.dir.file("t.txt"));
  EXPECT_EQ(transcript, readFile(b.dir.file("t.txt")));
  EXPECT_EQ(transcript.find("ABC"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("GONE"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("HELL"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("HELP"), std::string::npos) << transcript;
  const std::string pdf = pdfText(a, "p.pdf");
  EXPECT_EQ(pdf, pdfText(b, "p.pdf"));
  for (const char *gone : {"ABC", "GONE", "HELL", "BOLD", "MQRS", "WIDE"}) EXPECT_EQ(pdf.find(gone), std::string::npos) << gone << "\n" << pdf;
  for (const char *kept : {"XYZ", "HELP", "KEEP", "MQRT", "THIN"}) EXPECT_NE(pdf.find(kept), std::string::npos) << kept << "\n" << pdf;

  // In place: a line already printed (after CR) stays; DEL at the line's start does
  // nothing; CAN takes the head back to where the line began, after a margin or ESC J.
  const std::string ours = ourCharacters();
  EXPECT_TRUE(pageDots(print(ours + "UU\r" + "U" + bytes({24}) + "\x7fU"), 0, {marker(0), marker(144), marker(0)}));
  EXPECT_TRUE(pageDots(print(ours + "UU" + bytes({ESC, 'J', 10}) + "UU" + bytes({24}) + "U"), 0,
                       {marker(0), marker(144), marker(288, 10)}));
  EXPECT_TRUE(pageDots(print(ours + bytes({ESC, 'l', 3}) + "UUU" + bytes({127, 127}) + "U"), 0,
                       {marker(432), marker(576)}));
  Printout cells = print(ours + "ab" + bytes({127}) + "c\rde" + bytes({24}) + "f");
  ASSERT_EQ(cells.pages.size(), 1u);
  EXPECT_EQ(cellText(cells.pages[0]), "acf");
}

TEST(EscpPrinter, CharacterSetsAndTablesInTheTranscript) {
  const char *const rows[13] = {
      "#$@[\\]^`{|}~", "#$à°ç§^`éùè¨", "#$§ÄÖÜ^`äöüß", "£$@[\\]^`{|}~", "#$@ÆØÅ^`æøå~",
      "#¤ÉÄÖÅÜéäöåü",  "#$@°\\é^ùàòèì", "₧$@¡Ñ¿^`¨ñ}~", "#$@[¥]^`{|}~", "#¤ÉÆØÅÜéæøåü",
      "#$ÉÆØÅÜéæøåü",  "#$á¡Ñ¿é`íñóú", "#$á¡Ñ¿éüíñóú",
  };
  const std::string places = bytes({0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E});
  std::string stream, want;
  for (int set = 0; set < 13; ++set) {
    stream += bytes({ESC, 'R', set}) + places + "\r\n";
    want += std::string(rows[set]) + "\n";
  }
  // A set number out of range leaves the set as it is.
  stream += bytes({ESC, 'R', 2, ESC, 'R', 13}) + places + bytes({ESC, 'R', 64}) + places + "\r\n";
  want += std::string(rows[2]) + rows[2] + "\n";
  // The italic table: 160-255 the italic forms of 32-127, 128-159 control codes.
  stream += bytes({ESC, 'R', 0, ESC, 'D', 8, 0, ESC, 't', 0, 0xC1, 0xE2, 0xA0, 0xB9, 0xFE, 0x8A}) + "X" + bytes({0x89}) + "Y" +
            bytes({0x8D, 0x8A});
  want += "Ab 9~\nX       Y\n";
  // The graphics table: 128-255 the upper half of code page 437, 128-159 printable.
  stream += bytes({ESC, 't', 1, 0x80, 0x81, 0x8A, 0x9B, 0x9F, 0xA5, 0xB0, 0xB3, 0xC4, 0xC5, 0xDB, 0xE0, 0xE1, 0xE3,
                   0xEA, 0xF1, 0xF6, 0xF8, 0xFB, 0xFD, 0xFE}) +
            "\r\n";
  want += "Çüè¢ƒÑ░│─┼█αßπΩ±÷°√²■\n";
  // ESC 6: 128-159 print the national letters in the italic table; ESC 7 makes them
  // control codes again.
  const char *const national = "à°ç§éùè¨ÄÖÜäöüß£ÆØÅæøå¤Éòì₧¡Ñ¿ñ¥";
  stream += bytes({ESC, 't', 0, ESC, '6'}) + counting(0x80, 0x9F) + bytes({ESC, '7', 0x8A}) + "Z" + bytes({0x8D, 0x8A});
  want += std::string(national) + "\nZ\n";
  // The graphics table's 128-159 stay printable whatever ESC 7 says.
  stream += bytes({ESC, 't', 1, ESC, '7', 0x8A, 0x9B}) + "\r\n";
  want += "è¢\n";
  // A user-defined character is U+FFFD; the font's characters copied by ESC : 0 0 0
  // keep their own.
  stream += bytes({ESC, '@', ESC, ':', 0, 0, 0}) + defineCharacter('A', {0x80}) + bytes({ESC, '%', 1}) + "AB\r\n";
  want += "\xEF\xBF\xBD" "B\n";
  EscpFolder folder;
  RunResult run = runEscp(folder, stream, {"-text", "t.txt"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(readFile(folder.dir.file("t.txt")), want);
}

TEST(EscpPrinter, UserDefinedCharacters) {
  const std::string userSet = bytes({ESC, '%', 1}), fontSet = bytes({ESC, '%', 0});
  // Attribute bit 7 set: the columns fire pins 1-8 (bit 7 pin 1); clear: pins 2-9.
  const Columns columns = {0x81, 0, 0x40, 0, 0x24, 0, 0, 0, 0, 0, 0x01};
  const std::vector<GlyphDot> high = {{0, 0}, {0, 7}, {2, 1}, {4, 2}, {4, 5}, {10, 7}};
  std::vector<GlyphDot> low;
  for (GlyphDot d : high) low.push_back({d.column, d.pin + 1});
  EXPECT_TRUE(pageDots(print(defineCharacter('A', columns, 0x8B) + userSet + "AA"), 0,
                       repeated(high, 2, 144, Style{12})));
  EXPECT_TRUE(pageDots(print(defineCharacter('A', columns, 0x0B) + userSet + "AA"), 0,
                       repeated(low, 2, 144, Style{12})));
  // The attribute's other bits do not change the width: every character one of the pitch.
  EXPECT_TRUE(pageDots(print(defineCharacter('A', columns, 0x80) + userSet + "AA"), 0,
                       repeated(high, 2, 144, Style{12})));
  EXPECT_TRUE(pageDots(print(defineCharacter('A', columns, 0xFF) + userSet + bytes({ESC, 'M'}) + "AA"), 0,
                       repeated(high, 2, 120, Style{10})));
  // Several characters in one command.
  {
    std::string define = bytes({ESC, '&', 0, 'a', 'c'});
    for (int i = 0; i < 3; ++i) {
      define += char(0x8B);
      for (int column = 0; column < 11; ++column) define += char(column == 2 * i ? 0x80 : 0);
    }
    EXPECT_TRUE(pageDots(print(define + userSet + "cba"), 0, {marker(4 * 12), marker(144 + 2 * 12), marker(288)}));
  }
  // ESC % 0 prints from the font again; codes never defined print from the font; the
  // older ESC % 1 0 prints the same.
  const std::vector<GlyphDot> fontB = fontGlyph("B");
  std::vector<Want> userThenFont = repeated(high, 1, 144, Style{12});
  addGlyph(userThenFont, fontB, 144, 0, Style{12});
  EXPECT_TRUE(pageDots(print(defineCharacter('A', columns) + userSet + "AB"), 0, userThenFont));
  EXPECT_TRUE(pageDots(print(defineCharacter('A', columns) + bytes({ESC, '%', 1, 0}) + "AB"), 0, userThenFont));
  EXPECT_TRUE(pageDots(print(defineCharacter('A', columns) + bytes({ESC, '%', '1'}) + "AB"), 0, userThenFont));
  {
    std::vector<Want> want = userThenFont;
    addGlyph(want, fontB, 288, 0, Style{12});
    EXPECT_TRUE(pageDots(print(defineCharacter('B', {}) + defineCharacter('A', columns) + userSet + "A" + fontSet +
                               "BB"),
                         0, want));
  }
  // ESC : 0 0 0 copies the font: its characters print as before, and keep their text.
  {
    Printout copied = print(bytes({ESC, ':', 0, 0, 0}) + defineCharacter('A', columns) + userSet + "AB");
    EXPECT_TRUE(pageDots(copied, 0, userThenFont));
    ASSERT_EQ(copied.pages.size(), 1u);
    EXPECT_EQ(cellText(copied.pages[0]), "\xEF\xBF\xBD" "B");
    const std::vector<GlyphDot> fontG = fontGlyph("g");
    std::vector<Want> want;
    addGlyph(want, fontG, 0, 0, Style{12});
    EXPECT_TRUE(pageDots(print(bytes({ESC, ':', 0, 0, 0}) + userSet + "g"), 0, want));
  }
  // A user-defined character is U+FFFD in the text; a font character is itself.
  {
    Printout out = print(defineCharacter('A', columns) + userSet + "AB" + fontSet + "A");
    ASSERT_EQ(out.pages.size(), 1u);
    EXPECT_EQ(cellText(out.pages[0]), "\xEF\xBF\xBD" "BA");
  }
}

TEST(EscpPrinter, ResetRestoresSettingsWithoutMovingPaper) {
  const std::vector<GlyphDot> H = fontGlyph("H"), bracket = fontGlyph("["), italicA = fontGlyph(bytes({ESC, '4'}) + "A");
  // An H, then every setting changed, the paper fed 50/216 inch, and ESC @.
  const std::string changed =
      bytes({ESC, 'C', 0, 1, ESC, 'M', ESC, 'E', ESC, 'W', 1, ESC, '4', ESC, '-', 1, ESC, 'G', ESC, 'S', 0, ESC, '3',
             10, ESC, 'l', 5, ESC, 'Q', 40, ESC, 'D', 2, 0, ESC, 'R', 2, ESC, 't', 1, ESC, '6', ESC, '?', 'K', 3, ESC,
             'N', 3}) +
      defineCharacter('H', {0xFF}) + bytes({ESC, '%', 1});
  Printout out = print("H" + changed + bytes({ESC, 'J', 50, ESC, '@'}) + "H\tH\nH" + bytes({ESC, 'K', 2, 0, 0x80, 0x80}) +
                       "[" + bytes({0xC1, 0x8A}) + "H");
  ASSERT_EQ(out.pages.size(), 1u) << "ESC @ ends no page";
  EXPECT_EQ(out.pages[0].raster.height, pagePixelsDown) << "the form length is 11 inches again";
  // After: the font's H in pica at the left margin, where the paper was; tabs every 8
  // columns; lines of 1/6 inch; ESC K at 60 dots an inch; the USA set; the italic table
  // with 128-159 as control codes.
  std::vector<Want> want;
  addGlyph(want, H, 0, 0, Style{12});
  addGlyph(want, H, 0, 50, Style{12});
  addGlyph(want, H, 1152, 50, Style{12});
  addGlyph(want, H, 0, 86, Style{12});
  want.push_back({144, 86, 0});
  want.push_back({168, 86, 0});
  addGlyph(want, bracket, 192, 86, Style{12});
  addGlyph(want, italicA, 336, 86, Style{12});
  addGlyph(want, H, 0, 122, Style{12});
  EXPECT_TRUE(pageDots(out, 0, want));
  EXPECT_EQ(cellText(out.pages[0]), "HHHH[AH");
}

TEST(EscpPrinter, CommandCutOffByTheEndDoesNothing) {
  // Each command whole, and what it would do; cut short by the end of the stream at
  // any byte, it does nothing: the page holds the character before it, alone, and is
  // 11 inches long.
  const std::string ours = ourCharacters();
  struct Case {
    std::string command;
    std::string after;  // what shows that the whole command acted
  };
  const Case cases[] = {
      {bytes({ESC, 'K', 3, 0, 0xFF, 0xFF, 0xFF}), ""},
      {bytes({ESC, 'L', 2, 0, 0xFF, 0xFF}), ""},
      {bytes({ESC, 'Z', 2, 0, 0xFF, 0xFF}), ""},
      {bytes({ESC, '*', 4, 2, 0, 0xFF, 0xFF}), ""},
      {bytes({ESC, '^', 0, 2, 0, 0xFF, 0x80, 0xFF, 0x80}), ""},
      {bytes({ESC, 'J', 100}), "U"},
      {bytes({ESC, 'j', 100}), "U"},
      {bytes({ESC, 'f', 1, 4}), "U"},
      {bytes({ESC, 'f', 0, 4}), "U"},
      {bytes({ESC, 'C', 0, 2}), ""},
      {bytes({ESC, 'C', 6}), ""},
      {bytes({ESC, '$', 100, 0}), "U"},
      {bytes({ESC, '\\', 100, 0}), "U"},
      {bytes({ESC, 'W', 1}), "U"},
      {bytes({ESC, '&', 0, 'U', 'U', 0x8B, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}), "U"},
      {bytes({ESC, 'D', 3, 0}), "\tU"},
      {bytes({ESC, 'B', 3, 0}), "\x0bU"},
      {bytes({ESC, 'l', 20}), "\rU"},
      {bytes({ESC, 'e', 1, 2}), "\x0bU"},
      {bytes({ESC, '?', 'K', 1}), bytes({ESC, 'K', 2, 0, 0xFF, 0xFF})},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.command));
    // Whole, each does something.
    Printout whole = print(ours + "U" + c.command + c.after);
    ASSERT_FALSE(whole.pages.empty());
    EXPECT_TRUE(whole.pages.size() != 1 || whole.pages[0].raster.height != pagePixelsDown ||
                !sameDots(whole.pages[0].strikes, {marker(0)}));
    // Cut at every byte.
    for (size_t length = 1; length < c.command.size(); ++length) {
      SCOPED_TRACE(length);
      Printout cut = print(ours + "U" + c.command.substr(0, length));
      ASSERT_EQ(cut.pages.size(), 1u);
      EXPECT_EQ(cut.pages[0].raster.height, pagePixelsDown);
      EXPECT_TRUE(pageDots(cut, 0, {marker(0)}));
    }
  }
}

namespace {

// Whether every page is the line's width and at most 22 inches long, and holds its
// dots and text cells.
void expectInsidePages(const Printout &out) {
  for (const PageJob &page : out.pages) {
    EXPECT_EQ(page.raster.width, pagePixelsAcross);
    EXPECT_GE(page.raster.height, 1u);
    EXPECT_LE(page.raster.height, 22u * 240);
    for (const Strike &s : page.strikes) {
      EXPECT_LT(s.x, page.raster.width);
      EXPECT_LT(s.y, page.raster.height);
      EXPECT_LT(s.pin, 9);
    }
    for (const TextCell &cell : page.cells) {
      EXPECT_LE(cell.x + cell.width, page.raster.width) << cell.x;
      EXPECT_LT(cell.y, page.raster.height);
    }
  }
}

}  // namespace

TEST(EscpPrinter, BadInputPrintsInsideThePage) {
  const std::string ours = ourCharacters();
  // Counts running past the end of the stream: what came before prints.
  for (const std::string &cut : {bytes({ESC, 'K', 255, 255, 1, 2, 3}), bytes({ESC, '^', 1, 255, 255, 1, 2, 3}),
                                 bytes({ESC, '*', 3, 255, 255}), bytes({ESC, '&', 0, 0, 255, 0x8B, 1, 2})}) {
    Printout out = print(ours + "U" + cut);
    EXPECT_TRUE(pageDots(out, 0, {marker(0)}));
  }
  // Graphics of 65,535 columns: read whole, the line's width of them printed, the head
  // at the image's end, so that the next character goes to the next line.
  {
    Printout out = print(ours + graphicsCommand(bytes({ESC, 'K'}), std::vector<uint8_t>(65535, 0x80)) + "U");
    ASSERT_EQ(out.pages.size(), 1u);
    EXPECT_TRUE(pageDots(out, 0, plus(graphicsDots(std::vector<uint8_t>(480, 0x80), 0, 24), {marker(0, 36)})));
    Printout dense = print(ours + graphicsCommand(bytes({ESC, 'Z'}), std::vector<uint8_t>(65535, 0x81)) + "U");
    ASSERT_EQ(dense.pages.size(), 1u);
    EXPECT_TRUE(pageDots(dense, 0, plus(graphicsDots(std::vector<uint8_t>(1920, 0x81), 0, 6, true), {marker(0, 36)})));
    std::string nine = bytes({ESC, '^', 1, 255, 255}) + std::string(2 * 65535, char(0x80)) + "U";
    Printout tall = print(ours + nine);
    ASSERT_EQ(tall.pages.size(), 1u);
    std::vector<Want> want = {marker(0, 36)};
    for (int column = 0; column < 960; ++column) {
      want.push_back({12 * column, 0, 0});
      want.push_back({12 * column, 0, 8});
    }
    EXPECT_TRUE(pageDots(tall, 0, want));
  }
  // Endless tab and margin commands, margins beyond the line, reverse feeds above the
  // page, form lengths of 0 and 255 inches.
  {
    std::string stream = ours;
    for (int i = 0; i < 20; ++i) stream += bytes({ESC, 'D'}) + counting(1, 255) + bytes({ESC, 'B'}) + counting(1, 255);
    stream += bytes({ESC, 'e', 0, 0, ESC, 'e', 1, 0, ESC, 'e', 0, 255, ESC, 'e', 1, 255});
    stream += bytes({ESC, 'l', 255, ESC, 'Q', 255, ESC, 'Q', 0, ESC, 'l', 200, ESC, 'Q', 100, ESC, 'l', 90});
    stream += "\r\n" + times("U\t\x0b", 50) + times("\x0b", 30);
    Printout out = print(stream);
    expectInsidePages(out);
  }
  {
    Printout out = print(ours + times(bytes({ESC, 'j', 255}), 100) + "U" + bytes({ESC, 'J', 30}) +
                         times(bytes({ESC, 'j', 255}), 100) + "U");
    EXPECT_TRUE(pageDots(out, 0, {marker(0), marker(144)}));
  }
  for (const std::string &length : {bytes({ESC, 'C', 0, 0}), bytes({ESC, 'C', 0, 255}),
                                    bytes({ESC, '3', 255, ESC, 'C', 127}), bytes({ESC, '3', 0, ESC, 'C', 5})}) {
    Printout out = print(ours + length + "U\x0cU");
    ASSERT_EQ(out.pages.size(), 2u) << ::testing::PrintToString(length);
    EXPECT_EQ(out.pages[0].raster.height, pagePixelsDown);
    EXPECT_EQ(out.pages[1].raster.height, pagePixelsDown);
  }
  // Random bytes, often escapes: nothing crashes, nothing lands outside a page.
  std::mt19937 random(1984);
  for (int round = 0; round < 6; ++round) {
    std::string stream;
    for (int i = 0; i < 20000; ++i) {
      unsigned r = random() % 16;
      stream += char(r == 0 ? ESC : r == 1 ? int(random() % 32) : int(random() % 256));
    }
    expectInsidePages(print(stream));
  }
}

TEST(EscpPrinter, RandomBytesRunThroughTheProgram) {
  // The program itself, with a PDF and a transcript: its pages are the line's width
  // and at most 22 inches long.
  std::mt19937 random(2024);
  std::string stream;
  for (int i = 0; i < 3000; ++i) {
    unsigned r = random() % 12;
    int b = r == 0 ? ESC : r == 1 ? int(random() % 32) : int(random() % 256);
    stream += char(b == 12 ? 'x' : b);  // not too many pages to write
  }
  EscpFolder folder;
  RunResult run = runEscp(folder, stream, {"-out", "R", "-pdf", "r.pdf", "-text", "r.txt", "-height", "1"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const std::string &file : pngFiles(folder.dir)) {
    Page page = readPage(folder.dir.file(file));
    EXPECT_EQ(page.width, pagePixelsAcross) << file;
    EXPECT_LE(page.height, 22u * 240) << file;
  }
  EXPECT_TRUE(fileExists(folder.dir.file("r.pdf")));
  EXPECT_TRUE(fileExists(folder.dir.file("r.txt")));
}

// A form length that leaves the head below the new foot ends the page as it is: what
// was printed stays on it, in ink and in text. ESC @ sets the power-on length the same
// way, and a form shorter than a line at 1/6 inch is refused, so that no feed can
// become thousands of pages.
TEST(EscpPrinter, FormLengthsNeverCutWhatIsPrinted) {
  using Heights = std::vector<unsigned>;
  auto heights = [](const Printout &out) {
    Heights h;
    for (const PageJob &page : out.pages) h.push_back(page.raster.height);
    return h;
  };
  {
    std::string stream = "top\r\n" + std::string(58, '\n') + "LOST\r" + bytes({ESC, 'C', 0, 5}) + "after\r\n";
    Printout out = print(stream);
    ASSERT_EQ(heights(out), (Heights{2640, 1200}));
    EXPECT_EQ(cellText(out.pages[0]), "topLOST");
    EXPECT_EQ(cellText(out.pages[1]), "after");
    for (const TextCell &cell : out.pages[0].cells) EXPECT_LT(cell.y, out.pages[0].raster.height);
    EXPECT_GT(inkedPixels(out.pages[0].raster), 0u);
    // "LOST" is inked at its line, 59 lines down.
    bool lostInked = false;
    for (unsigned y = 59 * 40; y < 59 * 40 + 30; ++y)
      for (unsigned x = 0; x < 96; ++x) lostInked = lostInked || inked(out.pages[0].raster, x, y);
    EXPECT_TRUE(lostInked);
  }
  {
    // 22-inch form, the head 18.9 inches down: ESC @ brings back 11 inches, which ends
    // the page at once, and the next line starts the next page.
    std::string stream = "top\r\n" + bytes({ESC, 'C', 0, 22});
    for (int i = 0; i < 16; ++i) stream += bytes({ESC, 'J', 255});
    Printout out = print(stream + bytes({ESC, '@'}) + "A\r\n");
    ASSERT_EQ(out.pages.size(), 2u);
    EXPECT_EQ(cellText(out.pages[1]), "A");
    EXPECT_EQ(out.pages[1].raster.height, 2640u);
  }
  {
    // ESC 3 1 and ESC C 1 would make a form of 1/216 inch: refused.
    Printout out = print("A" + bytes({ESC, '3', 1, ESC, 'C', 1, ESC, 'f', 1, 255}) + "B\r\n");
    EXPECT_EQ(heights(out), (Heights{2640}));
    EXPECT_EQ(cellText(out.pages[0]), "AB");
  }
}
