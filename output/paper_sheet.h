// The sheet of fanfold paper a page is printed on: 9 1/2 inches wide, with a tractor
// strip of round holes along each side, a perforation line between each strip and the
// sheet and the fold's perforation along the top and bottom edges, plain or with light
// bands every half inch. Consecutive sheets continue one another: holes and bands run
// on from the sheet before, so that pages stacked top to bottom make one strip.
//
// A sheet is painted as one of a few kinds of paper per pixel (white, band, cut, hole
// and so on, each with a colour of its own), so that a page in colour can be written
// with a palette. Without paper, the sheet is the white page itself, 8 inches wide.
// The sheet is set up once for a run and then only read, by any number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "base/page_geometry.h"
#include "base/run_settings.h"

// The fanfold paper, in inches.
constexpr double paperWidthInches = 9.5;                                   // sheet and strips
constexpr double printWidthInches = 8;  // the print line
constexpr double printLeftInches = (paperWidthInches - printWidthInches) / 2;  // the line centred

// The kinds of paper a pixel shows, each with its colour in PaperSheet::colours.
constexpr uint8_t paperWhite = 0;      // white paper; 1 .. 4 the same darkened by the grain
constexpr uint8_t paperBand = 5;       // a green or blue band; 6 .. 9 darkened by the grain
constexpr uint8_t grainLevels = 4;     // a fibre of the grain darkens paper by 1 .. 4 levels
constexpr uint8_t paperCut = 10;       // a perforation's cut
constexpr uint8_t holeEdges = 4;       // 11 .. 14: white paper a hole's rim covers 1/5 .. 4/5 of
constexpr uint8_t paperHole = 15;      // what shows through a hole
constexpr unsigned paperKinds = 16;

// What a pixel column of the sheet crosses.
enum class SheetColumn : uint8_t {
  Strip,  // a tractor strip
  Cut,    // the perforation line between a strip and the sheet
  Sheet,  // the sheet itself, where bands are
};

// A fibre of the paper's grain in a row of the grain's tile.
struct Fibre {
  uint16_t x;      // pixels from the tile's left edge, 0 .. 255
  uint8_t darker;  // levels it takes off the paper, 1 .. grainLevels
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
  uint8_t colours[paperKinds][3];               // red, green and blue of each kind of paper, 0-255
  std::vector<SheetColumn> columns;             // what each pixel column crosses; width of them
  std::vector<std::vector<Fibre>> fibres;       // the grain's fibres in each row of its tile,
                                                //   256 x 256 pixels, repeated over the sheet
  std::vector<uint8_t> baseRows[2][2];          // rows of paper kinds before holes, folds and
                                                //   grain: by [banded][cut]
};

// Sets up the sheet of every page of a run, in sheet: the paper style, pixels an inch across and
// down, the page's length in inches, and whether it shows a grain.
void startPaperSheet(PaperSheet &sheet, PaperStyle style, unsigned pixelsPerInchX, unsigned pixelsPerInchY, double pageInches,
                     bool grain);

// Paints row y of the sheet of the page with this number (from 1) into kinds: width
// bytes, the kind of paper each pixel shows.
void paintPaperRow(const PaperSheet &sheet, unsigned pageNumber, unsigned y, uint8_t *kinds);
