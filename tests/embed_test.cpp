// The printer through its C interface: the pages it hands over are the program's pages
// pixel for pixel, in the example program and in-process, with every setting; its
// arguments and statuses, strike counts and jobs; and the installed library, found
// with pkg-config, builds the example as any C program would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "embed/tambrix.h"
#include "run_support.h"

namespace {

// A page as the callback saw it, copied out.
struct Seen {
  tambrix_page page;  // its pointers are dangling once the callback returned
  std::vector<unsigned char> pixels;
  std::vector<tambrix_cell> cells;
};

void keepPage(void *context, const tambrix_page *page) {
  Seen seen{*page, {}, {}};
  seen.pixels.assign(page->pixels, page->pixels + page->stride * page->height);
  seen.cells.assign(page->cells, page->cells + page->cell_count);
  static_cast<std::vector<Seen> *>(context)->push_back(std::move(seen));
}

// A text-mode file of three 12-inch pages: text, bit images, double width, quotes,
// reverse and positioning, every line a little different.
std::string longStream() {
  std::string stream;
  for (int line = 0; line < 170; ++line) {
    stream += "LINE " + std::to_string(line) + bytes({8, 255, 170, 213, 128 + line % 127, 15});
    if (line % 3 == 0) stream += bytes({14}) + "WIDE" + bytes({15});
    if (line % 5 == 0) stream += bytes({18}) + "REV" + bytes({146});
    if (line % 7 == 0) stream += "\"Q\"" + bytes({16, '4', '0'}) + "AT 40";
    stream += bytes({13, 10});
  }
  return stream;
}

// A raw stream with every kind of byte, for short pages.
std::string rawStream() {
  std::string stream;
  for (int line = 0; line < 30; ++line)
    stream += "raw Line " + std::to_string(line) + bytes({17, 14}) + "WIDE" + bytes({8, 170, 255, 15}) + "\r";
  return stream + bytes({27, 16, 1, 20}) + "AT A DOT";
}

// The header and pixels of a binary PGM or PPM file.
struct Netpbm {
  std::string magic;
  unsigned width = 0, height = 0;
  std::string pixels;
};

Netpbm readNetpbm(const std::string &path) {
  std::string file = readFile(path);
  Netpbm image;
  char magic[3] = {};
  unsigned maximum = 0;
  int used = 0;
  if (std::sscanf(file.c_str(), "%2s %u %u %u%n", magic, &image.width, &image.height, &maximum, &used) != 4 ||
      maximum != 255)
    return image;
  image.magic = magic;
  image.pixels = file.substr(size_t(used) + 1);
  return image;
}

// Compares a page the interface handed over with the program's PNG page, every pixel
// in every channel; gray pages against the red channel, which a gray PNG repeats.
void expectSamePixels(unsigned width, unsigned height, unsigned channels, const unsigned char *pixels,
                      const Page &png, const std::string &what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(width, png.width);
  ASSERT_EQ(height, png.height);
  size_t differing = 0;
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      const unsigned char *pixel = pixels + (size_t(y) * width + x) * channels;
      bool same = channels == 1 ? pixel[0] == png.red(x, y) && png.green(x, y) == png.red(x, y)
                                : pixel[0] == png.red(x, y) && pixel[1] == png.green(x, y) && pixel[2] == png.blue(x, y);
      if (!same && differing++ == 0) ADD_FAILURE() << "first differing pixel at " << x << ", " << y << ": " << int(pixel[0]) << " against " << int(png.red(x, y));
    }
  EXPECT_EQ(differing, 0u);
}

// A printer made with the settings, its pages going to pages; fails the test when it
// cannot be made.
tambrix_printer *makePrinter(const tambrix_settings &settings, std::vector<Seen> &pages) {
  tambrix_printer *printer = nullptr;
  EXPECT_EQ(tambrix_create(&settings, keepPage, &pages, &printer), TAMBRIX_OK);
  return printer;
}

void feedInPieces(tambrix_printer *printer, const std::string &stream, size_t piece) {
  for (size_t at = 0; at < stream.size(); at += piece)
    ASSERT_EQ(tambrix_feed(printer, stream.data() + at, std::min(piece, stream.size() - at)), TAMBRIX_OK);
}

