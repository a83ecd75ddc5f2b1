// The printer stream interpreter: byte streams in, dots out.
#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

#include "interpreter/interpreter.h"
#include "interpreter/stream_statistics.h"
#include "mechanism/character_rom.h"
#include "mechanism/page_canvas.h"
#include "interpreter/printer.h"
#include "mechanism/print_head.h"
#include "run_support.h"

static const std::vector<uint8_t> rom = testRom();

static unsigned glyph(int code) {  // graphic set, codes 32-95
  return code < 64 ? 0x800 + 6 * (code - 32) : 0x900 + 6 * (code - 64);
}

// Renders the stream in a fresh directory and returns its only page.
static Page render(const std::string &stream, std::vector<std::string> words = {}) {
  TempDir dir;
  writeRom(dir, rom);
  RunResult r = runTambrix(dir, words, stream);
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> pages = pngFiles(dir);
  EXPECT_EQ(pages.size(), 1u) << r.out;
  return pages.empty() ? Page() : readPage(dir.file(pages[0]));
}

static std::vector<uint8_t> cell(const Page &page, unsigned x, unsigned y) { return pageColumns(page, x, y, 6); }

TEST(Interpreter, LineFeedAndCarriageReturnAreSeparate) {
  // 10 feeds without returning the head; 13 returns without feeding.
  Page page = render("A" + bytes({10}) + "B" + bytes({13}) + "C" + bytes({13, 10}) + "D");
  EXPECT_EQ(cell(page, 0, 0), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(page, 12, 21), glyphColumns(rom, glyph('B')) );
  EXPECT_EQ(cell(page, 0, 21), glyphColumns(rom, glyph('C')));
  EXPECT_EQ(cell(page, 0, 42), glyphColumns(rom, glyph('D')));
  // Codes that are no commands print the space glyph: 9 and 12 move one cell.
  page = render(bytes({9, 12}) + "A");
  EXPECT_EQ(cell(page, 0, 0), glyphColumns(rom, 0x800));
  EXPECT_EQ(cell(page, 24, 0), glyphColumns(rom, glyph('A')));
}

TEST(Interpreter, QuoteModeShowsControlCodes) {
  Page page = render(bytes({34, 65, 18, 66, 34, 67}));
  EXPECT_EQ(cell(page, 0, 0), glyphColumns(rom, glyph('"')));
  EXPECT_EQ(cell(page, 12, 0), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(page, 24, 0), reversed(glyphColumns(rom, glyph('R'))));
  EXPECT_EQ(cell(page, 36, 0), glyphColumns(rom, glyph('B')));
  EXPECT_EQ(cell(page, 48, 0), glyphColumns(rom, glyph('"')));
  EXPECT_EQ(cell(page, 60, 0), glyphColumns(rom, glyph('C')));  // quote and reverse are off again
  // Inside quotes 14, 15 and 8 print; 13 still returns and ends the quote.
  page = render(bytes({34, 14, 8, 13, 10, 14}) + "A");
  EXPECT_EQ(cell(page, 12, 0), reversed(glyphColumns(rom, glyph('N'))));
  EXPECT_EQ(cell(page, 24, 0), reversed(glyphColumns(rom, glyph('H'))));
  EXPECT_EQ(pageColumns(page, 0, 21, 12), glyphColumns(rom, glyph('A'), true));
}

TEST(Interpreter, CharacterSetsAndCarriageReturn) {
  // 145 selects the business set, 17 the graphic set; 13 restores the default.
  Page page = render(bytes({145, 65, 17, 65, 145, 13, 10, 65}));
  EXPECT_EQ(cell(page, 0, 0), glyphColumns(rom, 0xD06));
  EXPECT_EQ(cell(page, 12, 0), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(page, 0, 21), glyphColumns(rom, glyph('A')));
  // With -business the default takes effect at the first 13, and undoes 17.
  page = render(bytes({65, 13, 10, 65, 17, 65, 13, 10, 65}), {"-business"});
  EXPECT_EQ(cell(page, 0, 0), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(page, 0, 21), glyphColumns(rom, 0xD06));
  EXPECT_EQ(cell(page, 12, 21), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(page, 0, 42), glyphColumns(rom, 0xD06));
  // The business codes that have glyphs of their own, in one line.
  const std::pair<int, unsigned> singles[] = {{126, 0xDB4}, {222, 0xDB4}, {255, 0xDB4}, {127, 0xDBA}, {223, 0xDBA},
                                              {169, 0xBD2}, {233, 0xBD2}, {186, 0xBCC}, {250, 0xBCC}};
  std::string line = bytes({145});
  for (auto [code, glyph] : singles) line += char(code);
  page = render(line);
  for (size_t i = 0; i < std::size(singles); ++i)
    EXPECT_EQ(cell(page, 12 * unsigned(i), 0), glyphColumns(rom, singles[i].second)) << singles[i].first;
}

