// Pages are painted as rasters, taken out in the smallest kind that holds them, and
// encoded through the image's pixel cache; here the same pages are painted a second
// time with one pixelColor call per pixel, and every pixel of the written files must
// agree. Encoder processes must give the same bytes, and a slot whose process died
// hands its pages back to its thread.
#include <Magick++.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "base/file_access.h"
#include "mechanism/page_canvas.h"
#include "output/encoder_process.h"
#include "output/page_image.h"
#include "mechanism/print_head.h"
#include "run_support.h"

namespace {

struct Paint {
  bool mark;         // a debug mark pixel rather than a dot
  unsigned x, y;     // top left pixel
  float shade;       // dots: gray level
  MarkColor color;   // marks: colour
  uint8_t pins = 0;  // dots: struck as a whole column of these pins, (x, y) pin 0's dot
  unsigned line = 0; // marks: a line of this many pixels, across or down
  bool down = false;
};

// The shades of the pins of a worn ribbon, for the columns.
const float columnShades[maxPins] = {0.0f, 0.1f, 0.25f, 0.5f, 0.0f, 0.75f, 0.9f};

// Paints as the print head does: a whole column or a mark line at once, else a pixel
// or a dot.
void paint(PageCanvas &canvas, const Paint &p) {
  if (p.mark)
    p.line != 0 ? paintMarkLine(canvas, p.x, p.y, p.line, p.down, p.color) : paintMark(canvas, p.x, p.y, p.color);
  else
    p.pins != 0 ? paintColumn(canvas, p.x, p.y, p.pins, columnShades) : paintDot(canvas, p.x, p.y, p.shade);
}

// The same paint as single pixels and dots, for the reference.
std::vector<Paint> singly(const Paint &p) {
  std::vector<Paint> single;
  if (p.mark && p.line != 0)
    for (unsigned i = 0; i < p.line; ++i)
      single.push_back({true, p.down ? p.x : p.x + i, p.down ? p.y + i : p.y, 0, p.color});
  else if (!p.mark && p.pins != 0)
    for (unsigned pin = 0; pin < pinCount; ++pin) {
      if (p.pins & (1u << pin)) single.push_back({false, p.x, p.y + 2 * pin, columnShades[pin], p.color});
    }
  else
    single.push_back(p);
  return single;
}

constexpr unsigned width = 960;
constexpr unsigned height = 70;

// Dots as the head strikes them, with shades as a worn ribbon gives them, reversed
// cells, both kinds of mark, and dots that hang over the right and bottom edges.
std::vector<std::vector<Paint>> testPages() {
  std::vector<Paint> first, second, third;
  for (unsigned x = 0; x < 120; x += 2)
    for (unsigned pin = 0; pin < 7; ++pin)
      if ((x / 2 + pin) % 3 != 0) first.push_back({false, x, 2 * pin, 0.0f, MarkColor::Green});
  for (unsigned k = 0; k < 7; ++k) {
    float shade = float(1.0 - std::pow(0.5, double(float(k * 0.37))));
    for (unsigned x = 200; x < 260; x += 2) first.push_back({false, x + 60 * k, 21 + 2 * k, shade, MarkColor::Green});
  }
  for (unsigned x = 0; x < 12; ++x) first.push_back({true, 600 + x, 42, 0, MarkColor::Blue});
  for (unsigned y = 0; y < 14; ++y) first.push_back({true, 600, 42 + y, 0, MarkColor::Green});
  first.push_back({false, 600, 44, 0.5f, MarkColor::Green});  // a dot over a mark
  first.push_back({false, 959, 10, 0.0f, MarkColor::Green});  // half off the right edge
  first.push_back({false, 500, 69, 0.75f, MarkColor::Green}); // half off the bottom
  first.push_back({false, 959, 69, 0.0f, MarkColor::Green});  // the corner pixel only
  for (unsigned i = 0; i < 12; ++i) first.push_back({true, 952 + i, 30, 0, MarkColor::Blue});  // cell line off the edge
  // Columns of the head and mark lines, as the head paints them, on the page and over
  // its edges; a column after its mark.
  first.push_back({true, 700, 10, 0, MarkColor::Green, 0, 14, true});
  first.push_back({false, 700, 10, 0, MarkColor::Green, 0x7F});
  first.push_back({true, 702, 24, 0, MarkColor::Blue, 0, 12, false});
  first.push_back({false, 710, 0, 0, MarkColor::Green, 0x55});
  first.push_back({false, 959, 40, 0, MarkColor::Green, 0x7F});  // half off the right edge
  first.push_back({false, 800, 60, 0, MarkColor::Green, 0x1F});  // pins 5 and 6 below the page
  first.push_back({true, 820, 60, 0, MarkColor::Green, 0, 14, true});
  first.push_back({true, 950, 50, 0, MarkColor::Blue, 0, 12, false});
  second.push_back({false, 100, 56, 0, MarkColor::Green, 0x48});  // the last row exactly
  // A second page after the first was written: nothing of the first may come back.
  for (unsigned x = 300; x < 360; x += 2) second.push_back({false, x, 50, 0.25f, MarkColor::Green});
  // Black alone, with a dot on the last column.
  for (unsigned x = 901; x < 960; x += 2) third.push_back({false, x, 3 + x % 7, 0.0f, MarkColor::Green});
  third.push_back({false, 20, 30, 0, MarkColor::Green, 0x11});  // pins 0 and 4: black
  third.push_back({false, 58, 60, 0.0f, MarkColor::Green});      // alone in the last eight of 32 pixels
  return {first, second, third};
}

// A shade prints as its 8-bit level rounded down, on builds with integer and with float
// quantums alike.
Magick::Color grayColor(float shade) {
  using MagickCore::Quantum;
  Quantum gray = Quantum(std::floor(double(shade) * 255.0) * (QuantumRange / 255));
  return Magick::Color(gray, gray, gray);
}

void paintReference(Magick::Image &image, const Paint &p) {
  Magick::Color color = p.mark ? Magick::Color(p.color == MarkColor::Green ? Magick::ColorRGB(0, 1, 0)
                                                                            : Magick::ColorRGB(0, 0, 1))
                               : grayColor(p.shade);
  unsigned size = p.mark ? 1 : 2;
  if (p.pins != 0 || p.line != 0) {
    for (const Paint &single : singly(p)) paintReference(image, single);
    return;
  }
  for (unsigned dy = 0; dy < size; ++dy)
    for (unsigned dx = 0; dx < size; ++dx)
      if (p.x + dx < width && p.y + dy < height) image.pixelColor(p.x + dx, p.y + dy, color);
}

std::string pixelsOf(const std::string &path) {
  Page page = readPage(path);
  return std::string(page.rgb.begin(), page.rgb.end());
}

}  // namespace