// The pages of a whole job printed with the settings, the stream fed in pieces.
std::vector<Seen> printJob(const tambrix_settings &settings, const std::string &stream, size_t piece) {
  std::vector<Seen> pages;
  tambrix_printer *printer = makePrinter(settings, pages);
  if (printer == nullptr) return pages;
  feedInPieces(printer, stream, piece);
  EXPECT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  tambrix_destroy(printer);
  return pages;
}

// Default settings reading the test ROM that dir holds.
tambrix_settings testSettings(const TempDir &dir, std::string &rom) {
  rom = dir.file("PRINTER/mps801.bin");
  tambrix_settings settings;
  tambrix_default_settings(&settings);
  settings.rom_file = rom.c_str();
  return settings;
}

bool samePages(const std::vector<Seen> &a, const std::vector<Seen> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].pixels != b[i].pixels || a[i].page.number != b[i].page.number || a[i].cells.size() != b[i].cells.size())
      return false;
  return true;
}

}  // namespace

// The example feeds the stream to two printers in pieces of 7 and 1000 bytes; each
// writes the program's pages, pixel for pixel, and no more.
TEST(Embed, ExamplePagesAreTheProgramsPages) {
  TempDir dir;
  writeRom(dir, testRom());
  writeFile(dir.file("long.prn"), longStream());
  RunResult example = runTambrix(dir, {"long.prn"}, "", TWO_PRINTERS_BINARY);
  ASSERT_EQ(example.status, 0) << example.err;
  RunResult program = runTambrix(dir, {"long.prn", "-out", "p"});
  ASSERT_EQ(program.status, 0) << program.out << program.err;
  std::vector<std::string> pngs = pngFiles(dir);
  ASSERT_GE(pngs.size(), 3u);
  for (char printer : {'a', 'b'}) {
    for (size_t i = 0; i < pngs.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "%c-%03zu.pgm", printer, i + 1);
      Netpbm pgm = readNetpbm(dir.file(name));
      ASSERT_EQ(pgm.magic, "P5") << name;
      ASSERT_EQ(pgm.pixels.size(), size_t(pgm.width) * pgm.height) << name;
      expectSamePixels(pgm.width, pgm.height, 1, reinterpret_cast<const unsigned char *>(pgm.pixels.data()),
                       readPage(dir.file(pngs[i])), name);
    }
    char next[32];
    std::snprintf(next, sizeof next, "%c-%03zu.pgm", printer, pngs.size() + 1);
    EXPECT_FALSE(fileExists(dir.file(next))) << next;
  }
  RunResult missing = runTambrix(dir, {"no such file"}, "", TWO_PRINTERS_BINARY);
  EXPECT_NE(missing.status, 0);
}

// In-process, with every setting away from its default and the stream fed 3 bytes at
// a time: colour pages of marks, worn shades, short pages, a raw stream in the
// business set. Pages are numbered from 1 at 120 by 126 pixels an inch, and carry
// their cells.
TEST(Embed, EverySettingPrintsTheProgramsPages) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string stream = rawStream();
  writeFile(dir.file("raw.prn"), stream);
  RunResult program = runTambrix(
      dir, {"raw.prn", "-raw", "-business", "-debug", "2", "-halflife", "300", "-height", "2", "-out", "q"});
  ASSERT_EQ(program.status, 0) << program.out << program.err;
  std::vector<std::string> pngs = pngFiles(dir);
  ASSERT_GE(pngs.size(), 2u);

  std::string rom;
  tambrix_settings settings = testSettings(dir, rom);
  settings.model = "MPS801";
  settings.raw = 1;
  settings.business = 1;
  settings.debug_marks = 1;
  settings.half_life = 300;
  settings.page_height = 252;  // 2 inches, as -height 2
  std::vector<Seen> pages = printJob(settings, stream, 3);
  ASSERT_EQ(pages.size(), pngs.size());
  bool gray = false;
  for (size_t i = 0; i < pages.size(); ++i) {
    const tambrix_page &page = pages[i].page;
    EXPECT_EQ(page.number, i + 1);
    EXPECT_EQ(page.dpi_x, 120.0);
    EXPECT_EQ(page.dpi_y, 126.0);
    EXPECT_EQ(page.channels, 3u);
    EXPECT_EQ(page.stride, size_t(page.width) * 3);
    EXPECT_EQ(page.height, 252u);
    expectSamePixels(page.width, page.height, page.channels, pages[i].pixels.data(), readPage(dir.file(pngs[i])),
                     pngs[i]);
    for (size_t p = 0; p < pages[i].pixels.size(); p += 3)
      gray = gray || (pages[i].pixels[p] > 0 && pages[i].pixels[p] < 255 && pages[i].pixels[p] == pages[i].pixels[p + 1]);
    ASSERT_FALSE(pages[i].cells.empty());
  }
  EXPECT_TRUE(gray) << "a worn ribbon prints gray";
  // The first cell is the "r" of "raw" at the top left, a cell wide.
  const tambrix_cell &first = pages[0].cells[0];
  EXPECT_EQ(first.x, 0u);
  EXPECT_EQ(first.y, 0u);
  EXPECT_EQ(first.width, 12u);
  EXPECT_EQ(first.height, 14u);
  EXPECT_EQ(first.codepoint, (unsigned long)'R');  // the business set prints it as a capital
}

