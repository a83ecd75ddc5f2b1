// The PDF document: its pages show the rasters pixel for pixel, its text is found where
// the cells are, and a failed or dropped document leaves nothing behind. Checked with
// poppler's tools, as a reader of the file would see it.
#include "output/page_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "mechanism/glyph_text.h"
#include "output/transcript.h"
#include "base/utf8.h"
#include "run_support.h"

namespace {

constexpr unsigned pageWidth = 960;    // pixels, 8 inches
constexpr unsigned pageHeight = 1512;  // pixels, 12 inches
constexpr unsigned cellWidth = 12;     // pixels; twice that in double width
constexpr unsigned cellHeight = 14;
constexpr unsigned linePitch = 21;
constexpr unsigned glyphsPerLine = 60;
constexpr double pointsAcross = 72.0 / 120;  // PDF points per pixel across
constexpr double pointsDown = 72.0 / 126;    // PDF points per pixel down
constexpr double boxSlack = 0.05;            // points a word's box may be off its cells

// A word pdftotext finds, with its box in points from the top left of the page.
struct Word {
  std::string text;
  double left, top, right, bottom;
};

// The words of each page of a PDF document, as pdftotext -bbox finds them.
std::vector<std::vector<Word>> pdfWords(const std::string &pdf) {
  std::vector<std::vector<Word>> pages;
  std::istringstream lines(commandOutput("pdftotext -bbox '" + pdf + "' -"));
  for (std::string line; std::getline(lines, line);) {
    Word word;
    char text[256];
    if (line.find("<page ") != std::string::npos)
      pages.emplace_back();
    else if (std::sscanf(line.c_str(), " <word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\">%255[^<]",
                         &word.left, &word.top, &word.right, &word.bottom, text) == 5 && !pages.empty())
      pages.back().push_back({text, word.left, word.top, word.right, word.bottom});
  }
  return pages;
}

// The size in points of every page of a PDF document, as pdfinfo reads it.
std::vector<std::pair<double, double>> pdfPageSizes(const std::string &pdf) {
  std::vector<std::pair<double, double>> sizes;
  std::istringstream lines(commandOutput("pdfinfo -f 1 -l 9999 '" + pdf + "'"));
  for (std::string line; std::getline(lines, line);) {
    unsigned number;
    double width, height;
    if (std::sscanf(line.c_str(), "Page %u size: %lf x %lf pts", &number, &width, &height) == 3)
      sizes.emplace_back(width, height);
  }
  return sizes;
}

// Whether the page has the word where the cells of its characters are: from pixel x
// across, each character width pixels wide, on the cell row from pixel y down. The
// glyphs are taller than the cell and centred on it.
bool hasWordAt(const std::vector<Word> &page, const std::string &text, unsigned characters, unsigned x, unsigned y,
               unsigned width = cellWidth) {
  for (const Word &word : page)
    if (word.text == text && std::abs(word.left - x * pointsAcross) < boxSlack &&
        std::abs(word.right - (x + characters * width) * pointsAcross) < boxSlack &&
        std::abs((word.top + word.bottom) / 2 - (y + cellHeight / 2.0) * pointsDown) < boxSlack)
      return true;
  return false;
}

std::string describe(const std::vector<Word> &page) {
  std::ostringstream text;
  for (const Word &word : page)
    text << word.text << " " << word.left << "," << word.top << " " << word.right << "," << word.bottom << "\n";
  return text.str();
}

std::string utf8(char32_t c) {
  std::string text;
  appendUtf8(text, c);
  return text;
}

// The colour of a test palette's entry, as 0xRRGGBB.
uint32_t paletteColor(unsigned entry) { return entry << 16 | (255 - entry) << 8 | (entry * 7) % 256; }

// The colour a test raster of kind has at (x, y), as 0xRRGGBB: a pattern that tells
// neighbouring pixels and rows apart.
uint32_t testColor(PixelKind kind, unsigned x, unsigned y) {
  switch (kind) {
    case PixelKind::BlackWhite: return (x + 3 * y) % 11 < 3 ? 0x000000 : 0xFFFFFF;
    case PixelKind::Gray:       return (x + 2 * y) % 256 * 0x010101u;
    case PixelKind::Rgb:        return x % 256 << 16 | y % 256 << 8 | (x * y) % 251;
    case PixelKind::Indexed:    return paletteColor((x + 3 * y) % 256);
  }
  return 0;
}

PageRaster testRaster(PixelKind kind) {
  PageRaster raster;
  raster.width = pageWidth;
  raster.height = pageHeight;
  raster.kind = kind;
  if (kind == PixelKind::Indexed)
    for (unsigned entry = 0; entry < 256; ++entry)
      raster.palette.insert(raster.palette.end(), {uint8_t(paletteColor(entry) >> 16),
                                                   uint8_t(paletteColor(entry) >> 8), uint8_t(paletteColor(entry))});
  for (unsigned y = 0; y < pageHeight; ++y)
    for (unsigned x = 0; x < pageWidth; ++x) {
      uint32_t color = testColor(kind, x, y);
      if (kind == PixelKind::BlackWhite && x % 8 == 0) raster.bytes.push_back(0);
      if (kind == PixelKind::BlackWhite && color != 0) raster.bytes.back() |= 0x80 >> x % 8;
      if (kind == PixelKind::Gray) raster.bytes.push_back(uint8_t(color));
      if (kind == PixelKind::Rgb) raster.bytes.insert(raster.bytes.end(), {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color)});
      if (kind == PixelKind::Indexed) raster.bytes.push_back(uint8_t((x + 3 * y) % 256));
    }
  return raster;
}

