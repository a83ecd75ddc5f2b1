// The printer's page geometry, in pixels of the page image, and the events the
// mechanism and the page output tell the console about.
#pragma once

#include <string>

constexpr unsigned dotSize = 2;        // pixels per dot, both ways; also the column and pin pitch
constexpr unsigned pinCount = 7;       // pins of the head, 0 at the top
constexpr unsigned columnHeight = 14;  // pixels covered by a full column
constexpr unsigned cellWidth = 12;     // pixels of one character cell, 6 columns
constexpr unsigned pixelsPerInchAcross = 120;  // 60 dot columns an inch, 2 pixels each
constexpr unsigned pixelsPerInchDown = 126;    // 9 x 7 dots per inch, 2 pixels each
constexpr unsigned minPageHeight = 21;         // one text line; shorter pages could never eject
constexpr unsigned maxPageHeight = 12600;      // 100 inches
constexpr unsigned defaultPageHeight = 1512;   // 12 inches

constexpr unsigned pageWidth = 960;                    // 480 columns, 80 cells
constexpr unsigned textLineSpacing = 21;               // the text line pitch, 1/6 inch
constexpr unsigned graphicLineSpacing = columnHeight;  // the bit-image pitch, one column
constexpr unsigned leftMargin = 0;                     // x to which a new line returns the head
constexpr unsigned topMargin = 0;                      // y at which every page starts

constexpr unsigned maxPins = 9;  // pins of the tallest head of any model

// One model's page and head, as the output side sees them: the painted page's pixels,
// the pins that strike, and the dot they leave.
struct PageGeometry {
  unsigned width;              // pixels across the painted page, the 8-inch print line
  unsigned pixelsPerInchX;     // painted page pixels an inch across
  unsigned pixelsPerInchY;     //   and down
  unsigned pins;               // pins of the head, up to maxPins
  unsigned dotPixels;          // pixels across a painted dot, whose top left pixel a strike names
  double dotMm;                // a struck dot's diameter, for the ink look
  unsigned cellWidth;          // pixels of one character at the power-on pitch, for the transcript's columns
  unsigned minPageHeight;      // pixels: the shortest page -height may ask for
  unsigned maxPageHeight;      //   and the tallest, 100 inches
  unsigned defaultPageHeight;  // pixels of a page at power-on
  const char *ribbonStore;     // the file the ribbon's strike counts are kept in
};

// What the print engine and the page output tell the console about; only the program
// entry decides what is printed of it.
enum class EngineEvent {
  Autofeed,     // a column past the right edge starts a new line; value is headX
  WritingPage,  // a page file is about to be written; name is its file name
  PageWritten,  // the page file is complete; name is its file name
  PageAdded,    // the page went into the PDF document; value is its number, name the document's
};

struct EngineEventHandler {
  void *context = nullptr;  // handed back with each event
  void (*tell)(void *context, EngineEvent event, unsigned value, const std::string &name) = nullptr;
};