TEST(Interpreter, BitImageColumnsAndPitch) {
  // In bit-image mode bytes from 128 are columns, lower ones are ignored, 145 and 146
  // are data, and 34 toggles quote without printing.
  Page page = render(bytes({8, 128, 255, 65, 145, 146, 34, 129, 34, 15, 34, 65}));
  EXPECT_EQ(pageColumns(page, 0, 0, 5), (std::vector<uint8_t>{0, 0x7F, 145 & 0x7F, 146 & 0x7F, 1}));
  EXPECT_EQ(cell(page, 10, 0), glyphColumns(rom, glyph('"')));  // 15 left bit-image mode
  EXPECT_EQ(cell(page, 22, 0), glyphColumns(rom, glyph('A')));
  // Graphic rows joined by 13 10 are 14 pixels apart; 15 brings the text pitch back.
  page = render(bytes({8, 255, 13, 10, 255, 15, 13, 10}) + "A" + bytes({13, 10}) + "B");
  EXPECT_EQ(page.column(0, 14), 0x7F);
  EXPECT_EQ(cell(page, 0, 35), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(page, 0, 56), glyphColumns(rom, glyph('B')));
  // Inside quotes 15 does not leave bit-image mode.
  page = render(bytes({8, 34, 15, 255}));
  EXPECT_EQ(page.column(0, 0), 0x7F);
}

TEST(Interpreter, ReverseAppliesToColumnsAndRepeats) {
  Page page = render(bytes({18, 8, 255, 128, 26, 2, 0x7F, 26, 1, 0}));
  EXPECT_EQ(pageColumns(page, 0, 0, 5), (std::vector<uint8_t>{0, 0x7F, 0, 0, 0x7F}));
  // Double width does not widen repeated columns.
  page = render(bytes({14, 26, 3, 255}) + "A");
  EXPECT_EQ(pageColumns(page, 0, 0, 3), (std::vector<uint8_t>{0x7F, 0x7F, 0x7F}));
  EXPECT_EQ(pageColumns(page, 6, 0, 12), glyphColumns(rom, glyph('A'), true));
}

TEST(Interpreter, RepeatCounts) {
  Page page = render(bytes({26, 0, 255, 26, 1, 255, 26, 255, 0x55}));
  EXPECT_EQ(page.column(0, 0), 0x7F);
  EXPECT_EQ(page.column(2, 0), 0x55);
  EXPECT_EQ(page.column(510, 0), 0x55);  // 255 columns: the last at x = 2 + 508
  EXPECT_EQ(page.column(512, 0), 0);
  // A missing data byte prints nothing.
  TempDir dir;
  writeRom(dir, rom);
  RunResult r = runTambrix(dir, {}, bytes({26, 3}));
  EXPECT_TRUE(pngFiles(dir).empty());
  EXPECT_NE(r.out.find("Input did not generate any output"), std::string::npos);
}

TEST(Interpreter, HeadPositioning) {
  // 16: the first digit is the units, the second the tens, in pixels.
  Page page = render(bytes({16, '5', '1', 8, 255}));
  EXPECT_EQ(page.column(15, 0), 0x7F);
  EXPECT_EQ(page.inkedPixels(), 28u);
  // 27 16 lo hi: only bit 0 of hi counts.
  for (int hi : {1, 3}) {
    page = render(bytes({27, 16, 44, hi, 8, 255}));
    EXPECT_EQ(page.column(300, 0), 0x7F);
    EXPECT_EQ(page.inkedPixels(), 28u);
  }
  // 27 with anything else drops both bytes: here the 13 is swallowed.
  page = render("AB" + bytes({27, 13}) + "C");
  EXPECT_EQ(cell(page, 24, 0), glyphColumns(rom, glyph('C')));
  // Non-digit operands wrap to a huge head position: the next column autofeeds.
  page = render("A" + bytes({16, '0', '/', 8, 255}));
  EXPECT_EQ(page.column(0, 14), 0x7F);  // 8 set the graphic pitch before the autofeed
  // Operands cut off by the end of input move nothing and print nothing more.
  for (const std::string &cut : {bytes({16}), bytes({16, '5'}), bytes({27}), bytes({27, 16}), bytes({27, 16, 44})}) {
    TempDir dir;
    writeRom(dir, rom);
    RunResult r = runTambrix(dir, {}, cut);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(pngFiles(dir).empty());
  }
}

