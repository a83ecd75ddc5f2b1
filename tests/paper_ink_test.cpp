// Paper and ink: pages on fanfold paper keep today's dots where the print line is, ink
// pages have the size and resolution of the sheet, a dot comes out round and as wide
// as a pin makes it, a worn pin prints lighter, runs repeat byte for byte, and the
// PDF's words sit over their printed characters. All through the real program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "run_support.h"

namespace {

constexpr unsigned pageWidth = 960;     // pixels of today's page, 8 inches at 120 an inch
constexpr unsigned pageHeight = 1512;   // pixels, 12 inches at 126 an inch
constexpr unsigned paperWidth = 1140;   // 9 1/2 inches at 120 an inch
constexpr unsigned printLeft = 90;      // 3/4 inch at 120 an inch
constexpr double metresPerInch = 0.0254;
constexpr double dotDiameterInches = 0.4 / 25.4;
constexpr uint8_t white = 255;

// The pixels per metre a PNG file's pHYs chunk records, across and down; 0 x 0 when it
// has none.
struct Resolution {
  unsigned across;
  unsigned down;
  bool operator==(const Resolution &other) const { return across == other.across && down == other.down; }
};

unsigned word(const std::string &bytes, size_t at) {
  unsigned value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | uint8_t(bytes[at + i]);
  return value;
}

Resolution pngResolution(const std::string &png) {
  for (size_t at = 8; at + 8 <= png.size();) {
    unsigned length = word(png, at);
    if (png.compare(at + 4, 4, "pHYs") == 0) return {word(png, at + 8), word(png, at + 12)};
    at += 12 + size_t(length);
  }
  return {0, 0};
}

unsigned perMetre(double pixelsPerInch) { return unsigned(pixelsPerInch / metresPerInch + 0.5); }

// The darkest red level within the box, and how many pixels there are darker than half.
struct Ink {
  unsigned darkest = white;
  unsigned darkPixels = 0;
  double sumX = 0, sumY = 0;  // of the dark pixels, for their centroid
  unsigned left = ~0u, right = 0, top = ~0u, bottom = 0;  // the dark pixels' bounds
};

Ink inkIn(const Page &page, unsigned x0, unsigned y0, unsigned x1, unsigned y1) {
  Ink ink;
  for (unsigned y = y0; y < std::min(y1, page.height); ++y)
    for (unsigned x = x0; x < std::min(x1, page.width); ++x) {
      ink.darkest = std::min<unsigned>(ink.darkest, page.red(x, y));
      if (page.red(x, y) >= 128) continue;
      ++ink.darkPixels;
      ink.sumX += x + 0.5;
      ink.sumY += y + 0.5;
      ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
    }
  return ink;
}

// Text-mode bytes that put the head at page pixel x: 27 16 low high.
std::string headAt(unsigned x) { return bytes({27, 16, int(x % 256), int(x / 256)}); }

// One bit-image column at page pixel x: bit k fires pin k.
std::string columnAt(unsigned x, unsigned pins) { return headAt(x) + bytes({8, int(0x80 | pins), 15}); }

// With -paper plain, the print area holds today's page pixel for pixel (dots in every
// gray, debug marks in colour), the sheet is 9 1/2 inches wide with round holes in its
// strips, and the PNG records its 120 x 126 pixels an inch; today's page records none.
TEST(PaperInk, PlainPaperKeepsTodaysDotsInThePrintArea) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string showcase = SOURCE_DIR "/examples/showcase.prn";
  // Worn pins print grays; debug marks make the pages colour.
  for (const char *debug : {"0", "2"}) {
    for (const char *paper : {"none", "plain"}) {
      writeFile(dir.file("ribbon.dat"), "100 300 600 900 1200 1500 1800");
      RunResult r = runTambrix(dir, {showcase, "-halflife", "3000", "-debug", debug, "-out", paper, "-paper", paper});
      EXPECT_NE(r.out.find(std::string("Paper: ") + paper + ".\n"), std::string::npos) << r.out;
    }
    Page today = readPage(dir.file("none-001.png")), plain = readPage(dir.file("plain-001.png"));
    ASSERT_EQ(today.width, pageWidth);
    ASSERT_EQ(plain.width, paperWidth);
    ASSERT_EQ(plain.height, pageHeight);
    size_t inked = 0, grays = 0, wrong = 0, notPaper = 0;
    for (unsigned y = 0; y < pageHeight; ++y)
      for (unsigned x = 0; x < pageWidth; ++x) {
        unsigned px = x + printLeft;
        bool same = today.red(x, y) == plain.red(px, y) && today.green(x, y) == plain.green(px, y) &&
                    today.blue(x, y) == plain.blue(px, y);
        bool blank = today.red(x, y) == white && today.green(x, y) == white && today.blue(x, y) == white;
        inked += !blank;
        grays += today.red(x, y) != 0 && today.red(x, y) != white;
        wrong += !blank && !same;
        // Where today's page is white, the paper shows: white, or the fold's
        // perforation in the top and bottom rows.
        notPaper += blank && !same && y != 0 && y != pageHeight - 1;
      }
    EXPECT_GT(inked, 20000u) << debug;
    EXPECT_GT(grays, 10000u) << debug;
    EXPECT_EQ(wrong, 0u) << "dots that differ from today's page, debug " << debug;
    EXPECT_EQ(notPaper, 0u) << "paper pixels that are not white, debug " << debug;
  }
  Page plain = readPage(dir.file("plain-001.png"));
  // A hole's centre: 1/4 inch in from each edge, 1/4 inch down; paper between holes.
  for (unsigned x : {30u, paperWidth - 30}) {
    EXPECT_LT(plain.red(x, 32), 160) << x;
    EXPECT_EQ(plain.red(x, 63), white) << x;
  }
  EXPECT_EQ(pngResolution(readFile(dir.file("plain-001.png"))), (Resolution{perMetre(120), perMetre(126)}));
  EXPECT_EQ(pngResolution(readFile(dir.file("none-001.png"))), (Resolution{0, 0}));

