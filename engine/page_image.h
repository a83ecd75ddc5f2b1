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

// Makes a white page image of width x height pixels, 8 bits deep; an image of that
// size made before is cleared and reused.
void makePageImage(unsigned width, unsigned height);

// Paints the 2 x 2 square with top left pixel (x, y) in the gray shade (0 black,
// 1 white); pixels outside the image are skipped.
void paintDot(unsigned x, unsigned y, float shade);

// Paints one pixel of a debug mark; a pixel outside the image is skipped.
void paintMark(unsigned x, unsigned y, MarkColor color);

// Writes the page as a PNG file of exactly that name, replacing the file only once the
// new one is complete. A file that cannot be written raises FileError; an image that
// cannot be encoded, an image-library exception.
void writePageFile(const std::string &name);

// The page's pixels in the smallest kind that holds them: black and white, gray, or
// colour where debug marks were painted.
PageRaster pageRaster();

// Clears the page to white.
void clearPageImage();

// Releases the page image (after a test, or before making one of another size).
void dropPageImage();
