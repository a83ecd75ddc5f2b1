// The print engine seen through whole runs: pages, autofeed, widths, reverse, the ROM,
// the test sheets, debug marks and ribbon shading.
#include <gtest/gtest.h>

#include "run_support.h"

static const std::vector<uint8_t> rom = testRom();
static const unsigned glyphA = 0x906;  // code 65 in the graphic set

static std::string repeat(const std::string &text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

TEST(PrintEngine, PagesHoldSeventyTwoTextLinesAndAreNumbered) {
  TempDir dir;
  writeRom(dir, rom);
  RunResult r = runTambrix(dir, {"-out", "p"}, repeat("A\r\n", 73));
  EXPECT_EQ(r.out, "TAMBRIX V0.1 beta 4\np-001.png written.\np-002.png written.\n");
  Page first = readPage(dir.file("p-001.png"));
  EXPECT_EQ(first.width, 960u);
  EXPECT_EQ(first.height, 1512u);
  EXPECT_EQ(pageColumns(first, 0, 1491, 6), glyphColumns(rom, glyphA));  // line 72 at the bottom
  Page second = readPage(dir.file("p-002.png"));
  EXPECT_EQ(pageColumns(second, 0, 0, 6), glyphColumns(rom, glyphA));
  EXPECT_EQ(second.inkedPixels(), first.inkedPixels() / 72);  // the first page was cleared

  TempDir short_;
  writeRom(short_, rom);
  r = runTambrix(short_, {"-height", "11.69"}, "A");
  EXPECT_EQ(readPage(short_.file("TAMBRIX-001.png")).height, 1473u);
}

TEST(PrintEngine, AutofeedWrapsPerColumn) {
  TempDir dir;
  writeRom(dir, rom);
  // 80 cells fill the line exactly; the 81st starts the next one.
  runTambrix(dir, {"-out", "full"}, repeat("A", 80) + "B");
  Page page = readPage(dir.file("full-001.png"));
  EXPECT_EQ(pageColumns(page, 948, 0, 6), glyphColumns(rom, glyphA));
  EXPECT_EQ(pageColumns(page, 0, 21, 6), glyphColumns(rom, 0x90C));
  // A cell started at x = 950 prints five columns there and its sixth at the next line.
  runTambrix(dir, {"-out", "split"}, repeat("A", 79) + bytes({26, 1, 0}) + "B");
  page = readPage(dir.file("split-001.png"));
  std::vector<uint8_t> b = glyphColumns(rom, 0x90C);
  EXPECT_EQ(pageColumns(page, 950, 0, 5), std::vector<uint8_t>(b.begin(), b.begin() + 5));
  EXPECT_EQ(page.column(0, 21), b[5]);
}

TEST(PrintEngine, DoubleWidthAndReverseCells) {
  TempDir dir;
  writeRom(dir, rom);
  runTambrix(dir, {}, bytes({14}) + "A" + bytes({15, 18}) + "A" + bytes({146}) + "A" + bytes({14}) +
                          repeat("A", 38) + "B");
  Page page = readPage(dir.file("TAMBRIX-001.png"));
  EXPECT_EQ(pageColumns(page, 0, 0, 12), glyphColumns(rom, glyphA, true));
  EXPECT_EQ(pageColumns(page, 24, 0, 6), reversed(glyphColumns(rom, glyphA)));
  EXPECT_EQ(pageColumns(page, 36, 0, 6), glyphColumns(rom, glyphA));
  // 48 + 38 x 24 = 960: the 39th wide cell is the last one on the line.
  EXPECT_EQ(pageColumns(page, 0, 21, 12), glyphColumns(rom, 0x90C, true));
  // Every dot is a solid 2 x 2 square.
  for (unsigned x = 0; x < 48; x += 2)
    for (unsigned y = 0; y < 14; y += 2)
      for (unsigned d = 1; d < 4; ++d) EXPECT_EQ(page.dark(x, y), page.dark(x + d % 2, y + d / 2));
}

TEST(PrintEngine, RomFallbackAndMissingRom) {
  TempDir fake;
  writeRom(fake, rom, "mps801.fake");
  RunResult r = runTambrix(fake, {}, "A");
  EXPECT_EQ(r.out, "TAMBRIX V0.1 beta 4\nTAMBRIX-001.png written.\n");
  EXPECT_EQ(pageColumns(readPage(fake.file("TAMBRIX-001.png")), 0, 0, 6), glyphColumns(rom, glyphA));

  // A real ROM wins over the fake one.
  std::vector<uint8_t> real(4096, 0x41);
  writeRom(fake, real, "mps801.bin");
  runTambrix(fake, {"-out", "real"}, "A");
  EXPECT_EQ(pageColumns(readPage(fake.file("real-001.png")), 0, 0, 6), std::vector<uint8_t>(6, 0x41));

  TempDir none;
  r = runTambrix(none, {}, "AB" + bytes({18}) + "A" + bytes({146, 8, 255}));
  EXPECT_NE(r.out.find("text will be INVISIBLE.\n"), std::string::npos);
  Page page = readPage(none.file("TAMBRIX-001.png"));
  EXPECT_EQ(pageColumns(page, 0, 0, 12), std::vector<uint8_t>(12, 0));     // blank cells
  EXPECT_EQ(pageColumns(page, 24, 0, 6), std::vector<uint8_t>(6, 0x7F));   // a solid reversed cell
  EXPECT_EQ(page.column(36, 0), 0x7F);                                      // bit-image still prints
  EXPECT_EQ(page.inkedPixels(), size_t(12 * 14 + 2 * 14));                  // the cell and one column
}

TEST(PrintEngine, GlyphTablesOfBothSets) {
  TempDir dir;
  std::vector<uint8_t> shortRom(rom.begin(), rom.begin() + 3000);
  writeRom(dir, rom);
  // 255 in the graphic set is pi (126); in the business set the checker fill; 97 is A.
  runTambrix(dir, {}, bytes({255, 145, 255, 97, 65}));
  Page page = readPage(dir.file("TAMBRIX-001.png"));
  EXPECT_EQ(pageColumns(page, 0, 0, 6), glyphColumns(rom, 0xBB4));
  EXPECT_EQ(pageColumns(page, 12, 0, 6), glyphColumns(rom, 0xDB4));
  EXPECT_EQ(pageColumns(page, 24, 0, 6), glyphColumns(rom, glyphA));
  EXPECT_EQ(pageColumns(page, 36, 0, 6), glyphColumns(rom, 0xD06));

  // A 3000-byte ROM leaves the lower-case region empty.
  TempDir shortDir;
  writeRom(shortDir, shortRom);
  runTambrix(shortDir, {}, bytes({65, 145, 65}));
  page = readPage(shortDir.file("TAMBRIX-001.png"));
  EXPECT_EQ(pageColumns(page, 0, 0, 6), glyphColumns(rom, glyphA));
  EXPECT_EQ(pageColumns(page, 12, 0, 6), std::vector<uint8_t>(6, 0));
}

TEST(PrintEngine, TestSheetsFillTheirPages) {
  struct Row {
    const char *mode;
    size_t pages;
  };
  for (Row row : {Row{"1", 1}, Row{"2", 5}, Row{"3", 2}}) {
    TempDir dir;
    writeRom(dir, rom);
    RunResult r = runTambrix(dir, {"-test", row.mode});
    EXPECT_EQ(pngFiles(dir).size(), row.pages) << row.mode;
    EXPECT_EQ(r.out.find("Input did not generate"), std::string::npos);
  }
  // The first line of each page of the code chart: a code, its glyph in the graphic
  // and the business set, then the same for the code 128 higher.
  TempDir chart;
  writeRom(chart, rom);
  runTambrix(chart, {"-test", "3"}, "A");
  auto chartLine = [](const char *codes, std::initializer_list<unsigned> glyphs) {
    std::vector<uint8_t> columns;
    auto add = [&columns](unsigned glyph) {
      std::vector<uint8_t> cell = glyphColumns(rom, glyph);
      columns.insert(columns.end(), cell.begin(), cell.end());
    };
    auto addText = [&add](const std::string &text) {
      for (char c : text) add(0x800 + 6 * unsigned(c - 32));
    };
    std::vector<unsigned> g(glyphs);
    addText(std::string(codes, 3) + " ");
    add(g[0]), addText(" "), add(g[1]), addText(" ");
    addText(std::string(codes + 3, 3) + " ");
    add(g[2]), addText(" "), add(g[3]);
    return columns;
  };
  Page first = readPage(chart.file("TAMBRIX-001.png"));
  EXPECT_EQ(pageColumns(first, 0, 0, 15 * 6), chartLine("032160", {0x800, 0x800, 0xA00, 0xA00}));
  Page page = readPage(chart.file("TAMBRIX-002.png"));
  EXPECT_EQ(pageColumns(page, 0, 0, 15 * 6), chartLine("104232", {0xB30, 0x930, 0xA30, 0xA30}));
  // The chart leaves the business set on, so the input's A prints as a.
  EXPECT_EQ(pageColumns(page, 0, 24 * 21, 6), glyphColumns(rom, 0xD06));
  // Without a ROM the dump and the list strike nothing.
  for (const char *mode : {"1", "2"}) {
    TempDir none;
    RunResult r = runTambrix(none, {"-test", mode});
    EXPECT_TRUE(pngFiles(none).empty());
    EXPECT_NE(r.out.find("Input did not generate any output"), std::string::npos);
  }
}

TEST(PrintEngine, DebugMarksNeverMakeAPage) {
  TempDir dir;
  writeRom(dir, std::vector<uint8_t>(4096, 0));
  RunResult r = runTambrix(dir, {"-debug", "2"}, "AB");
  EXPECT_TRUE(pngFiles(dir).empty());
  EXPECT_NE(r.out.find("Input did not generate any output"), std::string::npos);
  // Marks stay on the image and show under the dots of the next page written.
  r = runTambrix(dir, {"-debug", "2"}, "AB" + bytes({8, 129}));
  Page page = readPage(dir.file("TAMBRIX-001.png"));
  EXPECT_EQ(page.red(2, 0), 0);
  EXPECT_EQ(page.blue(2, 0), 255);   // blue cell line along the top
  EXPECT_EQ(page.green(0, 13), 255);  // green tick, 14 pixels
  EXPECT_EQ(page.red(0, 13), 0);
  EXPECT_EQ(page.green(0, 14), 255);
  EXPECT_EQ(page.red(0, 14), 255);
  EXPECT_EQ(page.green(12, 5), 255);  // the second cell's tick
  EXPECT_EQ(page.blue(12, 5), 0);
  EXPECT_EQ(page.red(24, 0), 0);      // the bit-image column at x = 24: its tick, then its dot
  EXPECT_EQ(page.green(24, 0), 0);
}

TEST(PrintEngine, PixelsBeyondTheRightEdgeAreClipped) {
  TempDir dir;
  writeRom(dir, rom);
  // 16 with the digits 9 and 143 puts the head at pixel 959: half the dot is off the page.
  RunResult r = runTambrix(dir, {"-debug", "2"}, bytes({16, 57, 143, 8, 255, 15}) + repeat("A", 79) + "AB");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  Page page = readPage(dir.file("TAMBRIX-001.png"));
  EXPECT_EQ(page.red(959, 0), 0);
  EXPECT_EQ(page.red(959, 13), 0);
}

TEST(PrintEngine, RibbonShadesFollowTheStoredCountsPerLine) {
  TempDir dir;
  writeRom(dir, rom);
  writeFile(dir.file("ribbon.dat"), "100 100 100 100 100 100 -1");
  // 100 full columns on the first line, then a line feed, then one more column.
  runTambrix(dir, {"-halflife", "100"}, bytes({8, 26, 100, 255, 10, 255}));
  Page page = readPage(dir.file("TAMBRIX-001.png"));
  EXPECT_EQ(page.red(0, 0), 127);     // 100 strikes: half gray
  EXPECT_EQ(page.red(198, 10), 127);  // the same line keeps its shade
  EXPECT_EQ(page.red(0, 12), 255);    // -1 counts as 4294967295 strikes: white
  EXPECT_EQ(page.red(200, 14), 191);  // after the line feed, 200 strikes: 0.75
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "201 201 201 201 201 201 100");

  // Without -halflife every pin prints black, however worn.
  TempDir black;
  writeRom(black, rom);
  writeFile(black.file("ribbon.dat"), "100 100 100 100 100 100 -1");
  runTambrix(black, {}, bytes({8, 255, 10, 255}));
  page = readPage(black.file("TAMBRIX-001.png"));
  EXPECT_EQ(page.red(0, 12), 0);
  EXPECT_EQ(page.red(2, 14), 0);
}