  // Green-bar paper: the first half inch of the sheet is green, the next white.
  runTambrix(dir, {"-paper", "greenbar", "-out", "green"}, columnAt(600, 1));
  Page green = readPage(dir.file("green-001.png"));
  EXPECT_GT(green.green(printLeft + 200, 30), green.red(printLeft + 200, 30) + 10);
  EXPECT_EQ(green.green(printLeft + 200, 90), green.red(printLeft + 200, 90));
}

// Ink pages are the sheet at -dpi square pixels an inch, 300 unless given, and say so.
TEST(PaperInk, InkPagesHaveTheSheetsSizeAndResolution) {
  struct Case {
    std::vector<std::string> words;
    unsigned width, height, pixelsPerInch;
  };
  const Case cases[] = {
      {{"-look", "ink"}, 2400, 3600, 300},                                         // 8 x 12 inches
      {{"-look", "ink", "-paper", "bluebar", "-dpi", "150", "-height", "11"}, 1425, 1650, 150},  // 9 1/2 x 11
      {{"-dpi", "150", "-paper", "plain", "-look", "ink", "-height", "0.5"}, 1425, 75, 150},
  };
  for (const Case &c : cases) {
    TempDir dir;
    std::vector<std::string> words = c.words;
    words.insert(words.end(), {"-out", "page"});
    RunResult r = runTambrix(dir, words, columnAt(100, 0x7F));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    Page page = readPage(dir.file("page-001.png"));
    EXPECT_EQ(page.width, c.width) << c.words.back();
    EXPECT_EQ(page.height, c.height) << c.words.back();
    EXPECT_EQ(pngResolution(readFile(dir.file("page-001.png"))),
              (Resolution{perMetre(c.pixelsPerInch), perMetre(c.pixelsPerInch)}));
  }
}

