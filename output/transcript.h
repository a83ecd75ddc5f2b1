// The text transcript of a run: the printed characters of every page as UTF-8 lines,
// one line per printed line, pages separated by form feeds.
#pragma once

#include <string>
#include <vector>

#include "base/page_raster.h"

// Forgets the pages taken so far.
void resetTranscript();

// Takes one page: rows are the head rows the page's lines were printed on, top to
// bottom, and cells its character cells. Each row gives one line, its characters left
// to right, each at its character column (head x / 12, rounded) when the text before
// it ends there or earlier; a cell that starts where a double-width one ended follows
// it directly, so double-width words stay whole. Lines carry no trailing spaces, and
// the empty lines at the foot of a page are left out.
void addTranscriptPage(const std::vector<unsigned> &rows, const std::vector<TextCell> &cells);

// Writes the transcript to the named file, replacing it only once complete; returns
// 0 or the errno value of the step that failed.
int writeTranscript(const std::string &name);
