// The look of a run's pages as they go out: the exact dot image as painted (the
// default), or the page on a sheet of fanfold paper (-paper), or drawn in round ink
// dots at square pixels of its own resolution (-look ink), or both. The look is
// rendered from the painted page, its strikes and its marks, on whichever thread
// encodes the page.
#pragma once

#include "base/page_raster.h"
#include "base/run_settings.h"
#include "output/ink_dots.h"
#include "output/paper_sheet.h"

struct PageLook {
  bool changesPages = false;                // pages go out in a look of their own; else as painted
  LookStyle look = LookStyle::Dots;         // squares as painted, or ink dots
  PaperStyle paper = PaperStyle::None;      // the sheet they are on
  RibbonColour ribbon = RibbonColour::Black;  // the ink's colour, for ink dots
  PageGeometry geometry{};                  // the printer's painted page
  unsigned pageHeight = 0;                  // painted pixels of the run's pages, down; a page of
                                            //   another height gets a sheet of its own
  unsigned width = 0;                       // pixels of a page as it goes out, across
  unsigned height = 0;                      //   and down
  unsigned pixelsPerInchX = 0;              // its pixels an inch across, 100 .. 1200
  unsigned pixelsPerInchY = 0;              //   and down
  unsigned printLeft = 0;                   // pixels from its left edge to the print line
  PaperSheet sheet;                         // the paper the pages are on, when they change
  InkDots dots;                             // the ink dots' stamps and tables, for ink pages
};

// Sets the look of the run's pages from its settings, and prepares the paper and the
// ink dots it needs. Then only read, from any thread.
void startPageLook(PageLook &look, const RunSettings &settings);

// The ejected page in the look, look.width x height pixels: gray, or colour
// where the paper, the ribbon or debug marks have colour (ink pages in colour with a
// palette). For a run whose look changes pages only.
PageRaster renderPageLook(const PageLook &look, const PageJob &job);
