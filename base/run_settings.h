// The settings of one run: filled from the command line, handed to the print engine
// and the interpreter when the run starts, and not changed afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "base/page_geometry.h"

// How the interpreter reads control codes.
enum class StreamKind {
  TextFile,  // printer output files written in text mode, the default
  Raw,       // the bytes as a program sent them, read as the printer's manual documents
  PlainText, // plain text (ASCII or UTF-8), printed as its letters look
};

// The paper a page is printed on.
enum class PaperStyle {
  None,      // the page alone, 8 inches wide: the exact dot image
  Plain,     // a sheet of 9 1/2-inch fanfold paper with its tractor strips
  GreenBar,  // the same, with light green bands every half inch
  BlueBar,   // the same, with light blue bands
};

// How the dots are drawn.
enum class LookStyle {
  Dots,  // 2 x 2-pixel squares at 120 x 126 pixels an inch
  Ink,   // round, soft ink dots at inkDpi square pixels an inch
};

// The printer emulated.
enum class PrinterModel {
  Mps801,  // the 7-pin MPS801
  Escp,    // a 9-pin ESC/P printer
};

// The page and head of the model.
inline const PageGeometry &pageGeometryOf(PrinterModel model) {
  static const PageGeometry mps801{pageWidth, pixelsPerInchAcross, pixelsPerInchDown, pinCount, dotSize, 0.4, cellWidth,
                                   minPageHeight, maxPageHeight, defaultPageHeight, "ribbon.dat"};
  // 240 square pixels an inch: the coarsest grid at least that fine on which every
  // dot lies within half a pixel of its place, at twice an MPS801 page's pixels.
  static const PageGeometry escp{1920, 240, 240, 9, 4, 0.36, 24, 40, 24000, 2640, "ribbon-escp.dat"};
  return model == PrinterModel::Escp ? escp : mps801;
}

// The colour of a fabric ribbon's ink.
enum class RibbonColour { Black, Blue, Purple };

constexpr unsigned defaultInkDpi = 300;  // pixels per inch of an ink page unless -dpi says
constexpr unsigned minInkDpi = 100;
constexpr unsigned maxInkDpi = 1200;

// Bits of the debug level.
constexpr uint16_t DebugTrace = 1;  // console trace messages
constexpr uint16_t DebugMarks = 2;  // green column ticks and blue cell lines on the page

struct RunSettings {
  PrinterModel model = PrinterModel::Mps801;  // the printer emulated
  unsigned pageHeight = defaultPageHeight;  // pixels of every page, 21 .. 12600
  std::string outputPrefix;                 // page files are "<prefix>-NNN.png"; set before the first page
  uint32_t halfLife = 0;                    // strikes that halve a pin's darkness; 0 = no wear shown
  uint16_t debugLevel = 0;                  // -debug value, low 16 bits: DebugTrace, DebugMarks
  bool businessDefault = false;             // business set restored at every carriage return
  StreamKind streamKind = StreamKind::TextFile;
  bool pageFiles = true;                    // pages are written as PNG files
  bool replaceFiles = true;                 // a finished file may replace one of its name
  std::string pdfName;                      // the PDF document of every page; empty = none
  std::string textName;                     // the UTF-8 transcript; empty = none
  std::string explainName;                  // the listing of the stream; "-" standard output; empty = none
  bool listingWhenEmpty = true;             // a run that printed nothing still writes its listing
  unsigned threads = 0;                     // page encoders, 1 .. 64; 0 = one per core
  PaperStyle paper = PaperStyle::None;      // the paper pages are printed on
  LookStyle look = LookStyle::Dots;         // how the dots are drawn
  unsigned inkDpi = defaultInkDpi;          // pixels per inch of ink pages, 100 .. 1200; ink only
  RibbonColour ribbonColour = RibbonColour::Black;  // the ink's colour; ink only
  bool endless = false;                     // each job goes on one continuous sheet, not cut pages
};
