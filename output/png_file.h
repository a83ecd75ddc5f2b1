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

// A PNG file written piece by piece into an open file while its height is not known
// yet: the rows of a continuous sheet, each form of it compressed on its own as a piece
// (on any thread), and the pieces written out in order as IDAT chunks, so that the
// file holds at most a chunk of them in memory. The pieces' compressed data simply
// follow one another: each ends on a byte, none ends the data, and each piece's first
// row is filtered without the row above, so that no piece needs the one before. The
// header's height is filled in when the file is finished, which is why the file must be
// one that can be written at any place (not a pipe). PNG libraries want the height
// before the first row, and end the compressed data only at the row the header names.
struct PngStream {
  PageRaster format;    // width, kind, pixels per inch and palette of every row; no bytes
  int fd = -1;          // the file written, at its start when the stream starts
  uint64_t rows = 0;    // rows added so far
  uint32_t adler = 1;   // the checksum of every filtered byte so far
  std::string chunk;    // compressed bytes not yet written as an IDAT chunk
};

// Rows of a sheet compressed as one piece of its PNG file.
struct PngPieceDeflater;  // zlib's stream, kept out of the header
struct PngPiece {
  PageRaster format;               // width and kind of its rows; no bytes
  unsigned rows = 0;               // rows added so far
  uint64_t filteredBytes = 0;      // their bytes as filtered, filter bytes included
  uint32_t adler = 1;              // the checksum of those bytes
  std::string deflated;            // the compressed bytes
  std::vector<uint8_t> above;      // the last row added, as its filter reads it
  std::vector<uint8_t> filtered;   // a row filtered, its filter byte first
  std::shared_ptr<PngPieceDeflater> deflater;  // until the piece is finished
};

// The most rows a PNG file may have.
constexpr uint64_t mostPngRows = 0x7FFFFFFF;

// Begins a piece of rows like format's (its bytes are not read).
void startPngPiece(PngPiece &piece, const PageRaster &format);

// Adds count rows, in the piece's kind and width, top to bottom. A failure to compress
// raises std::runtime_error.
void addPngPieceRows(PngPiece &piece, const uint8_t *rows, unsigned count);

// Ends the piece's compressed data on a byte, and lets its compressor go.
void finishPngPiece(PngPiece &piece);

// Starts a PNG file of rows like format's (its bytes are not read) in the open file fd:
// writes the signature and the chunks before the image data. Returns 0, or the errno
// value of a write that failed. A format no PNG can have raises std::invalid_argument.
int startPngStream(PngStream &stream, const PageRaster &format, int fd);

// Adds a finished piece's rows, of the stream's kind and width, below those before.
// Returns 0, or the errno value of a write that failed; more rows than a PNG may have
// raise std::length_error, a piece of other rows std::invalid_argument.
int addPngPiece(PngStream &stream, const PngPiece &piece);

// Ends the image data, writes the end chunk and puts the height into the header.
// Returns 0, or the errno value of a write that failed. A stream without a row raises
// std::invalid_argument: a PNG file has one at least.
int finishPngStream(PngStream &stream);