TEST(Interpreter, StandardInputAndNamedFileGiveTheSamePages) {
  std::string stream;
  for (int line = 0; line < 100; ++line) stream += "LINE " + std::to_string(line) + bytes({13, 10});
  TempDir dir;
  writeRom(dir, rom);
  writeFile(dir.file("in.prn"), stream);
  runTambrix(dir, {"-out", "piped"}, stream);
  runTambrix(dir, {"in.prn", "-out", "named"});
  ASSERT_EQ(pngFiles(dir), (std::vector<std::string>{"named-001.png", "named-002.png", "piped-001.png", "piped-002.png"}));
  for (const char *n : {"-001.png", "-002.png"})
    EXPECT_EQ(readFile(dir.file(std::string("piped") + n)), readFile(dir.file(std::string("named") + n)));
  EXPECT_FALSE(fileExists(dir.file("named-003.png")));
}

// The rows that -raw changes, each in both modes.
TEST(RawStream, CarriageReturnAndLineFeedBothStartANewLine) {
  std::string stream = "A" + bytes({13}) + "B" + bytes({10}) + "C";
  Page text = render(stream);
  std::vector<uint8_t> overprinted = glyphColumns(rom, glyph('A'));
  for (int i = 0; i < 6; ++i) overprinted[i] |= glyphColumns(rom, glyph('B'))[i];
  EXPECT_EQ(cell(text, 0, 0), overprinted);
  EXPECT_EQ(cell(text, 12, 21), glyphColumns(rom, glyph('C')));
  Page raw = render(stream, {"-raw"});
  EXPECT_EQ(cell(raw, 0, 0), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(raw, 0, 21), glyphColumns(rom, glyph('B')));
  EXPECT_EQ(cell(raw, 0, 42), glyphColumns(rom, glyph('C')));
  // 13 still ends reverse and quote in raw streams; 10 does not.
  raw = render(bytes({18, 'A', 10, 'A', 13, 'A'}), {"-raw"});
  EXPECT_EQ(cell(raw, 0, 21), reversed(glyphColumns(rom, glyph('A'))));
  EXPECT_EQ(cell(raw, 0, 42), glyphColumns(rom, glyph('A')));
}

TEST(RawStream, PrintPositionIsATensFirstCharacterColumn) {
  Page raw = render(bytes({16, '3', '0'}) + "A", {"-raw"});
  EXPECT_EQ(cell(raw, 360, 0), glyphColumns(rom, glyph('A')));
  Page text = render(bytes({16, '3', '0'}) + "A");
  EXPECT_EQ(cell(text, 3, 0), glyphColumns(rom, glyph('A')));
}

TEST(RawStream, CharacterSetCodesAreSwapped) {
  Page raw = render(bytes({17, 'A', 145, 'A', 17, 'A', 13, 'A'}), {"-raw"});
  EXPECT_EQ(cell(raw, 0, 0), glyphColumns(rom, 0xD06));
  EXPECT_EQ(cell(raw, 12, 0), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(raw, 24, 0), glyphColumns(rom, 0xD06));
  EXPECT_EQ(cell(raw, 0, 21), glyphColumns(rom, glyph('A')));  // until the carriage return
  Page text = render(bytes({17, 'A', 145, 'A'}));
  EXPECT_EQ(cell(text, 0, 0), glyphColumns(rom, glyph('A')));
  EXPECT_EQ(cell(text, 12, 0), glyphColumns(rom, 0xD06));
  // A raw stream opened for the business set prints in it from its first byte, so the
  // same line prints alike first and last.
  std::string lines = bytes({'A', 13, 17, 'A', 13, 145, 'A', 13, 'A'});
  raw = render(lines, {"-raw", "-business"});
  EXPECT_EQ(cell(raw, 0, 0), glyphColumns(rom, 0xD06));
  EXPECT_EQ(cell(raw, 0, 63), glyphColumns(rom, 0xD06));
}

