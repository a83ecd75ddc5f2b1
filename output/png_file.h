// PNG files of pages in a look of their own (on paper, in ink), and of every page of the
// 9-pin printer, written straight with libdeflate: at 300 pixels an inch a page has seven times the pixels of a dot page, and
// the image library's PNG coder takes over a second for one, where this takes a tenth
// of that. The file is 1-bit or 8-bit gray or 8-bit colour, records its pixels per inch, and
// holds nothing that changes from run to run; a page in colour with a palette is one
// byte a pixel. Any number of threads may write at once.
#pragma once

#include <string>

#include "base/page_raster.h"

// The raster, of any kind, as the bytes of a PNG file. A raster whose bytes or palette
// do not fit its size raises std::invalid_argument; a failure to compress
// std::runtime_error.
std::string encodeLookPng(const PageRaster &raster);
