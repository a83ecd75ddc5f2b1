// The sheet of fanfold paper a page is printed on: 9 1/2 inches wide, with a tractor
// strip of round holes along each side, a perforation line between each strip and the
// sheet and the fold's perforation along the top and bottom edges, plain or with light
// bands every half inch. Consecutive sheets continue one another: holes and bands run
// on from the sheet before, so that pages stacked top to bottom make one strip.
//
// Without paper, the sheet is the white page itself, 8 inches wide. The sheet is set
// up once for a run and then only read, by any number of threads at once.
#pragma once

#include <cstdint>
#include <vector>

#include "base/page_geometry.h"
#include "base/run_settings.h"

// The fanfold paper, in inches.
constexpr double paperWidthInches = 9.5;                                   // sheet and strips
constexpr double printWidthInches = double(pageWidth) / pixelsPerInchAcross;  // the 8-inch print line
constexpr double printLeftInches = (paperWidthInches - printWidthInches) / 2;  // the line centred

// What a pixel column of the sheet crosses.
enum class SheetColumn : uint8_t {
  Strip,  // a tractor strip
  Cut,    // the perforation line between a strip and the sheet
  Sheet,  // the sheet itself, where bands are
};

struct PaperSheet {
  PaperStyle style = PaperStyle::None;
  double pixelsPerInchX = pixelsPerInchAcross;  // pixels an inch across, 100 .. 1200
  double pixelsPerInchY = pixelsPerInchDown;    // pixels an inch down, 100 .. 1200
  unsigned width = pageWidth;                   // pixels across the sheet; the page alone without paper
  unsigned height = defaultPageHeight;          // pixels down the sheet, as high as the paper
  unsigned printLeft = 0;                       // pixels from the left edge to the print line
  double pageInches = 12;                       // inches of paper a page takes
  bool grain = false;                           // the paper shows a faint grain
  std::vector<SheetColumn> columns;             // what each pixel column crosses; width of them
  std::vector<uint8_t> grainTile;               // darkening of the grain, levels 0 .. 6, by row and
                                                //   column modulo grainTileSize
};

extern const PaperSheet &paperSheet;

// Sets up the sheet of every page of a run: the paper style, pixels an inch across and
// down, the page height in page pixels (126 an inch), and whether it shows a grain.
void startPaperSheet(PaperStyle style, unsigned pixelsPerInchX, unsigned pixelsPerInchY, unsigned pageHeight,
                     bool grain);

// Paints row y of the sheet of the page with this number (from 1) into rgb: width
// pixels of red, green and blue, 0-255 each.
void paintPaperRow(unsigned pageNumber, unsigned y, uint8_t *rgb);