// The bit depth (byte 24) and colour type (byte 25) of a PNG file's header.
static std::pair<int, int> pngFormat(const std::string &file) {
  std::string png = readFile(file);
  return png.size() > 25 ? std::pair<int, int>(uint8_t(png[24]), uint8_t(png[25])) : std::pair<int, int>(-1, -1);
}

static size_t pixelsWhere(const Page &page, bool (*test)(uint8_t r, uint8_t g, uint8_t b)) {
  size_t count = 0;
  for (size_t i = 0; i + 2 < page.rgb.size(); i += 3) count += test(page.rgb[i], page.rgb[i + 1], page.rgb[i + 2]);
  return count;
}

TEST(PrintEngine, PageFilesKeepTheirGraysAndColours) {
  TempDir dir;
  writeRom(dir, rom);
  // One line per page: black columns, then half-gray ones, both at odd x (no ticks),
  // then a text cell with its debug marks in 0.75 gray.
  RunResult r = runTambrix(dir, {"-height", "0.167", "-debug", "2", "-halflife", "100"},
                           bytes({8, 16, '1', '0', 26, 100, 255, 10, 26, 100, 255, 10, 15, 13, 'A', 10}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(pngFiles(dir), (std::vector<std::string>{"TAMBRIX-001.png", "TAMBRIX-002.png", "TAMBRIX-003.png"}));

  EXPECT_EQ(pngFormat(dir.file("TAMBRIX-001.png")), std::pair(1, 0));  // black and white: 1-bit gray
  Page black = readPage(dir.file("TAMBRIX-001.png"));
  EXPECT_EQ(pixelsWhere(black, [](uint8_t r, uint8_t, uint8_t) { return r == 0; }), 100u * 28);

  EXPECT_EQ(pngFormat(dir.file("TAMBRIX-002.png")), std::pair(8, 0));  // 8-bit gray
  Page gray = readPage(dir.file("TAMBRIX-002.png"));
  EXPECT_EQ(pixelsWhere(gray, [](uint8_t r, uint8_t, uint8_t) { return r == 127; }), 100u * 28);
  EXPECT_EQ(pixelsWhere(gray, [](uint8_t r, uint8_t, uint8_t) { return r != 127 && r != 255; }), 0u);

  EXPECT_NE(pngFormat(dir.file("TAMBRIX-003.png")).second, 0);  // colour after gray pages
  Page marked = readPage(dir.file("TAMBRIX-003.png"));
  EXPECT_GT(pixelsWhere(marked, [](uint8_t r, uint8_t g, uint8_t b) { return r == 191 && g == 191 && b == 191; }), 0u);
  EXPECT_GT(pixelsWhere(marked, [](uint8_t r, uint8_t g, uint8_t b) { return r == 0 && g == 0 && b == 255; }), 0u);
  EXPECT_GT(pixelsWhere(marked, [](uint8_t r, uint8_t g, uint8_t b) { return r == 0 && g == 255 && b == 0; }), 0u);
}

TEST(PrintEngine, SameInputGivesTheSameBytes) {
  TempDir dir;
  writeRom(dir, rom);
  std::string stream = "HELLO" + bytes({13, 10, 18}) + "WORLD" + bytes({8, 26, 50, 170});
  runTambrix(dir, {"-out", "a", "-debug", "2"}, stream);
  runTambrix(dir, {"-out", "b", "-debug", "2"}, stream);
  std::string a = readFile(dir.file("a-001.png"));
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, readFile(dir.file("b-001.png")));
  EXPECT_EQ(a.find("tIME"), std::string::npos);
  EXPECT_EQ(a.find("date:"), std::string::npos);
}
