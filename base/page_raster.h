// What a finished page is made of, as it travels from the print head to the encoders,
// the PDF document and the transcript: its pixels and its character cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/page_geometry.h"

// How the bytes of a page raster hold its pixels.
enum class PixelKind {
  BlackWhite,  // 1 bit a pixel, the leftmost in a byte's top bit, 1 white and 0 black;
               // each row padded to whole bytes
  Gray,        // 1 byte a pixel, 0 black to 255 white
  Rgb,         // 3 bytes a pixel: red, green, blue, 0-255 each
  Indexed,     // 1 byte a pixel: an entry of the raster's palette (pages in a look of their own)
};

// A page as pixels: the dots as painted, 120 pixels an inch across and 126 down, or
// the page in a look of its own (on paper, in ink), with its own pixels per inch.
struct PageRaster {
  unsigned width = 0;          // pixels, 1 or more; 960 for 8 inches
  unsigned height = 0;         // pixels, 1 or more; 1512 for 12 inches
  PixelKind kind = PixelKind::Gray;
  std::vector<uint8_t> bytes;  // the rows top to bottom, each left to right, in kind's layout
  unsigned pixelsPerInchX = pixelsPerInchAcross; // pixels an inch across: 120 for dots, the -dpi for ink
  unsigned pixelsPerInchY = pixelsPerInchDown;   // pixels an inch down: 126 for dots, the -dpi for ink
  unsigned printLeft = 0;          // pixels from the left edge to the print line's start; 0 without paper
  bool recordsResolution = false;  // the PNG file says its pixels per inch; the plain dot page does not
  std::vector<uint8_t> palette;    // red, green, blue of each entry, up to 256, for Indexed; else empty
};

// Bytes of one row of a raster of the kind, width pixels wide.
size_t rasterRowBytes(PixelKind kind, unsigned width);

// One printed character cell and the character it shows.
struct TextCell {
  unsigned x;       // pixels from the page's left edge to the cell's left edge
  unsigned y;       // pixels from the page's top edge to the cell's top edge
  unsigned width;   // pixels, 1 or more; 12 for a character, 24 in double width
  unsigned height;  // pixels, 1 or more; 14 for a character
  char32_t text;    // Unicode code point; 0, or one the text font lacks, gives no text
};

// One dot struck on the page, as the ink look draws it.
struct Strike {
  uint16_t x;     // page pixels from the left edge to the dot's left pixel, 0 .. 959
  uint16_t y;     // page pixels from the top edge to the dot's top pixel, below the page height
  uint8_t pin;    // the pin that struck it, 0 (top) .. 6
  float shade;    // the pin's gray when it struck: 0.0 black (fresh) .. 1.0 white (worn out)
};

// One pixel of a debug mark on the page, as the ink look draws it on top of the ink.
struct MarkPixel {
  uint16_t x;     // page pixels from the left edge, 0 .. 959
  uint16_t y;     // page pixels from the top edge, below the page height
  uint8_t blue;   // 1 for the blue cell line, 0 for the green column tick
};

// An ejected page and what it goes out as.
struct PageJob {
  unsigned number = 0;          // page number in the run, from 1
  std::string pngName;          // its page file; empty when no PNG pages are written
  std::vector<TextCell> cells;  // its character cells, in the order they were printed
  std::vector<unsigned> rows;   // the head rows of its lines, top to bottom
  PageRaster raster;            // its pixels
  std::vector<Strike> strikes;  // its dots as struck, in order; kept for the ink look only
  std::vector<MarkPixel> marks; // its debug mark pixels, in order; kept for the ink look only
  unsigned sheetRows = 0;       // on endless paper: the rows of the page that stay on the sheet,
                                //   where the job's sheet is cut; 0 for all of them
};