// Cells of text from column on line, each width pixels wide.
void addText(std::vector<TextCell> &cells, const std::u32string &text, unsigned column, unsigned line,
             unsigned width = cellWidth) {
  for (size_t i = 0; i < text.size(); ++i)
    cells.push_back({unsigned(column * cellWidth + i * width), line * linePitch, width, cellHeight, text[i]});
}

// Four pages: black and white with words in both widths, gray, colour with every
// glyph's text character, and colour from a palette.
struct TestPage {
  PixelKind kind;
  std::vector<TextCell> cells;
};

std::vector<TestPage> testPages() {
  std::vector<TestPage> pages = {
      {PixelKind::BlackWhite, {}}, {PixelKind::Gray, {}}, {PixelKind::Rgb, {}}, {PixelKind::Indexed, {}}};
  addText(pages[0].cells, U"HELLO WORLD", 4, 2);
  addText(pages[0].cells, U"£↑←", 4, 4);
  addText(pages[0].cells, U"WIDE TEXT", 4, 6, 2 * cellWidth);
  addText(pages[0].cells, U"CD", 4, 8);  // both widths on one line
  addText(pages[0].cells, U"WIDE", 6, 8, 2 * cellWidth);
  addText(pages[1].cells, U"gray page", 0, 3);
  unsigned count = 0;
  for (unsigned i = 0; i < glyphTextCount; ++i)
    if (glyphTexts[i].text > U' ') {
      addText(pages[2].cells, {glyphTexts[i].text}, count % glyphsPerLine, 1 + count / glyphsPerLine);
      ++count;
    }
  return pages;
}

int writeDocument(const std::string &path, const std::vector<TestPage> &pages) {
  auto document = std::make_unique<Document>();
  int error = openDocument(*document, path);
  for (const TestPage &page : pages) addDocumentPage(*document, testRaster(page.kind), page.cells);
  return error != 0 ? error : finishDocument(*document);
}