TEST(PixelCache, PagesEqualOnePixelColorPerPixel) {
  TempDir dir;
  initImageLibrary("pixel_cache_test");
  constexpr unsigned slots = 2;
  startEncoderProcesses(slots, width, height);  // forks: before anything starts a thread
  std::vector<std::vector<Paint>> pages = testPages();
  PageCanvas canvas;

  startPage(canvas, width, height, false);
  PageRaster raster;
  for (size_t n = 0; n < pages.size(); ++n) {
    for (const Paint &p : pages[n]) paint(canvas, p);
    raster = takePage(canvas);
    const PixelKind kinds[] = {PixelKind::Rgb, PixelKind::Gray, PixelKind::BlackWhite};
    EXPECT_TRUE(raster.kind == kinds[n]) << "page " << n;
    std::string png = encodeRasterPng(raster.width, raster.height, raster.kind, raster.bytes.data());
    std::string name = dir.file("fast-" + std::to_string(n) + ".png");
    ASSERT_EQ(replaceFileWhole(name, png.data(), png.size(), false), 0);
    for (unsigned slot = 0; slot < slots; ++slot) {
      std::string fromProcess;
      EXPECT_TRUE(encodeInProcess(slot, raster, fromProcess)) << "page " << n << ", slot " << slot;
      EXPECT_TRUE(fromProcess == png) << "page " << n << ", slot " << slot;
    }
  }
  // One process dies: its slot says so, page after page, and the other one still encodes.
  std::vector<pid_t> processes = childProcesses(getpid());
  ASSERT_EQ(processes.size(), slots);
  kill(processes.front(), SIGKILL);
  siginfo_t ended;
  waitid(P_PID, id_t(processes.front()), &ended, WEXITED | WNOWAIT);  // dead, and left for the slot to reap
  std::string last = encodeRasterPng(raster.width, raster.height, raster.kind, raster.bytes.data());
  unsigned refused = 0;
  for (int page = 0; page < 2; ++page)
    for (unsigned slot = 0; slot < slots; ++slot) {
      std::string png;
      if (!encodeInProcess(slot, raster, png))
        ++refused;
      else
        EXPECT_TRUE(png == last) << "slot " << slot;
    }
  EXPECT_EQ(refused, 2u) << "the slot of the dead process, twice";
  stopEncoderProcesses();

  Magick::Image reference(Magick::Geometry(width, height), Magick::ColorMono(true));
  reference.depth(8);
  reference.defineValue("png", "exclude-chunks", "date,time");
  for (size_t n = 0; n < pages.size(); ++n) {
    for (const Paint &p : pages[n]) paintReference(reference, p);
    reference.write("png:" + dir.file("slow-" + std::to_string(n) + ".png"));
    reference.erase();
  }

  for (size_t n = 0; n < pages.size(); ++n) {
    std::string fast = dir.file("fast-" + std::to_string(n) + ".png");
    std::string slow = dir.file("slow-" + std::to_string(n) + ".png");
    EXPECT_EQ(pixelsOf(fast), pixelsOf(slow)) << "page " << n;
    EXPECT_EQ(readFile(fast), readFile(slow)) << "page " << n;
  }
  Page first = readPage(dir.file("fast-0.png"));
  EXPECT_EQ(first.red(200, 21), 0);                 // unworn pin: black
  EXPECT_EQ(first.red(260, 23), 57);                // 1 - 0.5^0.37 of 255
  EXPECT_EQ(first.red(500, 69), 191);               // 0.75, clipped to one row
  EXPECT_EQ(first.red(600, 44), 127);               // 0.5: level 127.5, rounded down
  EXPECT_EQ(first.green(600, 43), 255);             // green tick
  EXPECT_EQ(first.blue(959, 30), 255);              // the cell line runs up to the edge
  EXPECT_EQ(first.red(959, 30), 0);

  // One mark pixel among gray dots is colour wherever it falls among eight pixels and
  // among 32, and the gray dots alone are not.
  for (MarkColor color : {MarkColor::Green, MarkColor::Blue})
    for (unsigned at = 0; at <= 8; ++at) {
      startPage(canvas, width, height, true);
      for (unsigned x = 0; x < width; x += 2) paintDot(canvas, x, 20 + x % 3, float(x % 7) / 7.0f);
      if (at < 8) paintMark(canvas, 480 + 5 * at, 21, color);
      PageRaster taken = takePage(canvas);
      EXPECT_EQ(taken.kind == PixelKind::Rgb, at < 8) << "mark at " << at;
    }

  // A page whose rows end in part of a byte packs row by row, its padding bits set.
  startPage(canvas, 100, 10, false);
  paintDot(canvas, 0, 0, 0.0f);
  paintDot(canvas, 98, 8, 0.0f);
  PageRaster narrow = takePage(canvas);
  ASSERT_TRUE(narrow.kind == PixelKind::BlackWhite);
  ASSERT_EQ(narrow.bytes.size(), 130u);
  for (size_t i = 0; i < narrow.bytes.size(); ++i) {
    uint8_t expected = i == 0 || i == 13 ? 0x3F : i == 116 || i == 129 ? 0xCF : 0xFF;
    EXPECT_EQ(narrow.bytes[i], expected) << "byte " << i;
  }

  // A run after one that stopped in the middle of a page starts on a white page.
  for (bool colour : {false, true}) {
    startPage(canvas, width, height, colour);
    for (const Paint &p : pages[0]) paint(canvas, p);
    finishPageCanvas(canvas);  // a printer that stopped, its memory passed on
    startPage(canvas, width, height, colour);
    paintDot(canvas, 0, 0, 0.0f);  // ink on the top and bottom rows: the whole page is looked at
    paintDot(canvas, 0, height - 2, 0.0f);
    PageRaster fresh = takePage(canvas);
    EXPECT_TRUE(fresh.kind == PixelKind::BlackWhite) << "colour " << colour;
    EXPECT_EQ(std::count(fresh.bytes.begin(), fresh.bytes.end(), 0xFF), ptrdiff_t(fresh.bytes.size()) - 4)
        << "colour " << colour;
  }
}
