// Print head, ribbon and page: the mechanism that puts dots on paper.
//
// Every dot reaches the page through printColumn, which turns one column
// byte (bit k fires pin k, pin 0 at the top, bit 7 never printed) into up to
// seven 2 x 2-pixel dots at the head. lineFeed moves the paper, hands full
// pages to the run and recomputes the ribbon shades.
//
// All of it lives in one Mechanism record that the run makes and passes to every
// function; nothing is kept anywhere else, so two printers never share a thing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/page_geometry.h"
#include "base/page_raster.h"
#include "base/run_settings.h"
#include "mechanism/character_rom.h"
#include "mechanism/page_canvas.h"

// Bits of the mode word.
constexpr uint16_t DoubleWidth = 1;  // every glyph column printed twice
constexpr uint16_t BitImage = 2;     // bytes >= 128 are dot columns
constexpr uint16_t Reverse = 4;      // columns inverted before striking
constexpr uint16_t Business = 8;     // business character set selected
constexpr uint16_t Quote = 16;       // inside a quoted string

struct PageSetup {
  unsigned pageHeight;        // pixels; from the run's settings
  unsigned lineSpacing;       // pixels; the line pitch in force, text or bit-image
  std::string outputPrefix;   // page files are "<prefix>-NNN.png"
};

struct HeadPosition {
  unsigned headX;  // pixels from the left edge; left pixel of the next dot column
  unsigned headY;  // pixels from the top edge; top pixel of pin 0
};

struct PageImage {
  bool pageDirty;                // a dot was struck since the page was last written
  unsigned pageCount;            // pages ejected with ink so far in this run, each handed over
                                 //   to be written; the last may still be on its way. On endless
                                 //   paper, the forms on the sheet, blank ones too
  std::vector<TextCell> cells;   // character cells printed on the page, with their text,
                                 //   kept while a PDF or a transcript is written
  std::vector<unsigned> rows;    // head rows the page's lines were printed on, top to bottom
  std::vector<Strike> strikes;   // dots struck on the page, kept for the ink look
  std::vector<MarkPixel> marks;  // debug mark pixels painted on the page, kept for the ink look
  unsigned blankForms = 0;       // on endless paper: blank forms fed since the last form with
                                 //   ink, handed over when another form with ink follows
  unsigned sheetRows = 0;        // on endless paper: where the sheet is cut in the form being
                                 //   ejected, once the job ends; 0 while the paper runs on
};

struct RibbonState {
  int32_t strikeCounts[maxPins];   // dots struck by each pin, this run and earlier ones
  float pinShades[maxPins];        // gray each pin prints with: 0.0 black .. 1.0 white
  uint32_t halfLife;               // strikes that halve a pin's darkness; 0 = no wear shown
};

// Where the mechanism's events and ejected pages go: to the run that made it, which
// decides what becomes of them.
struct MechanismSinks {
  void *context = nullptr;  // handed back with each call
  void (*event)(void *context, EngineEvent event, unsigned value, const std::string &name) = nullptr;
  void (*page)(void *context, PageJob &&job) = nullptr;  // null: the page is dropped, its memory kept
};

// One printer's mechanism: head, ribbon, page, character generator.
struct Mechanism {
  RunSettings settings;     // the run's settings
  PageGeometry geometry{};  // the model's page and head
  PageSetup setup{};        // page height and prefix of the run, and the line pitch in force
  HeadPosition head{};      // where the next column prints
  PageImage page{};         // whether the page holds ink, and how many pages were handed over
  RibbonState ribbon{};     // strike counts, pin shades and half-life
  uint16_t modes = 0;       // printer modes: DoubleWidth, BitImage, Reverse, Business, Quote
  uint64_t autofeeds = 0;   // lines fed because a column went past the right edge
  bool keepText = false;    // cells and rows are noted: a PDF or a transcript is written
  bool keepStrikes = false; // strikes and marks are noted: the ink look draws from them
  MechanismSinks sinks;     // where events and pages go
  PageCanvas canvas;        // the page being painted
  GlyphTables glyphs;       // the character ROM and the sets' tables
};

// Puts the mechanism in its power-on state for a run with these settings, its events
// and pages going to sinks. The canvas keeps its page memory.
void startMechanism(Mechanism &m, const RunSettings &settings, const MechanismSinks &sinks = MechanismSinks());

// The name of page file number of a run: "<prefix>-NNN.png", at least three digits.
std::string pageFileName(const std::string &prefix, unsigned number);

// Starts painting on a white page of the model's width by setup.pageHeight pixels.
void createPage(Mechanism &m);

// Strikes one dot of the given pin with its top left pixel at (x, y), counting the
// strike; pixels outside the page are not painted.
void strikeDot(Mechanism &m, unsigned x, unsigned y, unsigned pin);

// Strikes one round dot of the given pin with its top left pixel at (x, y), counting
// the strike; pixels outside the page are not painted.
void strikeRoundDot(Mechanism &m, int x, int y, unsigned pin);

// Moves the head one column to the right.
void advanceHead(Mechanism &m);

// Puts the head at pixel column x of the line; the next column autofeeds when x is
// past the right edge.
void moveHead(Mechanism &m, unsigned x);

// Prints one column byte at the head, feeding a new line first when the head is past
// the right edge, and inverting it while Reverse is set.
void printColumn(Mechanism &m, uint8_t bits);

// Notes the character cell whose first column was just printed, width pixels wide,
// and the character it shows (0 for none), for the text of the PDF and transcript.
void noteCharacterCell(Mechanism &m, unsigned width, char32_t text);

// Advances the paper by lineSpacing, ejecting the page when the next line would not fit.
void lineFeed(Mechanism &m);

// Returns the head to the left margin and feeds one line.
void newLine(Mechanism &m);

// Sets the line pitch used by the following line feeds: textLineSpacing or
// graphicLineSpacing.
void setLineSpacing(Mechanism &m, unsigned pixels);

// Sets, clears or flips the given bits of the mode word.
void setModes(Mechanism &m, uint16_t bits);
void clearModes(Mechanism &m, uint16_t bits);
void toggleModes(Mechanism &m, uint16_t bits);

// Hands the page over to be written if anything was struck on it (as the next numbered
// file, into the PDF document and into the transcript, as the settings say), and puts
// the head at the top of a white page. A page file that cannot be written raises
// FileError, once its turn to be put in place comes.
void ejectPage(Mechanism &m);

// The paper moves on to the top of the next form: the page is ejected. On endless
// paper, a blank form between forms with ink stays on the sheet, so it is counted
// and handed over once ink follows it.
void feedToNextForm(Mechanism &m);

// Ends a job on endless paper: the form being painted, when it holds ink, is handed
// over cut after row headBottom (or its lowest ink, when lower), and blank forms
// after the last with ink are dropped. Then, as ejectPage, the head is at the top of
// a white page.
void cutSheet(Mechanism &m, unsigned headBottom);

// Takes the strike counts of a ribbon that has been used before, and recomputes the
// shades from them.
void setStrikeCounts(Mechanism &m, const int32_t (&counts)[maxPins]);

// Recomputes pinShades from strikeCounts and halfLife.
void updatePinShades(Mechanism &m);

// Paints the blue 12-pixel line that marks the top of a character cell at the head.
void markCharacterCell(Mechanism &m);

// Prints one character cell at the head, in the set and width the mode word selects.
void printCharacter(Mechanism &m, uint8_t code);