// An isolated dot of a fresh ribbon is black at its centre, round, 0.4 mm across where
// it is half dark, and centred where its pin struck; a second strike on a worn ribbon's
// dot darkens it.
TEST(PaperInk, AnIsolatedDotIsRoundAndAsWideAsAPin) {
  constexpr unsigned dpi = 600, x = 400, pin = 3;
  TempDir dir;
  runTambrix(dir, {"-look", "ink", "-dpi", std::to_string(dpi), "-out", "dot", "-height", "1"}, columnAt(x, 1 << pin));
  Page page = readPage(dir.file("dot-001.png"));
  // The centre of the 2 x 2 page pixels at (x, 2 pin), in ink pixels.
  double centreX = (x + 1) * dpi / 120.0, centreY = (2 * pin + 1) * dpi / 126.0;
  Ink dot = inkIn(page, 0, 0, page.width, page.height);
  ASSERT_GT(dot.darkPixels, 0u);
  EXPECT_EQ(dot.darkest, 0u) << "a fresh ribbon's dot is black at its centre";
  double diameter = 2 * std::sqrt(dot.darkPixels / M_PI), wanted = dotDiameterInches * dpi;
  EXPECT_NEAR(diameter, wanted, 1.5) << dot.darkPixels << " dark pixels";
  EXPECT_LE(std::abs(int(dot.right - dot.left) - int(dot.bottom - dot.top)), 1) << "as wide as it is high";
  EXPECT_NEAR(double(dot.right - dot.left + 1), wanted, 2.0);
  EXPECT_NEAR(dot.sumX / dot.darkPixels, centreX, 0.5);
  EXPECT_NEAR(dot.sumY / dot.darkPixels, centreY, 0.5);
  // A round dot fills about pi/4 of its bounding square.
  double fill = dot.darkPixels / double((dot.right - dot.left + 1) * (dot.bottom - dot.top + 1));
  EXPECT_NEAR(fill, M_PI / 4, 0.08);

  // Pin 3 worn to half its darkness: one strike is gray at its centre, two darker.
  writeFile(dir.file("ribbon.dat"), "0 0 0 100 0 0 0");
  runTambrix(dir, {"-look", "ink", "-halflife", "100", "-out", "worn", "-height", "1"},
             columnAt(x, 1 << pin) + "\n" + columnAt(x, 1 << pin) + columnAt(x, 1 << pin));
  Page worn = readPage(dir.file("worn-001.png"));
  unsigned lineInk = unsigned(21 * 300 / 126.0);  // a text line's pitch in ink pixels
  unsigned once = inkIn(worn, 0, 0, worn.width, lineInk).darkest;
  unsigned twice = inkIn(worn, 0, lineInk, worn.width, 2 * lineInk).darkest;
  EXPECT_GT(once, 60u);
  EXPECT_LT(once, 200u);
  EXPECT_LT(twice + 30, once) << "a second strike darkens the dot";
}

// A pin worn to a quarter of its darkness prints lighter than a fresh one, in black and
// in the ribbon's colour; ink fades towards the paper.
TEST(PaperInk, AWornPinPrintsLighterThanAFreshOne) {
  constexpr unsigned x = 300;
  for (const char *ribbon : {"black", "blue", "purple"}) {
    TempDir dir;
    writeFile(dir.file("ribbon.dat"), "0 0 0 0 0 0 200");
    RunResult r = runTambrix(dir, {"-look", "ink", "-ribbon", ribbon, "-halflife", "100", "-out", "p"},
                             columnAt(x, 0x7F));
    EXPECT_NE(r.out.find(std::string("Ribbon: ") + ribbon + ".\n"), std::string::npos) << r.out;
    Page page = readPage(dir.file("p-001.png"));
    // Pin 0's dot and pin 6's, each within a pixel or two of its centre, clear of the
    // pins beside it.
    unsigned left = unsigned((x + 1) * 300 / 120.0) - 2;
    unsigned top0 = unsigned(1 * 300 / 126.0) - 1, top6 = unsigned(13 * 300 / 126.0) - 1;
    Ink fresh = inkIn(page, left, top0, left + 4, top0 + 3);
    Ink worn = inkIn(page, left, top6, left + 4, top6 + 3);
    EXPECT_GT(worn.darkest, fresh.darkest + 60) << ribbon;
    EXPECT_LT(worn.darkest, white - 20) << ribbon << ": still ink";
    unsigned cx = left + 2, cy = top0 + 1;
    if (std::string(ribbon) == "blue") {
      EXPECT_GT(page.blue(cx, cy), page.red(cx, cy) + 40);
    }
    if (std::string(ribbon) == "purple") {
      EXPECT_GT(page.red(cx, cy), page.green(cx, cy) + 20);
    }
  }
}