// Every function refuses what it cannot use, with a status that says so in words.
TEST(Embed, ArgumentsAndStatusesAreChecked) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string rom;
  tambrix_settings settings = testSettings(dir, rom);
  std::vector<Seen> pages;
  tambrix_printer *printer = reinterpret_cast<tambrix_printer *>(&pages);  // must be cleared on failure

  EXPECT_EQ(tambrix_create(nullptr, keepPage, &pages, &printer), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(printer, nullptr);
  EXPECT_EQ(tambrix_create(&settings, nullptr, &pages, &printer), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_create(&settings, keepPage, &pages, nullptr), TAMBRIX_ERROR_INVALID_ARGUMENT);
  tambrix_settings wrong = settings;
  wrong.model = "mps802";
  EXPECT_EQ(tambrix_create(&wrong, keepPage, &pages, &printer), TAMBRIX_ERROR_UNKNOWN_MODEL);
  EXPECT_EQ(printer, nullptr);
  for (unsigned height : {0u, 20u, 12601u}) {
    wrong = settings;
    wrong.page_height = height;
    EXPECT_EQ(tambrix_create(&wrong, keepPage, &pages, &printer), TAMBRIX_ERROR_INVALID_ARGUMENT) << height;
  }
  wrong = settings;
  wrong.half_life = 4294967296ul;
  EXPECT_EQ(tambrix_create(&wrong, keepPage, &pages, &printer), TAMBRIX_ERROR_INVALID_ARGUMENT);
  std::string missingRom = dir.file("PRINTER/none.bin");
  for (const char *name : {missingRom.c_str(), dir.path.c_str()}) {
    wrong = settings;
    wrong.rom_file = name;
    EXPECT_EQ(tambrix_create(&wrong, keepPage, &pages, &printer), TAMBRIX_ERROR_NO_FONT) << name;
    EXPECT_EQ(printer, nullptr);
  }

  // The extremes of the ranges, and no model named, are accepted.
  for (unsigned height : {21u, 12600u}) {
    wrong = settings;
    wrong.model = nullptr;
    wrong.page_height = height;
    wrong.half_life = 4294967295ul;
    ASSERT_EQ(tambrix_create(&wrong, keepPage, &pages, &printer), TAMBRIX_OK) << height;
    tambrix_destroy(printer);
  }

  ASSERT_EQ(tambrix_create(&settings, keepPage, &pages, &printer), TAMBRIX_OK);
  ASSERT_NE(printer, nullptr);
  long counts[7] = {};
  EXPECT_EQ(tambrix_feed(nullptr, "A", 1), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_feed(printer, nullptr, 1), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_feed(printer, nullptr, 0), TAMBRIX_OK);
  EXPECT_EQ(tambrix_end_job(nullptr), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_pin_count(nullptr), 0u);
  EXPECT_EQ(tambrix_get_strikes(nullptr, counts, 7), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_get_strikes(printer, nullptr, 7), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_get_strikes(printer, counts, 6), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_set_strikes(nullptr, counts, 7), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_set_strikes(printer, nullptr, 7), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_set_strikes(printer, counts, 8), TAMBRIX_ERROR_INVALID_ARGUMENT);
  counts[3] = -1;
  EXPECT_EQ(tambrix_set_strikes(printer, counts, 7), TAMBRIX_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  EXPECT_TRUE(pages.empty()) << "a job with no ink hands over no page";
  tambrix_destroy(printer);
  tambrix_destroy(nullptr);
  tambrix_default_settings(nullptr);

  std::vector<std::string> texts;
  for (tambrix_status status : {TAMBRIX_OK, TAMBRIX_ERROR_INVALID_ARGUMENT, TAMBRIX_ERROR_UNKNOWN_MODEL,
                                TAMBRIX_ERROR_NO_FONT, TAMBRIX_ERROR_NO_MEMORY, TAMBRIX_ERROR_INTERNAL}) {
    std::string text = tambrix_status_text(status);
    EXPECT_FALSE(text.empty());
    for (const std::string &other : texts) EXPECT_NE(text, other);
    texts.push_back(text);
  }
  EXPECT_EQ(TAMBRIX_OK, 0);
  EXPECT_EQ(texts[2], "unknown printer model");
  EXPECT_NE(tambrix_status_text(tambrix_status(99)), nullptr);
}

// Strike counts count the dots each pin struck, come back as they were set, survive
// the end of a job, and shade the print of a ribbon that wears.
TEST(Embed, StrikeCountsRoundTripAndShadeThePrint) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string rom;
  tambrix_settings settings = testSettings(dir, rom);
  settings.half_life = 1000;
  std::vector<Seen> fresh, worn;
  tambrix_printer *printer = makePrinter(settings, fresh);
  ASSERT_NE(printer, nullptr);
  ASSERT_EQ(tambrix_pin_count(printer), 7u);
  long counts[7] = {1, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(tambrix_get_strikes(printer, counts, 7), TAMBRIX_OK);
  for (long count : counts) EXPECT_EQ(count, 0);
  const std::string bar = bytes({8, 255, 15, 13});  // one column of all seven pins
  feedInPieces(printer, bar, 1);
  ASSERT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  ASSERT_EQ(tambrix_get_strikes(printer, counts, 7), TAMBRIX_OK);
  for (long count : counts) EXPECT_EQ(count, 1) << "one dot of each pin, kept past the end of the job";

  const long set[7] = {1000, 2000, 3000, 4000, 5000, 6000, 4294967295l};
  ASSERT_EQ(tambrix_set_strikes(printer, set, 7), TAMBRIX_OK);
  ASSERT_EQ(tambrix_get_strikes(printer, counts, 7), TAMBRIX_OK);
  for (int pin = 0; pin < 7; ++pin) EXPECT_EQ(counts[pin], set[pin]);
  tambrix_destroy(printer);

  // Pin 0 of a printer whose pins struck a thousand dots each prints lighter than a
  // fresh one's.
  printer = makePrinter(settings, worn);
  ASSERT_NE(printer, nullptr);
  const long thousand[7] = {1000, 1000, 1000, 1000, 1000, 1000, 1000};
  ASSERT_EQ(tambrix_set_strikes(printer, thousand, 7), TAMBRIX_OK);
  feedInPieces(printer, bar, 4);
  ASSERT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  tambrix_destroy(printer);
  ASSERT_EQ(fresh.size(), 1u);
  ASSERT_EQ(worn.size(), 1u);
  EXPECT_EQ(fresh[0].pixels[0], 0);
  EXPECT_GT(worn[0].pixels[0], 64);
  EXPECT_LT(worn[0].pixels[0], 255);
}

// A job ends with its last page handed over, and the next starts from the power-on
// state: a command cut short or a mode left on is gone, and the pages are numbered
// from 1 again, the same as the first job's.
TEST(Embed, EndJobHandsOverTheLastPageAndStartsAfresh) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string rom;
  tambrix_settings settings = testSettings(dir, rom);
  const std::string stream = longStream();
  std::vector<Seen> pages;
  tambrix_printer *printer = makePrinter(settings, pages);
  ASSERT_NE(printer, nullptr);
  feedInPieces(printer, stream, 1000);
  size_t beforeEnd = pages.size();
  ASSERT_GE(beforeEnd, 2u);
  ASSERT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  ASSERT_EQ(pages.size(), beforeEnd + 1) << "the last page comes with the end of the job";
  std::vector<Seen> first(pages.begin(), pages.end());
  pages.clear();
  // Double width, bit-image mode and reverse left on, and a dot address cut short.
  feedInPieces(printer, bytes({14, 8, 18, 27, 16, 1}), 2);
  ASSERT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  EXPECT_TRUE(pages.empty());
  feedInPieces(printer, stream, 77);
  ASSERT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  EXPECT_TRUE(samePages(pages, first)) << "the second job prints as the first";
  EXPECT_EQ(pages.empty() ? 0u : pages.front().page.number, 1u);
  tambrix_destroy(printer);
}

