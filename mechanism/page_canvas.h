// The page being painted, as 8-bit levels: one byte a pixel, gray, until a debug mark
// brings colour and makes it three. A finished page is taken out whole as a raster
// for the encoders and the PDF document, and painting goes on on a white page.
#pragma once

#include "base/page_geometry.h"
#include "base/page_raster.h"

// Colours of the debug marks.
enum class MarkColor { Green, Blue };

// Back to no page. The page being painted is whitened where it was inked and kept as
// the first page of a later run of its size, and the spare page bytes are kept too:
// they hold nothing of a run, since every page taken from them is filled anew, and a
// run that finds them needs no fresh page-sized memory, which is slow to fault in
// (under AddressSanitizer, several times the cost of a short run).
void resetPageCanvas();

// Starts painting on a white page of width x height pixels, in colour from the start
// when the run paints debug marks; a page being painted is dropped.
void startPage(unsigned width, unsigned height, bool colour);

// Paints the 2 x 2 square with top left pixel (x, y) in the gray shade (0 black,
// 1 white) as a whole 8-bit level, the shade's level rounded down; pixels outside the
// page are skipped.
void paintDot(unsigned x, unsigned y, float shade);

// Paints the 2 x 2 squares of one column of the head, as paintDot would one by one:
// pin p's, when bit p of pins is set, with its top left pixel at (x, y + dotSize * p),
// in shades[p].
void paintColumn(unsigned x, unsigned y, uint8_t pins, const float (&shades)[pinCount]);

// Paints one pixel of a debug mark; a pixel outside the page is skipped.
void paintMark(unsigned x, unsigned y, MarkColor color);

// Paints length pixels of a debug mark from (x, y), down or across, as paintMark would
// one by one.
void paintMarkLine(unsigned x, unsigned y, unsigned length, bool down, MarkColor color);

// The painted page in the smallest kind that holds it: black and white, gray, or
// colour where debug marks are still seen. Painting goes on on a white page.
PageRaster takePage();

// Takes back the bytes of a page taken before, once nothing needs them any more, to
// paint later pages on.
void recyclePage(PageRaster &&raster);