TEST(PageDocument, ShowsTheRastersAndFindsTheText) {
  TempDir dir;
  std::vector<TestPage> pages = testPages();
  std::string pdf = dir.file("run.pdf");
  ASSERT_EQ(writeDocument(pdf, pages), 0);
  ASSERT_EQ(writeDocument(dir.file("again.pdf"), pages), 0);
  EXPECT_EQ(readFile(pdf), readFile(dir.file("again.pdf"))) << "the same pages must give the same bytes";

  std::string info = commandOutput("pdfinfo '" + pdf + "'");
  EXPECT_NE(info.find("Pages:           4\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page size:       576 x 864 pts"), std::string::npos) << info;
  EXPECT_EQ(info.find("CreationDate"), std::string::npos) << "a date makes every run's file differ";

  std::string first = commandOutput("pdftotext -f 1 -l 1 '" + pdf + "' -");
  for (const char *words : {"HELLO WORLD", "£↑←", "WIDE TEXT"})
    EXPECT_NE(first.find(words), std::string::npos) << words << " not in: " << first;
  EXPECT_NE(commandOutput("pdftotext -f 2 -l 2 '" + pdf + "' -").find("gray page"), std::string::npos);
  // Each word lies on its cells, in either width and with both widths on one line.
  std::vector<std::vector<Word>> words = pdfWords(pdf);
  ASSERT_EQ(words.size(), pages.size());
  struct Placed {
    const char *text;
    unsigned characters, column, line, width;
  };
  const Placed placed[] = {
      {"HELLO", 5, 4, 2, cellWidth}, {"WORLD", 5, 10, 2, cellWidth}, {"WIDE", 4, 4, 6, 2 * cellWidth},
      {"TEXT", 4, 14, 6, 2 * cellWidth}, {"CD", 2, 4, 8, cellWidth}, {"WIDE", 4, 6, 8, 2 * cellWidth},
  };
  for (const Placed &p : placed)
    EXPECT_TRUE(hasWordAt(words[0], p.text, p.characters, p.column * cellWidth, p.line * linePitch, p.width))
        << p.text << " at column " << p.column << " not in:\n" << describe(words[0]);
  std::string glyphs = commandOutput("pdftotext -f 3 -l 3 '" + pdf + "' -");
  for (const TextCell &cell : pages[2].cells)
    EXPECT_NE(glyphs.find(utf8(cell.text)), std::string::npos) << "U+" << std::hex << unsigned(cell.text);

  // Each page holds one image, flate-compressed, not interpolated, in the least depth
  // that keeps its pixels, filling the page at 120 x 126 pixels an inch ...
  std::istringstream images(commandOutput("pdfimages -list '" + pdf + "'"));
  std::string line;
  std::getline(images, line);
  std::getline(images, line);
  for (const char *format : {"gray 1 1", "gray 1 8", "rgb 3 8", "rgb 3 8"}) {
    std::string page, number, type, width, height, color, components, bits, encoding, interpolate, object, generation,
        across, down;
    std::getline(images, line);
    std::istringstream(line) >> page >> number >> type >> width >> height >> color >> components >> bits >> encoding >>
        interpolate >> object >> generation >> across >> down;
    EXPECT_EQ(color + " " + components + " " + bits, format) << line;
    EXPECT_EQ(encoding + " " + interpolate + " " + across + " " + down, "image no 120 126") << line;
  }
  EXPECT_FALSE(std::getline(images, line)) << "more images than pages";

  // ... and so renders back to the raster's own pixels, the text unseen.
  ASSERT_EQ(std::system(("pdftocairo -png -rx 120 -ry 126 '" + pdf + "' '" + dir.file("page") + "'").c_str()), 0);
  for (size_t number = 1; number <= pages.size(); ++number) {
    Page page = readPage(dir.file("page-" + std::to_string(number) + ".png"));
    ASSERT_EQ(page.width, pageWidth);
    ASSERT_EQ(page.height, pageHeight);
    size_t wrong = 0;
    for (unsigned y = 0; y < pageHeight; ++y)
      for (unsigned x = 0; x < pageWidth; ++x) {
        uint32_t color = testColor(pages[number - 1].kind, x, y);
        wrong += page.red(x, y) != color >> 16 || page.green(x, y) != (color >> 8 & 0xFF) ||
                 page.blue(x, y) != (color & 0xFF);
      }
    EXPECT_EQ(wrong, 0u) << "pixels differ on page " << number;
  }
}

TEST(PageDocument, LeavesNothingBehindWhenItFailsOrIsDropped) {
  struct Case {
    const char *name;
    const char *path;  // in the test's folder
    int error;         // what openDocument or finishDocument returns
  };
  static const Case cases[] = {
      {"folder missing", "missing/run.pdf", ENOENT},
      {"path is a folder", "folder", EISDIR},
      {"dropped", "run.pdf", 0},
  };
  for (const Case &c : cases) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder"));
    auto document = std::make_unique<Document>();
    int error = openDocument(*document, dir.file(c.path));
    addDocumentPage(*document, testRaster(PixelKind::Gray), {});
    if (c.error == 0)
      abandonDocument(*document);
    else if (error == 0)
      error = finishDocument(*document);
    EXPECT_EQ(error, c.error) << c.name;
    std::vector<std::string> left;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(dir.path))
      left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"folder"}) << c.name;
  }
}

