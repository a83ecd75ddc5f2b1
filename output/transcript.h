// The text transcript of a run: the printed characters of every page as UTF-8 lines,
// one line per printed line, pages separated by form feeds.
#pragma once

#include <string>
#include <vector>

#include "base/file_access.h"
#include "base/page_raster.h"

// The transcript being written: one of a run's output.
struct Transcript {
  bool open = false;        // openTranscript succeeded, and no finish or abandon since
  TemporaryFile temporary;  // the file the pages go to, until complete
  std::string name;         // where the finished transcript goes
  bool replace = true;      // it may replace a file of that name
  std::string buffer;       // bytes taken and not yet written out; up to 64 KiB and a page
  unsigned pagesTaken = 0;  // pages taken so far
  int error = 0;            // errno value of the first failure, 0 while none
  unsigned columnWidth = cellWidth;       // pixels of a character column: the power-on pitch
  std::vector<const TextCell *> ordered;  // the page's cells in reading order
  std::vector<const TextCell *> line;     // the cells of one of its rows
};

// Begins the transcript of the named file in transcript, dropping any still open: its pages go to a
// temporary file beside it as they are taken, and nothing appears under the name
// before finishTranscript; without replace, nothing at all when a file is there then.
// Returns 0 or the errno value of the failure.
int openTranscript(Transcript &transcript, const std::string &name, bool replace = true);

// Takes one page: rows are the head rows the page's lines were printed on, top to
// bottom, and cells its character cells. Each row gives one line, its characters left
// to right, each at its character column (head x / columnWidth, rounded) when the text before
// it ends there or earlier; a cell that starts where a double-width one ended follows
// it directly, so double-width words stay whole. Lines carry no trailing spaces, and
// the empty lines at the foot of a page are left out. The page is written out as it
// comes, a buffer at a time, so that a long run keeps no more of it than a short one.
// Does nothing when no transcript is open; a failure is kept for finishTranscript.
void addTranscriptPage(Transcript &transcript, const std::vector<unsigned> &rows, const std::vector<TextCell> &cells);

// Completes the transcript and puts it in place under its name, replacing what was
// there only now; returns 0, or the errno value of the first failure since
// openTranscript, and then the temporary file is removed and the name left alone.
// EINVAL when no transcript is open.
int finishTranscript(Transcript &transcript);

// Drops the transcript being written and its temporary file: for a run that failed or
// printed nothing.
void abandonTranscript(Transcript &transcript);
