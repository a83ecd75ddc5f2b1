// Round ink dots, as a pin strikes them through a fabric ribbon: each dot lays an
// amount of ink on the paper, darkest at its centre with a soft edge, a little more or
// less from dot to dot. Amounts add up where dots overlap, as a second strike adds
// ink; what the paper shows through them darkens with the amount, down to black (or
// the ribbon's colour laid twice over, and so on), never past it.
//
// A dot is stamped from one of a set of stamps prepared once for the run: one for each
// step of ink (about 1/48 of a strike) and quarter-pixel place of its centre. Painting a
// dot adds its stamp's bytes to the page's amounts: no per-dot call into any library. A page
// in gray shows the paper through every amount of ink; a page in colour is written with
// a palette of every kind of paper under inkLevels steps of ink, and the two colours of
// the debug marks. Set up once for a run, then only read, by any number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "base/page_raster.h"
#include "base/run_settings.h"
#include "output/paper_sheet.h"

constexpr unsigned inkPerStrike = 64;    // amount units of a full strike at a dot's centre
constexpr unsigned mostInk = 255;        // the largest amount a pixel holds: about four strikes
constexpr unsigned inkLevels = 15;       // steps of ink in a palette, from none to the darkest
constexpr uint8_t greenMarkEntry = paperKinds * inkLevels;  // palette entries of the debug marks
constexpr uint8_t blueMarkEntry = greenMarkEntry + 1;
constexpr unsigned paletteEntries = blueMarkEntry + 1;

struct InkDots {
  double pixelsPerInch = defaultInkDpi;  // square pixels an inch, 100 .. 1200
  double perPagePixelX = 1;              // ink pixels a painted page pixel spans across
  double perPagePixelY = 1;              //   and down
  double dotCentre = 1;                  // page pixels from a strike's named pixel to its dot's centre
  unsigned stampSize = 0;                // pixels across (and down) a stamp
  unsigned stampHalf = 0;                // pixels from a stamp's corner to its centre pixel
  std::vector<uint16_t> stamps;          // coverage 0 .. 4096 of every stamp pixel, stamp after
                                         //   stamp, by the quarter pixel of the centre, down then across
  std::vector<uint8_t> stampSpans;       // each stamp row's first inked pixel and the one past its
                                         //   last, 0 .. stampSize, in the stamps' order
  std::vector<uint8_t> inkStamps;        // amounts of ink of the stamps, by step of ink, then as
                                         //   stamps
  uint16_t seen[3][mostInk + 1];         // what the paper shows through each amount of ink, by
                                         //   red, green and blue: 0 (none) .. 256 (all of it)
  uint8_t grays[paperKinds][mostInk + 1];  // the gray each kind of paper shows through each amount
  uint8_t levelOf[mostInk + 1];          // the palette's step of each amount of ink, 0 (none) .. 14
  uint8_t entries[paperKinds][mostInk + 1];  // the palette entry of each kind of paper under each amount
  std::vector<uint8_t> palette;          // red, green, blue of each entry: paper kind k under ink
                                         //   step s at k * inkLevels + s, then the marks
};

// Sets up the dots of a run, in dots: the model's page and dot, pixels an inch, the
// ribbon's colour, and the colours of the kinds of paper.
void startInkDots(InkDots &dots, const PageGeometry &geometry, unsigned pixelsPerInch, RibbonColour colour,
                  const uint8_t (&paperColours)[paperKinds][3]);

// Adds the ink of the page's strikes to amounts, one byte a pixel (inkPerStrike for a
// full strike), width x height pixels; the print line starts printLeft pixels from
// the left edge. The dots' variation follows from the page number, their places and pins.
void addStrikeInk(const InkDots &dots, const std::vector<Strike> &strikes, unsigned pageNumber, unsigned printLeft, uint8_t *amounts,
                  unsigned width, unsigned height);

// The paper (kinds, one a pixel) seen through the ink amounts, width pixels, into out:
// as gray levels (paper in shades of gray only) or as palette entries, by kind.
void inkOverPaper(const InkDots &dots, const uint8_t *amounts, const uint8_t *kinds, unsigned width, uint8_t *out, PixelKind kind);