// Two printers fed on two threads at once print as each prints alone.
TEST(Embed, TwoPrintersOnTwoThreadsPrintAsAlone) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string rom;
  tambrix_settings settings[2] = {testSettings(dir, rom)};
  settings[1] = settings[0];
  settings[1].raw = 1;
  settings[1].debug_marks = 1;
  settings[1].page_height = 200;
  const std::string streams[2] = {longStream(), rawStream()};
  const std::vector<Seen> alone[2] = {printJob(settings[0], streams[0], 4096), printJob(settings[1], streams[1], 4096)};
  std::vector<Seen> got[2];
  std::thread threads[2];
  for (int which = 0; which < 2; ++which)
    threads[which] = std::thread([&, which] { got[which] = printJob(settings[which], streams[which], 5 + which); });
  for (std::thread &thread : threads) thread.join();
  EXPECT_TRUE(samePages(got[0], alone[0]));
  EXPECT_TRUE(samePages(got[1], alone[1]));
  EXPECT_GE(alone[1].size(), 2u);
}

// Installed under a prefix, the library, its header and pkg-config file build the
// example as a plain C program, linked with nothing but what pkg-config says, and it
// prints as the example of the build tree does. The installed font for the 9-pin
// printer lies beside the 7-pin one.
TEST(Embed, InstalledLibraryBuildsTheExampleWithPkgConfig) {
#ifdef TAMBRIX_SANITIZED
  GTEST_SKIP() << "the installed archive holds sanitized code, which a plain link cannot take";
#endif
  TempDir prefix, dir;
  std::string install = "cmake --install '" BUILD_DIR "' --prefix '" + prefix.path + "' > /dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0);
  for (std::string file : {std::string(INSTALL_LIBDIR "/libtambrix_printer.a"), std::string(INSTALL_INCLUDEDIR "/tambrix.h"),
                           std::string(INSTALL_LIBDIR "/pkgconfig/tambrix.pc"), std::string("share/tambrix/PRINTER/escp.fake"),
                           std::string("share/tambrix/PRINTER/mps801.fake")})
    EXPECT_TRUE(fileExists(prefix.file(file))) << file;
  std::string flags = commandOutput("PKG_CONFIG_PATH='" + prefix.file(INSTALL_LIBDIR "/pkgconfig") +
                                    "' pkg-config --cflags --libs tambrix");
  EXPECT_NE(flags.find("-ltambrix_printer"), std::string::npos) << flags;
  while (!flags.empty() && flags.back() == '\n') flags.pop_back();
  std::string program = dir.file("installed_example");
  std::string build = "'" C_COMPILER "' -std=c99 -Wall -Wextra -Werror '" SOURCE_DIR "/examples/two_printers.c' -o '" +
                      program + "' " + flags;
  ASSERT_EQ(std::system(build.c_str()), 0) << build;
  writeRom(dir, testRom());
  writeFile(dir.file("long.prn"), longStream());
  RunResult installed = runTambrix(dir, {"long.prn"}, "", program);
  ASSERT_EQ(installed.status, 0) << installed.err;
  std::map<std::string, std::string> made = filesIn(dir);
  TempDir built;
  writeRom(built, testRom());
  writeFile(built.file("long.prn"), longStream());
  ASSERT_EQ(runTambrix(built, {"long.prn"}, "", TWO_PRINTERS_BINARY).status, 0);
  made.erase("installed_example");
  EXPECT_TRUE(made == filesIn(built));
  EXPECT_TRUE(made.count("b-003.pgm"));
}

