// Printers as values: two printers in one process share nothing. Fed interleaved byte
// by byte, or each on a thread of its own, each prints exactly the pages it prints
// alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "interpreter/interpreter.h"
#include "interpreter/printer.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"
#include "run_support.h"

namespace {

// A printer's settings and the stream it is fed.
struct Feed {
  RunSettings settings;
  std::string stream;
};

// What a printer handed over: each page's pixels, rows and cells.
struct Printed {
  std::vector<PageJob> pages;
  std::vector<EngineEvent> events;
};

void keepPage(void *printed, PageJob &&job) { static_cast<Printed *>(printed)->pages.push_back(std::move(job)); }

void keepEvent(void *printed, EngineEvent event, unsigned, const std::string &) {
  static_cast<Printed *>(printed)->events.push_back(event);
}

// The glyph tables of the test ROM, read once from a folder that holds it.
GlyphTables testGlyphs() {
  TempDir dir;
  writeRom(dir, testRom());
  char home[PATH_MAX];
  EXPECT_NE(getcwd(home, sizeof home), nullptr);
  EXPECT_EQ(chdir(dir.path.c_str()), 0);
  GlyphTables glyphs;
  EXPECT_GE(buildGlyphTables(glyphs).used, 0);
  EXPECT_EQ(chdir(home), 0);
  return glyphs;
}

// A printer started for the setup, its pages and events going to printed.
std::unique_ptr<Printer> makePrinter(const Feed &setup, const GlyphTables &glyphs, Printed &printed) {
  auto printer = std::make_unique<Printer>();
  MechanismSinks sinks;
  sinks.context = &printed;
  sinks.event = keepEvent;
  sinks.page = keepPage;
  startPrinter(*printer, setup.settings, sinks);
  printer->mechanism.glyphs = glyphs;
  int32_t worn[maxPins] = {0, 100, 200, 300, 400, 500, 600};
  setStrikeCounts(printer->mechanism, worn);
  createPage(printer->mechanism);
  startStream(*printer);
  return printer;
}

void finish(Printer &p) {
  endStream(p);
  ejectPage(p.mechanism);
}

void feedByte(Printer &p, const std::string &stream, size_t i) {
  interpretBytes(p, reinterpret_cast<const uint8_t *>(stream.data()) + i, 1);
}

// The setup printed alone, in one piece.
Printed alone(const Feed &setup, const GlyphTables &glyphs) {
  Printed printed;
  std::unique_ptr<Printer> p = makePrinter(setup, glyphs, printed);
  interpretBytes(*p, reinterpret_cast<const uint8_t *>(setup.stream.data()), setup.stream.size());
  finish(*p);
  return printed;
}

void expectSame(const Printed &got, const Printed &want, const char *which) {
  SCOPED_TRACE(which);
  ASSERT_EQ(got.pages.size(), want.pages.size());
  EXPECT_TRUE(got.events == want.events);
  for (size_t i = 0; i < want.pages.size(); ++i) {
    const PageJob &a = got.pages[i], &b = want.pages[i];
    EXPECT_TRUE(a.raster.kind == b.raster.kind) << "page " << i;
    EXPECT_TRUE(a.raster.bytes == b.raster.bytes) << "page " << i;
    EXPECT_EQ(a.rows, b.rows) << "page " << i;
    ASSERT_EQ(a.cells.size(), b.cells.size()) << "page " << i;
    for (size_t c = 0; c < a.cells.size(); ++c)
      EXPECT_TRUE(a.cells[c].x == b.cells[c].x && a.cells[c].y == b.cells[c].y && a.cells[c].text == b.cells[c].text)
          << "page " << i << ", cell " << c;
    EXPECT_EQ(a.strikes.size(), b.strikes.size()) << "page " << i;
  }
}

// Two printers as unlike as can be: a raw stream with debug marks, a worn ribbon, the
// business set, the ink look's strikes and short pages; and a text-mode file with bit
// images, double width and quotes, taller pages and text cells for a transcript.
Feed firstSetup() {
  Feed setup;
  setup.settings.streamKind = StreamKind::Raw;
  setup.settings.debugLevel = DebugMarks;
  setup.settings.halfLife = 500;
  setup.settings.businessDefault = true;
  setup.settings.look = LookStyle::Ink;
  setup.settings.pageHeight = 84;
  setup.settings.pageFiles = false;
  for (int line = 0; line < 12; ++line) setup.stream += "raw Line " + std::to_string(line) + bytes({17, 14}) + "WIDE\r";
  setup.stream += bytes({27, 16, 1, 20}) + "AT A DOT";
  return setup;
}

Feed secondSetup() {
  Feed setup;
  setup.settings.pageHeight = 300;
  setup.settings.textName = "t.txt";
  setup.settings.pageFiles = false;
  for (int line = 0; line < 20; ++line)
    setup.stream += "TEXT LINE " + std::to_string(line) + bytes({8, 255, 170, 213, 15, 34, 18}) + "Q\"" +
                    bytes({16, '4', '0'}) + "X" + bytes({13, 10});
  return setup;
}

}  // namespace

TEST(Printer, TwoPrintersFedByteByByteInTurnPrintAsAlone) {
  const GlyphTables glyphs = testGlyphs();
  const Feed setups[2] = {firstSetup(), secondSetup()};
  const Printed want[2] = {alone(setups[0], glyphs), alone(setups[1], glyphs)};
  ASSERT_GE(want[0].pages.size(), 2u);
  ASSERT_GE(want[1].pages.size(), 1u);
  Printed got[2];
  std::unique_ptr<Printer> printers[2] = {makePrinter(setups[0], glyphs, got[0]), makePrinter(setups[1], glyphs, got[1])};
  size_t longest = std::max(setups[0].stream.size(), setups[1].stream.size());
  for (size_t i = 0; i < longest; ++i)
    for (int which = 0; which < 2; ++which)
      if (i < setups[which].stream.size()) feedByte(*printers[which], setups[which].stream, i);
  for (auto &printer : printers) finish(*printer);
  expectSame(got[0], want[0], "first");
  expectSame(got[1], want[1], "second");
  // A printer made after them starts from the power-on state, whatever they left.
  Printed again;
  std::unique_ptr<Printer> fresh = makePrinter(setups[1], glyphs, again);
  interpretBytes(*fresh, reinterpret_cast<const uint8_t *>(setups[1].stream.data()), setups[1].stream.size());
  finish(*fresh);
  expectSame(again, want[1], "a third printer");
}

TEST(Printer, TwoPrintersOnTwoThreadsPrintAsAlone) {
  const GlyphTables glyphs = testGlyphs();
  const Feed setups[2] = {firstSetup(), secondSetup()};
  const Printed want[2] = {alone(setups[0], glyphs), alone(setups[1], glyphs)};
  Printed got[2];
  std::thread threads[2];
  for (int which = 0; which < 2; ++which)
    threads[which] = std::thread([&, which] {
      std::unique_ptr<Printer> p = makePrinter(setups[which], glyphs, got[which]);
      for (size_t i = 0; i < setups[which].stream.size(); ++i) feedByte(*p, setups[which].stream, i);
      finish(*p);
    });
  for (std::thread &thread : threads) thread.join();
  expectSame(got[0], want[0], "first");
  expectSame(got[1], want[1], "second");
}