TEST(RawStream, DotAddressIsHighByteFirstInDots) {
  for (int hi : {1, 3}) {  // only bit 0 of the high byte counts
    Page raw = render(bytes({8, 27, 16, hi, 4, 255}), {"-raw"});
    EXPECT_EQ(raw.column(520, 0), 0x7F);
    EXPECT_EQ(raw.inkedPixels(), 14u * 2);
  }
  Page text = render(bytes({8, 27, 16, 1, 4, 255}));
  EXPECT_EQ(text.column(1, 0) | text.column(0, 0), 0x7F);  // pixel 1 + 4 * 0 ... = (4 & 1) * 256 + 1
  EXPECT_EQ(text.red(1, 0), 0);
}

TEST(RawStream, LinePitchFollowsTheModeAtEachLineFeed) {
  // Double width leaves bit-image mode in raw streams, so the next feed is a text line.
  std::string stream = bytes({8, 255, 13, 255, 13, 14, 'A', 13, 'B'});
  Page raw = render(stream, {"-raw"});
  EXPECT_EQ(raw.column(0, 14), 0x7F);
  EXPECT_EQ(pageColumns(raw, 0, 28, 12), glyphColumns(rom, glyph('A'), true));
  EXPECT_EQ(pageColumns(raw, 0, 49, 12), glyphColumns(rom, glyph('B'), true));
  // In text-mode files 14 keeps bit-image mode on: the A is ignored.
  Page text = render(bytes({8, 255, 13, 10, 255, 14, 'A', 129}));
  EXPECT_EQ(text.column(0, 14), 0x7F);
  EXPECT_EQ(text.column(2, 14), 0x01);
}

TEST(RawStream, ShowcaseLandsWhereItsCodesSay) {
  std::string fake = readFile(SOURCE_DIR "/PRINTER/mps801.fake");
  std::vector<uint8_t> font(fake.begin(), fake.end());
  ASSERT_EQ(font.size(), 4096u);
  TempDir dir;
  writeRom(dir, font, "mps801.fake");
  RunResult r = runTambrix(dir, {"-raw", SOURCE_DIR "/examples/raw_showcase.prn", "-out", "raw"});
  ASSERT_EQ(pngFiles(dir), std::vector<std::string>{"raw-001.png"}) << r.out;
  Page page = readPage(dir.file("raw-001.png"));
  // 13, then 16 "25" and 14: the title in double width at column 25, on the second line.
  EXPECT_EQ(pageColumns(page, 300, 21, 12), glyphColumns(font, glyph('R'), true));
  // The rule and an empty line, then lines ended by 13 alone and one by 10 alone,
  // each one line lower.
  EXPECT_EQ(cell(page, 0, 84), glyphColumns(font, glyph('E')));
  EXPECT_EQ(cell(page, 0, 105), glyphColumns(font, glyph('T')));
  EXPECT_EQ(cell(page, 0, 147), glyphColumns(font, glyph('1')));
  // 16 "02" and 16 "34" on the next line: columns 2 and 34.
  EXPECT_EQ(cell(page, 24, 168), glyphColumns(font, glyph('I')));
  EXPECT_EQ(cell(page, 408, 168), glyphColumns(font, glyph('S')));
  EXPECT_EQ(cell(page, 396, 168), std::vector<uint8_t>(6, 0));
}