// The same run twice gives the same bytes, pages and document, on one encoder thread
// or three: the dots' variation and the paper's grain come from the page and the place
// alone. The debug marks keep
// their colours, on top of the ink.
TEST(PaperInk, TwoRunsGiveTheSameBytes) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string showcase = SOURCE_DIR "/examples/showcase.prn";
  for (const char *name : {"a", "b"}) {
    std::remove(dir.file("ribbon.dat").c_str());
    RunResult r = runTambrix(dir, {showcase, "-look", "ink", "-paper", "greenbar", "-dpi", "100", "-debug", "2",
                                   "-out", name, "-pdf", std::string(name) + ".pdf", "-threads",
                                   name[0] == 'a' ? "1" : "3"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  EXPECT_EQ(readFile(dir.file("a-001.png")), readFile(dir.file("b-001.png")));
  EXPECT_EQ(readFile(dir.file("a.pdf")), readFile(dir.file("b.pdf")));
  // The green tick of the first column, over its dots, and the blue line over the
  // cell's top: pure colours, at 100 pixels an inch.
  runTambrix(dir, {"-look", "ink", "-dpi", "100", "-debug", "2", "-out", "marks"}, "AB");
  Page page = readPage(dir.file("marks-001.png"));
  for (unsigned y = 1; y < 10; ++y) {
    EXPECT_EQ(page.red(0, y), 0) << y;
    EXPECT_EQ(page.green(0, y), 255) << y;
    EXPECT_EQ(page.blue(0, y), 0) << y;
  }
  EXPECT_EQ(page.blue(5, 0), 255);
  EXPECT_EQ(page.green(5, 0), 0);
  EXPECT_GT(inkIn(page, 1, 1, 10, 12).darkPixels, 5u) << "the dots under the marks";
}

// Each page has its own ink: two pages of the same dots in the same places differ in
// the dots' darkness, and the same two-page stream gives the same bytes run after run.
TEST(PaperInk, EachPageHasItsOwnInk) {
  TempDir dir;
  // One text line a page: the same row of dots with every pin, a line feed, the same row.
  std::string row;
  for (unsigned x = 0; x < 40; x += 4) row += columnAt(x, 0x7F);
  std::string stream = row + bytes({13, 10}) + row;
  for (const char *name : {"a", "b"}) {
    RunResult r = runTambrix(dir, {"-look", "ink", "-dpi", "100", "-height", "0.17", "-out", name}, stream);
    ASSERT_EQ(r.status, 0) << r.err;
    std::remove(dir.file("ribbon.dat").c_str());
  }
  EXPECT_EQ(pngFiles(dir), (std::vector<std::string>{"a-001.png", "a-002.png", "b-001.png", "b-002.png"}));
  for (const char *page : {"-001.png", "-002.png"})
    EXPECT_TRUE(readFile(dir.file(std::string("a") + page)) == readFile(dir.file(std::string("b") + page))) << page;
  Page first = readPage(dir.file("a-001.png")), second = readPage(dir.file("a-002.png"));
  ASSERT_EQ(first.width, second.width);
  ASSERT_EQ(first.height, second.height);
  // The same dots: dark in the same places, more or less; not the same darkness.
  unsigned differing = 0, darkInBoth = 0, darkInEither = 0;
  for (unsigned y = 0; y < first.height; ++y)
    for (unsigned x = 0; x < first.width; ++x) {
      differing += first.red(x, y) != second.red(x, y);
      darkInBoth += first.dark(x, y) && second.dark(x, y);
      darkInEither += first.dark(x, y) || second.dark(x, y);
    }
  EXPECT_GT(darkInBoth, 50u);
  EXPECT_GT(darkInBoth * 10, darkInEither * 8) << "the same dots on both pages";
  EXPECT_GT(differing, 20u) << "the ink of each page varies on its own";
}

// In the PDF of a page on paper, in dots or in ink, each word's box is where its
// characters are printed: the print line 3/4 inch in, and ink under the box.
TEST(PaperInk, PdfWordsSitOverTheirPrintedCharacters) {
  // "HELLO" from character column 10 of the fourth line: 10/12 inch past the print
  // line's start, 3/6 inch down.
  const std::string stream = std::string("\n\n\n") + "          HELLO WORLD\r\n";
  constexpr double pointsPerInch = 72, wordLeft = (0.75 + 1.0) * pointsPerInch, wordTop = 0.5 * pointsPerInch;
  constexpr double cellPoints = 14 / 126.0 * pointsPerInch;
  for (std::vector<std::string> look : {std::vector<std::string>{"-paper", "plain"},
                                        std::vector<std::string>{"-look", "ink", "-paper", "bluebar", "-dpi", "150"}}) {
    TempDir dir;
    std::string font = readFile(SOURCE_DIR "/PRINTER/mps801.fake");  // its space is blank
    writeRom(dir, std::vector<uint8_t>(font.begin(), font.end()), "mps801.fake");
    look.insert(look.end(), {"-pdf", "doc.pdf", "-text", "doc.txt"});
    RunResult r = runTambrix(dir, look, stream);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.file("doc.txt")), "\n\n\n          HELLO WORLD\n");
    std::string info = commandOutput("pdfinfo '" + dir.file("doc.pdf") + "'");
    EXPECT_NE(info.find("Page size:       684 x 864 pts"), std::string::npos) << info;
    std::string boxes = commandOutput("pdftotext -bbox '" + dir.file("doc.pdf") + "' -");
    std::smatch word;
    std::regex hello("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">HELLO<");
    ASSERT_TRUE(std::regex_search(boxes, word, hello)) << boxes;
    double xMin = std::stod(word[1]), yMin = std::stod(word[2]), xMax = std::stod(word[3]), yMax = std::stod(word[4]);
    EXPECT_NEAR(xMin, wordLeft, 1.0) << look[1];
    EXPECT_NEAR(xMax, wordLeft + 5 * 0.1 * pointsPerInch, 1.0) << look[1];
    EXPECT_NEAR((yMin + yMax) / 2, wordTop + cellPoints / 2, 2.0) << look[1];
    // The page as a viewer shows it, at 72 pixels an inch: ink under the word's box.
    ASSERT_EQ(std::system(("pdftoppm -r 72 -png -singlefile '" + dir.file("doc.pdf") + "' '" + dir.file("shown") + "'")
                              .c_str()),
              0);
    Page shown = readPage(dir.file("shown.png"));
    Ink under = inkIn(shown, unsigned(xMin), unsigned(yMin), unsigned(xMax), unsigned(yMax) + 1);
    EXPECT_GT(under.darkPixels, 20u) << look[1];
    EXPECT_EQ(inkIn(shown, unsigned(0.75 * pointsPerInch), unsigned(yMin), unsigned(xMin) - 1, unsigned(yMax) + 1)
                  .darkPixels,
              0u)
        << "ink left of the word";
  }
}

}  // namespace
