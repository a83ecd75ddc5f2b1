// The page being painted, as 8-bit levels: one byte a pixel, gray, until a debug mark
// brings colour and makes it three. A finished page is taken out whole as a raster
// for the encoders and the PDF document, and painting goes on on a white page.
#pragma once

#include "base/page_geometry.h"
#include "base/page_raster.h"

#include <cstdint>
#include <vector>

// Colours of the debug marks.
enum class MarkColor { Green, Blue };

// The page being painted: one byte a pixel, or three.
struct Canvas {
  unsigned width = 0;           // pixels
  unsigned height = 0;          // pixels
  bool rgb = false;             // three bytes a pixel (red, green, blue), else one (gray)
  std::vector<uint8_t> bytes;   // the rows top to bottom
  unsigned inkedTop = 0;        // rows inkedTop .. inkedEnd - 1 may hold ink; all
  unsigned inkedEnd = 0;        //   other rows are white
};

// Page memory kept to paint later pages on, rather than page-sized memory made anew,
// which is slow to fault in (under AddressSanitizer, several times the cost of a
// short run). It holds nothing of a run: every page taken from it is filled anew. A
// program that prints run after run may hand it from one printer to the next.
struct PagePool {
  std::vector<Canvas> blanks;                 // pages of earlier runs, whitened, the oldest first
  std::vector<std::vector<uint8_t>> spares;   // bytes of pages given back
};

// A printer's canvas: the page being painted, its spare memory, and the level each
// pin painted last. A worn ribbon gives each pin a shade of its own, changed at line
// feeds; a level depends on its shade alone.
struct PageCanvas {
  Canvas page;
  PagePool pool;
  float shadeOfPin[maxPins] = {};      // the shade each pin of a column painted last
  uint8_t levelOfPin[maxPins] = {};    //   and its 8-bit level
  unsigned pixelsPerInchX = pixelsPerInchAcross;  // the page's pixels an inch across, which
  unsigned pixelsPerInchY = pixelsPerInchDown;    //   its rasters say, and down
};

// Ends the canvas's painting: the page being painted is whitened where it was inked
// and kept in the pool as the first page of a later run of its size.
void finishPageCanvas(PageCanvas &canvas);

// Starts painting on a white page of width x height pixels, in colour from the start
// when the run paints debug marks; a page being painted is dropped.
void startPage(PageCanvas &canvas, unsigned width, unsigned height, bool colour);

// Paints the 2 x 2 square with top left pixel (x, y) in the gray shade (0 black,
// 1 white) as a whole 8-bit level, the shade's level rounded down; pixels outside the
// page are skipped.
void paintDot(PageCanvas &canvas, unsigned x, unsigned y, float shade);

// Paints the 2 x 2 squares of one column of the head, as paintDot would one by one:
// pin p's, when bit p of pins is set, with its top left pixel at (x, y + dotSize * p),
// in shades[p].
void paintColumn(PageCanvas &canvas, unsigned x, unsigned y, uint8_t pins, const float (&shades)[maxPins]);

// Paints a round dot four pixels across, the 4 x 4 square with top left pixel (x, y)
// without its corners, in the gray shade as paintDot does; pixels outside the page
// are skipped.
void paintRoundDot(PageCanvas &canvas, int x, int y, float shade);

// Makes the page being painted height pixels high: rows below the old foot are white,
// rows below the new one are dropped.
void resizePage(PageCanvas &canvas, unsigned height);

// Paints one pixel of a debug mark; a pixel outside the page is skipped.
void paintMark(PageCanvas &canvas, unsigned x, unsigned y, MarkColor color);

// Paints length pixels of a debug mark from (x, y), down or across, as paintMark would
// one by one.
void paintMarkLine(PageCanvas &canvas, unsigned x, unsigned y, unsigned length, bool down, MarkColor color);

// The painted page in the smallest kind that holds it: black and white, gray, or
// colour where debug marks are still seen. Painting goes on on a white page.
PageRaster takePage(PageCanvas &canvas);

// Takes back the bytes of a page taken before, once nothing needs them any more, to
// paint later pages on.
void recyclePage(PageCanvas &canvas, PageRaster &&raster);
