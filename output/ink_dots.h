// Round ink dots, as a pin strikes them through a fabric ribbon: each dot lays an
// amount of ink on the paper, darkest at its centre with a soft edge, a little more or
// less from dot to dot. Amounts add up where dots overlap, as a second strike adds
// ink; what the paper shows through them darkens with the amount, down to black (or
// the ribbon's colour laid twice over, and so on), never past it.
//
// A dot is stamped from one of a few precomputed stamps (one per quarter-pixel place of
// its centre), scaled by the dot's darkness: no per-dot call into any library. Set up
// once for a run, then only read, by any number of threads at once.
#pragma once

#include <cstdint>
#include <vector>

#include "base/page_raster.h"
#include "base/run_settings.h"

constexpr double dotDiameterMm = 0.4;    // a struck dot, where a fresh ribbon's ink is half dark
constexpr unsigned inkPerStrike = 64;    // amount units of a full strike at a dot's centre
constexpr unsigned mostInk = 255;        // the largest amount a pixel holds: about four strikes

struct InkDots {
  double pixelsPerInch = defaultInkDpi;  // square pixels an inch, 100 .. 1200
  unsigned stampSize = 0;                // pixels across (and down) a stamp
  unsigned stampHalf = 0;                // pixels from a stamp's corner to its centre pixel
  std::vector<uint16_t> stamps;          // coverage 0 .. 4096 of every stamp pixel, stamp after
                                         //   stamp, by the quarter pixel of the centre, down then across
  uint16_t seen[3][mostInk + 1];         // what the paper shows through each amount of ink, by
                                         //   red, green and blue: 0 (none) .. 256 (all of it)
};

extern const InkDots &inkDots;

// Sets up the dots of a run: pixels an inch, and the ribbon's colour.
void startInkDots(unsigned pixelsPerInch, RibbonColour colour);

// Adds the ink of the page's strikes to amounts, one byte a pixel (inkPerStrike for a
// full strike), width x height pixels; the print line starts printLeft pixels from
// the left edge. The dots' variation follows from the page number, their places and pins.
void addStrikeInk(const std::vector<Strike> &strikes, unsigned pageNumber, unsigned printLeft, uint8_t *amounts,
                  unsigned width, unsigned height);

// The paper (rgb, three bytes a pixel) seen through the ink amounts, width pixels, into
// out: three bytes a pixel, or one (the red channel) when rgbOut is false.
void inkOverPaper(const uint8_t *amounts, const uint8_t *rgb, unsigned width, uint8_t *out, bool rgbOut);
