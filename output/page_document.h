// The PDF document of a run: one page per printed page, each showing the exact dot
// image, with the printed characters as invisible text over their cells so that the
// text can be selected, copied and searched. Nothing here prints anything; every
// failure comes back as an errno value.
#pragma once

#include <string>
#include <vector>

#include "base/page_raster.h"

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

// Begins a document for path and drops any document still open; returns 0 or an errno
// value. Pages go to a temporary file beside path; nothing appears at path itself
// before finishDocument, and without replace, nothing at all when a file is there then.
int openDocument(const std::string &path, bool replace = true);

// Adds a page of raster.width / pixelsPerInchX by raster.height / pixelsPerInchY inches
// showing the raster, with the cells' characters as invisible text over them: cells are
// in page pixels (120 x 126 an inch) from the print line's start, printLeft raster
// pixels from the left edge. Does nothing when no document is open; a failure is kept
// for finishDocument to return.
void addDocumentPage(const PageRaster &raster, const std::vector<TextCell> &cells);

// Completes the document and renames it to its path; returns 0, or the errno value of
// the first failure since openDocument, in which case the temporary file is removed
// and whatever was at path before is left alone. EINVAL when no document is open or a
// raster's bytes do not fit its size.
int finishDocument();

// Drops the document being written and its temporary file.
void abandonDocument();

// Back to no document.
void resetPageDocument();
