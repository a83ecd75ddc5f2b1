// PNG files of pages in a look of their own (on paper, in ink), and of every page of the
// 9-pin printer, written straight with libdeflate: at 300 pixels an inch a page has seven times the pixels of a dot page, and
// the image library's PNG coder takes over a second for one, where this takes a tenth
// of that. The file is 1-bit or 8-bit gray or 8-bit colour, records its pixels per inch, and
// holds nothing that changes from run to run; a page in colour with a palette is one
// byte a pixel. Any number of threads may write at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/page_raster.h"

// The raster, of any kind, as the bytes of a PNG file. A raster whose bytes or palette
// do not fit its size raises std::invalid_argument; a failure to compress
// std::runtime_error.
std::string encodeLookPng(const PageRaster &raster);

// A PNG file written row by row into an open file while its height is not known yet:
// the rows of a continuous sheet, compressed as they come by zlib's streaming deflate
// and written out in IDAT chunks, so that the file holds at most a chunk and a row
// of them in memory. The header's height is filled in when the file is finished,
// which is why the file must be one that can be written at any place (not a pipe).
// PNG libraries want the height before the first row, and end the compressed data
// only at the row the header names.
struct PngStreamDeflater;  // zlib's stream, kept out of the header
struct PngStream {
  PageRaster format;              // width, kind, pixels per inch and palette of every row; no bytes
  int fd = -1;                    // the file written, at its start when the stream starts
  uint64_t rows = 0;              // rows added so far
  std::vector<uint8_t> above;     // the last row added, as its filter reads it
  std::vector<uint8_t> filtered;  // a row filtered, its filter byte first
  std::string chunk;              // compressed bytes not yet written as an IDAT chunk
  std::shared_ptr<PngStreamDeflater> deflater;
};

// The most rows a PNG file may have.
constexpr uint64_t mostPngRows = 0x7FFFFFFF;

// Starts a PNG file of rows like format's (its bytes are not read) in the open file fd:
// writes the signature and the chunks before the image data. Returns 0, or the errno
// value of a write that failed. A format no PNG can have raises std::invalid_argument.
int startPngStream(PngStream &stream, const PageRaster &format, int fd);

// Adds count rows, in the stream's kind and width, top to bottom. Returns 0, or the
// errno value of a write that failed; more rows than a PNG may have raise
// std::length_error.
int addPngRows(PngStream &stream, const uint8_t *rows, unsigned count);

// Ends the image data, writes the end chunk and puts the height into the header.
// Returns 0, or the errno value of a write that failed. A stream without a row raises
// std::invalid_argument: a PNG file has one at least.
int finishPngStream(PngStream &stream);
