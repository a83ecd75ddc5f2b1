// The page image and the image library behind it. This is the only place that
// talks to Magick++: everything else paints and saves through these functions.
#pragma once

#include <exception>
#include <string>

#include "engine/page_document.h"

// Colours of the debug marks.
enum class MarkColor { Green, Blue };

// Initialises the image library for a program started as argv0, single-threaded.
void initImageLibrary(const char *argv0);

// The report line of an exception that ended a run: "Coder Warning: ", "Warning: " or
// "Error: " for the image library's coder warnings, other warnings and errors, then
// its text; "Error: " and the text for any other standard exception. False when it is
// not a standard exception.
bool describeException(const std::exception_ptr &error, std::string &report);

// Makes count white page images of width x height pixels, 8 bits deep, and paints
// on the first: one is painted on while the others are with encoders. Images of that
// size made before are cleared and reused.
void makePageImages(unsigned width, unsigned height, unsigned count);

// Paints the 2 x 2 square with top left pixel (x, y) in the gray shade (0 black,
// 1 white); pixels outside the image are skipped.
void paintDot(unsigned x, unsigned y, float shade);

// Paints one pixel of a debug mark; a pixel outside the image is skipped.
void paintMark(unsigned x, unsigned y, MarkColor color);

// Whether an image is free to paint on besides the one painted on now.
bool freePageImageLeft();

// Hands the painted page over to be encoded and returns its image's number; painting
// goes on in a free image if there is one (else in the same image, once released).
// Until releasePage, only encodePagePng and pageRaster may touch the image.
unsigned handOverPage();

// Encodes a handed-over page as PNG and returns the file's bytes; an image that cannot
// be encoded raises an image-library exception. Pages of different images may be
// encoded on several threads at once; call pageRaster first, as the encoder may change
// the image.
std::string encodePagePng(unsigned image);

// A handed-over page's pixels as pageRaster gives them, taken out of the image in one
// pass: the image is left white, as clearHandedOverPage leaves it.
PageRaster takePageRaster(unsigned image);

// Paints the pixels of a width x height page raster, as pageRaster gave them, on a
// white image of the calling thread's own, and returns that page encoded as PNG: the
// same bytes as encodePagePng gives for the page the raster was taken from.
std::string encodeRasterPng(unsigned width, unsigned height, PixelKind kind, const uint8_t *bytes);

// Raises an image-library exception of the kind the report line names ("Coder
// Warning: ", "Warning: " or "Error: ", as describeException writes them) with the
// rest of the line as its text: describeException gives back the same line. For an
// exception that an encoder process reported.
[[noreturn]] void raiseReportedException(const std::string &report);

// A handed-over page's pixels in the smallest kind that holds them: black and white,
// gray, or colour where debug marks were painted. Safe on several threads at once.
PageRaster pageRaster(unsigned image);

// Clears a handed-over page to white, once encoded, on the encoder's thread.
void clearHandedOverPage(unsigned image);

// Takes a handed-over image back, cleared to white, and makes it free to paint on.
void releasePage(unsigned image);

// Releases every page image (after a test, or before making some of another size).
void dropPageImages();
