// PNG files of pages in a look of their own (on paper, in ink), written straight with
// zlib: at 300 pixels an inch a page has seven times the pixels of a dot page, and the
// image library's PNG coder takes over a second for one, where this takes a small part
// of that. The file is 8-bit gray or 8-bit colour, records its pixels per inch, and
// holds nothing that changes from run to run. Any number of threads may write at once.
#pragma once

#include <string>

#include "base/page_raster.h"

// The raster, Gray or Rgb, as the bytes of a PNG file. A raster of another kind, or
// whose bytes do not fit its size, raises std::invalid_argument; zlib's failure
// std::runtime_error.
std::string encodeLookPng(const PageRaster &raster);