// The ESC/P printer through the interface prints the program's pages: square pixels,
// nine pins counted, pages of the length its commands set, and the cells of its text.
TEST(Embed, TheEscpPrinterPrintsTheProgramsPages) {
  TempDir dir;
  std::string stream = "Pica \x1bM" "Elite \x0f" "condensed\x12\r\n\x1b-1under\x1b-0 \x0e" "wide\r\n";
  stream += std::string("\x1b*\x01\x08\x00", 5) + std::string(8, '\xFF') + "\x0c\x1b" "C" + std::string(1, '\0') + "\x02";
  stream += std::string("\x1b^\x00\x02\x00\x00\x80\x01\x80", 9) + " page 2 of 2 inches\r\n";
  writeFile(dir.file("escp.prn"), stream);
  writeEscpFont(dir);
  std::string font = SOURCE_DIR "/PRINTER/escp.fake";
  RunResult program = runTambrix(dir, {"escp.prn", "-printer", "escp", "-halflife", "50", "-out", "e"});
  ASSERT_EQ(program.status, 0) << program.out << program.err;
  std::vector<std::string> pngs = pngFiles(dir);
  ASSERT_EQ(pngs.size(), 2u);

  tambrix_settings settings;
  tambrix_default_settings(&settings);
  settings.model = "escp";
  settings.rom_file = font.c_str();
  settings.half_life = 50;
  settings.page_height = 2640;  // 11 inches at 240 an inch
  std::vector<Seen> pages = printJob(settings, stream, 5);
  ASSERT_EQ(pages.size(), 2u);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i].page.dpi_x, 240.0);
    EXPECT_EQ(pages[i].page.dpi_y, 240.0);
    EXPECT_EQ(pages[i].page.width, 1920u);
    expectSamePixels(pages[i].page.width, pages[i].page.height, pages[i].page.channels, pages[i].pixels.data(),
                     readPage(dir.file(pngs[i])), pngs[i]);
  }
  EXPECT_EQ(pages[0].page.height, 2640u);
  EXPECT_EQ(pages[1].page.height, 480u) << "ESC C 0 2 makes the pages 2 inches long";
  // The first cell is the "P" of "Pica", a pica character wide (24 pixels).
  ASSERT_FALSE(pages[0].cells.empty());
  EXPECT_EQ(pages[0].cells[0].x, 0u);
  EXPECT_EQ(pages[0].cells[0].width, 24u);
  EXPECT_EQ(pages[0].cells[0].codepoint, (unsigned long)'P');

  tambrix_printer *printer = nullptr;
  std::vector<Seen> more;
  ASSERT_EQ(tambrix_create(&settings, keepPage, &more, &printer), TAMBRIX_OK);
  EXPECT_EQ(tambrix_pin_count(printer), 9u);
  long counts[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(tambrix_set_strikes(printer, counts, 7), TAMBRIX_ERROR_INVALID_ARGUMENT);
  ASSERT_EQ(tambrix_set_strikes(printer, counts, 9), TAMBRIX_OK);
  ASSERT_EQ(tambrix_feed(printer, "\x1b^\x00\x01\x00\x00\x80", 7), TAMBRIX_OK);  // pin 9 alone
  ASSERT_EQ(tambrix_end_job(printer), TAMBRIX_OK);
  long after[9] = {};
  ASSERT_EQ(tambrix_get_strikes(printer, after, 9), TAMBRIX_OK);
  for (unsigned pin = 0; pin < 8; ++pin) EXPECT_EQ(after[pin], counts[pin]) << pin;
  EXPECT_EQ(after[8], 10) << "pin 9 struck once";
  tambrix_destroy(printer);

  tambrix_settings wrong = settings;
  wrong.page_height = 24001;
  EXPECT_EQ(tambrix_create(&wrong, keepPage, &more, &printer), TAMBRIX_ERROR_INVALID_ARGUMENT);
  wrong = settings;
  std::string notFont = dir.file("escp.prn");
  wrong.rom_file = notFont.c_str();
  EXPECT_EQ(tambrix_create(&wrong, keepPage, &more, &printer), TAMBRIX_ERROR_NO_FONT) << "a stream is no font";
}
