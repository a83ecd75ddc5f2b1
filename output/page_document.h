// The PDF document of a run: one page per printed page, each showing the exact dot
// image, with the printed characters as invisible text over their cells so that the
// text can be selected, copied and searched. Nothing here prints anything; every
// failure comes back as an errno value.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/file_access.h"
#include "base/page_raster.h"

// The PDF library's records, which only page_document.cpp opens.
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_font_face cairo_font_face_t;
typedef struct _cairo_scaled_font cairo_scaled_font_t;

// The font of the invisible text. Its glyphs are never seen, but every character given
// as text must have one, or the text extracted from the page would be wrong; being
// monospaced, one horizontal scale makes every glyph span its cell.
constexpr const char *textFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// The font of the characters the text font lacks: the symbols for legacy computing,
// which some glyphs give in text. Without it those characters are left out of the
// PDF's text (the transcript still has them); the document is written all the same.
constexpr const char *symbolFontFile = "/usr/share/fonts/opentype/unifont/unifont_upper.otf";

// The most pixels a page's image may have each way: the PDF library's limit.
constexpr unsigned largestDocumentImage = 32767;

// The tallest page PDF viewers show, in inches: a PDF page is at most 14,400 points each way.
constexpr unsigned tallestDocumentPageInches = 200;

// The fonts of the invisible text, in the order they are asked for a character.
constexpr unsigned textFont = 0;    // textFontFile: everything it has
constexpr unsigned symbolFont = 1;  // symbolFontFile: what the text font lacks
constexpr unsigned fontCount = 2;

// One font of the invisible text, measured at a size of 1 (em).
struct TextFont {
  cairo_font_face_t *face = nullptr;      // null when its file could not be read
  cairo_scaled_font_t *unit = nullptr;    // the face at size 1, for finding glyphs
  double advance = 0;                     // the advance of its cell-width character
  double ascent = 0;                      // above the baseline
  double descent = 0;                     // below the baseline
};

// Where a character's glyph is: which font, and its index there.
struct FontGlyph {
  unsigned font = textFont;   // textFont or symbolFont
  unsigned long index = 0;    // 0: no font has the character
};

// The PDF document being written: one of a run's output.
struct Document {
  cairo_surface_t *pdf = nullptr;       // the PDF surface, null when no document is open
  TextFont fonts[fontCount];            // the text font, then the symbol font
  std::map<char32_t, FontGlyph> glyphs; // the glyph of each character met
  TemporaryFile temporary;              // the file the PDF streams into, until complete
  FILE *file = nullptr;                 // a stream writing to it
  std::string path;                     // where the finished document goes
  bool replace = true;                  // it may replace a file of that name
  int error = 0;                        // errno value of the first failure, 0 while none
};

// Begins a document for path in document and drops any document still open there; returns 0 or an errno
// value. Pages go to a temporary file beside path; nothing appears at path itself
// before finishDocument, and without replace, nothing at all when a file is there then.
int openDocument(Document &document, const std::string &path, bool replace = true);

// Adds a page of raster.width / pixelsPerInchX by raster.height / pixelsPerInchY inches
// showing the raster, with the cells' characters as invisible text over them: cells are
// in painted page pixels (cellsPerInchX across and cellsPerInchY down an inch: 120 x 126
// for the MPS801) from the print line's start, printLeft raster
// pixels from the left edge. Does nothing when no document is open; a failure is kept
// for finishDocument to return.
void addDocumentPage(Document &document, const PageRaster &raster, const std::vector<TextCell> &cells,
                     unsigned cellsPerInchX = pixelsPerInchAcross, unsigned cellsPerInchY = pixelsPerInchDown);

// Completes the document and renames it to its path; returns 0, or the errno value of
// the first failure since openDocument, in which case the temporary file is removed
// and whatever was at path before is left alone. EINVAL when no document is open or a
// raster's bytes do not fit its size.
int finishDocument(Document &document);

// Drops the document being written and its temporary file.
void abandonDocument(Document &document);
