// The PDF document of a run: one page per printed page, each showing the exact dot
// image, with the printed characters as invisible text over their cells so that the
// text can be selected, copied and searched. Nothing here prints anything; every
// failure comes back as an errno value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the bytes of a page raster hold its pixels.
enum class PixelKind {
  BlackWhite,  // 1 bit a pixel, the leftmost in a byte's top bit, 1 white and 0 black;
               // each row padded to whole bytes
  Gray,        // 1 byte a pixel, 0 black to 255 white
  Rgb,         // 3 bytes a pixel: red, green, blue, 0-255 each
};

// A page as pixels; 120 pixels an inch across and 126 down, as the PNG pages.
struct PageRaster {
  unsigned width = 0;          // pixels, 1 or more; 960 for 8 inches
  unsigned height = 0;         // pixels, 1 or more; 1512 for 12 inches
  PixelKind kind = PixelKind::Gray;
  std::vector<uint8_t> bytes;  // the rows top to bottom, each left to right, in kind's layout
};

// Bytes of one row of a raster of the kind, width pixels wide.
size_t rasterRowBytes(PixelKind kind, unsigned width);

// One printed character cell and the character it shows.
struct TextCell {
  unsigned x;       // pixels from the page's left edge to the cell's left edge
  unsigned y;       // pixels from the page's top edge to the cell's top edge
  unsigned width;   // pixels, 1 or more; 12 for a character, 24 in double width
  unsigned height;  // pixels, 1 or more; 14 for a character
  char32_t text;    // Unicode code point; 0, or one the text font lacks, gives no text
};

// The font of the invisible text. Its glyphs are never seen, but every character given
// as text must have one, or the text extracted from the page would be wrong; being
// monospaced, one horizontal scale makes every glyph span its cell.
constexpr const char *textFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// Begins a document for path and drops any document still open; returns 0 or an errno
// value. Pages go to a temporary file beside path; nothing appears at path itself
// before finishDocument.
int openDocument(const std::string &path);

// Adds a page of raster.width / 120 by raster.height / 126 inches showing the raster,
// with the cells' characters as invisible text over them. Does nothing when no
// document is open; a failure is kept for finishDocument to return.
void addDocumentPage(const PageRaster &raster, const std::vector<TextCell> &cells);

// Completes the document and renames it to its path; returns 0, or the errno value of
// the first failure since openDocument, in which case the temporary file is removed
// and whatever was at path before is left alone. EINVAL when no document is open or a
// raster's bytes do not fit its size.
int finishDocument();

// Drops the document being written and its temporary file.
void abandonDocument();
