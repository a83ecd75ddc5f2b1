#include "mechanism/print_head.h"

#include <bit>
#include <cmath>
#include <cstdio>

#include "mechanism/page_canvas.h"

namespace {

PageSetup setup;            // page height and prefix of the run, and the line pitch in force
HeadPosition position;      // where the next column prints
PageImage sheet;            // whether the page holds ink, and how many pages were written
RibbonState ribbonState;    // strike counts, pin shades and half-life
uint16_t modes;             // printer modes: DoubleWidth, BitImage, Reverse, Business, Quote
RunSettings settings;       // the run's settings
EngineEventHandler report;  // where events go; null: nowhere
PageHandler pageOut;        // where ejected pages go; null: nowhere
bool keepText;              // cells and rows are noted: a PDF or a transcript is written
bool keepStrikes;           // strikes and marks are noted: the ink look draws from them

// Paints a line of debug mark pixels from (x, y), down or across, and notes them for
// the ink look.
void markLine(unsigned x, unsigned y, unsigned length, bool down, MarkColor color) {
  paintMarkLine(x, y, length, down, color);
  if (!keepStrikes) return;
  for (unsigned i = 0; i < length; ++i) {
    unsigned px = down ? x : x + i, py = down ? y + i : y;
    if (px < pageWidth && py < setup.pageHeight)
      sheet.marks.push_back(MarkPixel{uint16_t(px), uint16_t(py), uint8_t(color == MarkColor::Blue)});
  }
}

// Notes a strike of the pin on the page for the ink look.
void noteStrike(unsigned x, unsigned y, unsigned pin) {
  if (x < pageWidth && y < setup.pageHeight)
    sheet.strikes.push_back(Strike{uint16_t(x), uint16_t(y), uint8_t(pin), ribbonState.pinShades[pin]});
}

}  // namespace

std::string pageFileName(const std::string &prefix, unsigned number) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%03u.png", number);
  return prefix + suffix;
}

const PageSetup &pageSetup = setup;
const HeadPosition &head = position;
const PageImage &page = sheet;
const RibbonState &ribbon = ribbonState;
const uint16_t &modeWord = modes;
const RunSettings &runSettings = settings;

void resetPrintHead(const RunSettings &given, EngineEventHandler events, PageHandler pages) {
  settings = given;
  report = events;
  pageOut = pages;
  setup = PageSetup{given.pageHeight, textLineSpacing, given.outputPrefix};
  position = HeadPosition{leftMargin, topMargin};
  keepText = !given.pdfName.empty() || !given.textName.empty();
  keepStrikes = given.look == LookStyle::Ink;
  sheet = PageImage{false, 0, {}, {}, {}, {}};
  ribbonState = RibbonState{};
  ribbonState.halfLife = given.halfLife;
  modes = 0;
}

void createPage() { startPage(pageWidth, settings.pageHeight, (settings.debugLevel & DebugMarks) != 0); }

void strikeDot(unsigned x, unsigned y, unsigned pin) {
  sheet.pageDirty = true;
  paintDot(x, y, ribbonState.pinShades[pin]);
  if (keepStrikes) noteStrike(x, y, pin);
  // The counter wraps as a 32-bit value; it is read back as unsigned anyway.
  ribbonState.strikeCounts[pin] = int32_t(uint32_t(ribbonState.strikeCounts[pin]) + 1u);
}

void advanceHead() { position.headX += dotSize; }

void moveHead(unsigned x) { position.headX = x; }

void printColumn(uint8_t bits) {
  if (position.headX >= pageWidth) {
    if (report != nullptr) report(EngineEvent::Autofeed, position.headX, std::string());
    newLine();
  }
  if ((settings.debugLevel & DebugMarks) && position.headX % cellWidth == 0)
    markLine(position.headX, position.headY, columnHeight, true, MarkColor::Green);
  if (modes & Reverse) bits ^= 0x7F;
  // The column's dots are struck together: one call paints them all.
  uint8_t pins = bits & uint8_t((1u << pinCount) - 1);
  if (pins != 0) {
    sheet.pageDirty = true;
    paintColumn(position.headX, position.headY, pins, ribbonState.pinShades);
    for (unsigned left = pins; left != 0; left &= left - 1) {  // the pins fired, top down
      unsigned pin = unsigned(std::countr_zero(left));
      if (keepStrikes) noteStrike(position.headX, position.headY + dotSize * pin, pin);
      // The counter wraps as a 32-bit value; it is read back as unsigned anyway.
      ribbonState.strikeCounts[pin] = int32_t(uint32_t(ribbonState.strikeCounts[pin]) + 1u);
    }
  }
  advanceHead();
}

void noteCharacterCell(unsigned width, char32_t text) {
  if (keepText) sheet.cells.push_back(TextCell{position.headX - dotSize, position.headY, width, columnHeight, text});
}

void lineFeed() {
  position.headY += setup.lineSpacing;
  if (position.headY > setup.pageHeight - setup.lineSpacing)
    ejectPage();
  else if (keepText)
    sheet.rows.push_back(position.headY);
  updatePinShades();
}

void newLine() {
  position.headX = leftMargin;
  lineFeed();
}

void setLineSpacing(unsigned pixels) { setup.lineSpacing = pixels; }

void setModes(uint16_t bits) { modes |= bits; }

void clearModes(uint16_t bits) { modes &= uint16_t(~bits); }

void toggleModes(uint16_t bits) { modes ^= bits; }

void ejectPage() {
  if (sheet.pageDirty) {
    ++sheet.pageCount;
    size_t cellCount = sheet.cells.size(), rowCount = sheet.rows.size();
    PageJob job{sheet.pageCount, std::string(), std::move(sheet.cells), std::move(sheet.rows), takePage(),
                std::move(sheet.strikes), std::move(sheet.marks)};
    sheet.strikes.clear();
    sheet.marks.clear();
    // The next page most likely holds as much: room for it now, not grown cell by cell.
    if (keepText) {
      sheet.cells.reserve(cellCount);
      sheet.rows.reserve(rowCount);
    }
    if (settings.pageFiles) {
      job.pngName = pageFileName(setup.outputPrefix, sheet.pageCount);
      if (report != nullptr) report(EngineEvent::WritingPage, sheet.pageCount, job.pngName);
    }
    if (pageOut != nullptr)
      pageOut(std::move(job));
    else
      recyclePage(std::move(job.raster));
    sheet.pageDirty = false;
  }
  // What was printed on a page that is not written (spaces only) goes with it.
  sheet.cells.clear();
  sheet.rows.clear();
  if (keepText) sheet.rows.push_back(topMargin);
  position.headY = topMargin;
}

void setStrikeCounts(const int32_t (&counts)[pinCount]) {
  for (unsigned pin = 0; pin < pinCount; ++pin) ribbonState.strikeCounts[pin] = counts[pin];
  updatePinShades();
}

void updatePinShades() {
  if (ribbonState.halfLife == 0) return;
  for (unsigned pin = 0; pin < pinCount; ++pin) {
    float r = float(double(uint32_t(ribbonState.strikeCounts[pin])) / double(ribbonState.halfLife));
    ribbonState.pinShades[pin] = float(1.0 - std::pow(0.5, double(r)));
  }
}

void markCharacterCell() {
  markLine(position.headX, position.headY, cellWidth, false, MarkColor::Blue);
}