// The interpreter fed in pieces: a command cut anywhere acts as if it came whole.
namespace {

void keepPage(void *pages, PageJob &&job) { static_cast<std::vector<PageJob> *>(pages)->push_back(std::move(job)); }

// The pages of the stream fed as the pieces between the cuts to a printer of its own.
std::vector<PageJob> printInPieces(const std::string &stream, const std::vector<size_t> &cuts, bool raw) {
  RunSettings settings;
  settings.pageHeight = 42;  // two text lines: the stream fills several pages
  settings.streamKind = raw ? StreamKind::Raw : StreamKind::TextFile;
  settings.pageFiles = false;
  std::vector<PageJob> pages;
  MechanismSinks sinks;
  sinks.context = &pages;
  sinks.page = keepPage;
  auto printer = std::make_unique<Printer>();
  Printer &p = *printer;
  startPrinter(p, settings, sinks);
  buildGlyphTables(p.mechanism.glyphs);
  createPage(p.mechanism);
  startStream(p);
  size_t from = 0;
  for (size_t cut : cuts) {
    interpretBytes(p, reinterpret_cast<const uint8_t *>(stream.data()) + from, cut - from);
    from = cut;
  }
  interpretBytes(p, reinterpret_cast<const uint8_t *>(stream.data()) + from, stream.size() - from);
  endStream(p);
  ejectPage(p.mechanism);
  return pages;
}

bool samePages(const std::vector<PageJob> &a, const std::vector<PageJob> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].raster.bytes != b[i].raster.bytes || a[i].rows != b[i].rows || a[i].cells.size() != b[i].cells.size())
      return false;
    for (size_t c = 0; c < a[i].cells.size(); ++c)
      if (a[i].cells[c].x != b[i].cells[c].x || a[i].cells[c].y != b[i].cells[c].y ||
          a[i].cells[c].text != b[i].cells[c].text)
        return false;
  }
  return true;
}

}  // namespace

TEST(Interpreter, AStreamCutAnywherePrintsAsWhole) {
  TempDir dir;
  writeRom(dir, rom);
  char home[4096];
  ASSERT_NE(getcwd(home, sizeof home), nullptr);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  // Every command with operands, quotes, both sets, bit images and double width.
  const std::string stream = "AB" + bytes({16, '5', '1'}) + "C" + bytes({27, 16, 44, 1}) + "D" + bytes({27, 13}) +
                             "E" + bytes({26, 5, 0x55, 14}) + "WIDE" + bytes({15, 34, 18, 65, 34, 13, 10, 145}) +
                             "abc" + bytes({17, 146, 8, 255, 128, 193, 13, 10, 15, 16, '0', '2'}) + "F" +
                             bytes({13, 10, 27, 16, 1, 0}) + "GH" + bytes({26, 3});
  for (bool raw : {false, true}) {
    SCOPED_TRACE(raw ? "raw" : "text-mode file");
    std::vector<PageJob> whole = printInPieces(stream, {}, raw);
    EXPECT_GE(whole.size(), 2u);
    for (size_t cut = 1; cut < stream.size(); ++cut)
      EXPECT_TRUE(samePages(printInPieces(stream, {cut}, raw), whole)) << "cut at " << cut;
    std::vector<size_t> everyByte;
    for (size_t cut = 1; cut < stream.size(); ++cut) everyByte.push_back(cut);
    EXPECT_TRUE(samePages(printInPieces(stream, everyByte, raw), whole)) << "byte by byte";
  }
  EXPECT_EQ(chdir(home), 0);
}

// The stream's counts are fed a read at a time: a carriage return and line feed split
// between two reads is still one, and a return at the end of one read followed by
// something else is none. Plain text whose one line ends so looks like plain text.
TEST(StreamStatistics, AReturnAndFeedSplitBetweenReads) {
  const std::string line = "the quick brown fox jumps over the lazy dog\r\n";
  RunSettings settings;
  StreamStatistics statistics;
  for (size_t cut = 0; cut <= line.size(); ++cut) {
    resetStreamStatistics(statistics);
    countStreamBytes(statistics, reinterpret_cast<const uint8_t *>(line.data()), cut);
    countStreamBytes(statistics, reinterpret_cast<const uint8_t *>(line.data()) + cut, line.size() - cut);
    EXPECT_EQ(statistics.returnFeeds, 1u) << "cut at " << cut;
    EXPECT_EQ(statistics.bytes, line.size());
    EXPECT_EQ(streamHint(statistics, settings, true), StreamHint::PlainText) << "cut at " << cut;
  }
  const std::string apart = "abc\rdef\n";
  resetStreamStatistics(statistics);
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>(apart.data()), 4);
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>(apart.data()) + 4, 4);
  EXPECT_EQ(statistics.returnFeeds, 0u);
  // A new stream does not pair its first line feed with the last return of the one before.
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>(apart.data()), 4);
  resetStreamStatistics(statistics);
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>("\n"), 1);
  EXPECT_EQ(statistics.returnFeeds, 0u);
}