// The run's PDF shows the same pixels as its PNG pages, with the words of the
// showcase found in it; the transcript places text by column and separates pages; a
// document that cannot be written ends the run and leaves the store as it was.
TEST(PageDocument, RunsWriteTheDocumentAndTheTranscript) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string showcase = SOURCE_DIR "/examples/showcase.prn";
  RunResult r = runTambrix(dir, {showcase, "-pdf", "show.pdf", "-out", "show", "-text", "show.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("show-001.png written.\nPage 1 added to show.pdf.\nshow.pdf written.\nshow.txt written.\n"),
            std::string::npos)
      << r.out;
  ASSERT_EQ(std::system(("pdftocairo -png -singlefile -rx 120 -ry 126 '" + dir.file("show.pdf") + "' '" +
                         dir.file("from-pdf") + "'")
                            .c_str()),
            0);
  EXPECT_EQ(readPage(dir.file("from-pdf.png")).rgb, readPage(dir.file("show-001.png")).rgb);
  std::string text = commandOutput("pdftotext '" + dir.file("show.pdf") + "' -");
  for (const char *words : {"TAMBRIX PRINT SAMPLE", "lower case and Capitals", "OUT OF STOCK", "£0.04"})
    EXPECT_NE(text.find(words), std::string::npos) << words << " not in: " << text;
  runTambrix(dir, {showcase, "-pdf", "again.pdf"});
  EXPECT_EQ(readFile(dir.file("again.pdf")), readFile(dir.file("show.pdf")));
  EXPECT_EQ(readFile(dir.file("show.txt")).find("                    TAMBRIX PRINT SAMPLE\n"), 1u);

  // 16 '0' '6' puts B at pixel 60, column 5; 16 '5' '9' puts E at pixel 95 and 16 '9'
  // '1' D at pixel 19, columns 8 and 2 when rounded, 7 and 1 when cut. Two lines a page
  // of 43 pixels, pages split by a form feed; the PDF's pages are as high.
  r = runTambrix(dir, {"-height", "0.34", "-text", "two.txt", "-pdf", "two.pdf"},
                 "A" + bytes({16, '0', '6'}) + "B" + bytes({16, '5', '9'}) + "E\r\n" + bytes({16, '9', '1'}) +
                     "D\r\nC  \r\n");
  EXPECT_EQ(readFile(dir.file("two.txt")), "A    B  E\n  D\n\fC\n");
  EXPECT_EQ(pngFiles(dir), (std::vector<std::string>{"from-pdf.png", "show-001.png"})) << "-pdf alone writes no PNG";
  constexpr unsigned shortPage = 43;  // pixels
  std::vector<std::pair<double, double>> sizes = pdfPageSizes(dir.file("two.pdf"));
  ASSERT_EQ(sizes.size(), 2u);
  for (const auto &size : sizes) {
    EXPECT_NEAR(size.first, pageWidth * pointsAcross, 0.01);
    EXPECT_NEAR(size.second, shortPage * pointsDown, 0.01);
  }
  std::vector<std::vector<Word>> words = pdfWords(dir.file("two.pdf"));
  ASSERT_EQ(words.size(), 2u);
  EXPECT_TRUE(hasWordAt(words[0], "A", 1, 0, 0) && hasWordAt(words[0], "B", 1, 60, 0) &&
              hasWordAt(words[0], "E", 1, 95, 0) && hasWordAt(words[0], "D", 1, 19, linePitch) &&
              hasWordAt(words[1], "C", 1, 0, 0))
      << describe(words[0]) << "page 2:\n" << describe(words[1]);

  // A transcript alone, of many pages, goes out a buffer at a time: every line arrives
  // once and in order, each page closed by its last line, and no page file is written.
  std::string stream, lines;
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (unsigned line = 0; line < 2000; ++line) {
    std::string text;
    for (unsigned cell = 0; cell < 80; ++cell) text += letters[(line * 7 + cell) % letters.size()];
    stream += text + "\r\n";
    lines += text + "\n";
  }
  r = runTambrix(dir, {"-text", "long.txt"}, stream);
  EXPECT_EQ(r.status, 0);
  std::string transcript = readFile(dir.file("long.txt"));
  EXPECT_GT(transcript.size(), 2u << 16) << "the transcript must be longer than its buffer, twice";
  EXPECT_EQ(std::count(transcript.begin(), transcript.end(), '\f'), 27) << "2000 lines of 72 a page: 28 pages";
  for (size_t feed = transcript.find('\f'); feed != std::string::npos; feed = transcript.find('\f', feed + 1))
    EXPECT_EQ(transcript[feed - 1], '\n') << "a page ends with its line feed, at " << feed;
  transcript.erase(std::remove(transcript.begin(), transcript.end(), '\f'), transcript.end());
  EXPECT_EQ(transcript, lines);
  EXPECT_EQ(pngFiles(dir), (std::vector<std::string>{"from-pdf.png", "show-001.png"})) << "-text alone writes no PNG";

  // A document whose name is a folder fails when it is put in place: status 1, the
  // error names it, no temporary file is left and the strike counts are not saved.
  std::filesystem::create_directory(dir.file("folder.pdf"));
  writeFile(dir.file("ribbon.dat"), "1 2 3");
  r = runTambrix(dir, {"-pdf", "folder.pdf", "-text", "none.txt"}, "A");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: tambrix: unable to write PDF document `folder.pdf': Is a directory\n");
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "1 2 3");
  EXPECT_FALSE(fileExists(dir.file("none.txt")));
  for (const auto &entry : std::filesystem::directory_iterator(dir.path))
    EXPECT_EQ(entry.path().filename().string().find(".pdf."), std::string::npos) << entry.path();
  // A run that prints nothing writes no document.
  r = runTambrix(dir, {"-pdf", "empty.pdf"}, "");
  EXPECT_NE(r.out.find("Input did not generate any output"), std::string::npos);
  EXPECT_FALSE(fileExists(dir.file("empty.pdf")));
}

}  // namespace
