// The image library: page rasters are encoded as PNG files here. This is the only place
// that talks to Magick++.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "base/page_raster.h"

// Initialises the image library for a program started as argv0, single-threaded.
void initImageLibrary(const char *argv0);

// The report line of an exception that ended a run: "Coder Warning: ", "Warning: " or
// "Error: " for the image library's coder warnings, other warnings and errors, then
// its text; "Error: " and the text for any other standard exception. False when it is
// not a standard exception.
bool describeException(const std::exception_ptr &error, std::string &report);

// Encodes a width x height page raster, of the kind and in the layout of a PageRaster,
// as a PNG file, 8 bits deep at most and with no time stamps, and returns the file's
// bytes. An image that cannot be encoded raises an image-library exception. Each
// thread encodes on an image of its own, so several threads may encode at once.
std::string encodeRasterPng(unsigned width, unsigned height, PixelKind kind, const uint8_t *bytes);

// Raises an image-library exception of the kind the report line names ("Coder
// Warning: ", "Warning: " or "Error: ", as describeException writes them) with the
// rest of the line as its text: describeException gives back the same line. For an
// exception that an encoder process reported.
[[noreturn]] void raiseReportedException(const std::string &report);
