#include "engine/print_head.h"

#include <cmath>
#include <cstdio>

#include "engine/page_image.h"

constexpr unsigned defaultPageWidth = 960;    // 480 columns, 80 cells
constexpr unsigned defaultPageHeight = 1512;  // 12 inches
constexpr unsigned defaultTextSpacing = 21;   // 1/6 inch

PageSetup pageSetup;
HeadPosition head;
PageImage page;
RibbonState ribbon;
uint16_t modeWord;
uint16_t debugLevel;

void resetPrintHead() {
  pageSetup = PageSetup{defaultPageWidth, defaultPageHeight, defaultTextSpacing, columnHeight,
                        defaultTextSpacing, 0, 0, std::string()};
  head = HeadPosition{pageSetup.leftMargin, pageSetup.topMargin};
  page = PageImage{false, 0};
  ribbon = RibbonState{};
  modeWord = 0;
  debugLevel = 0;
}

void createPage() { makePageImage(pageSetup.pageWidth, pageSetup.pageHeight); }

void strikeDot(unsigned x, unsigned y, unsigned pin) {
  page.pageDirty = true;
  paintDot(x, y, ribbon.pinShades[pin]);
  // The counter wraps as a 32-bit value; it is read back as unsigned anyway.
  ribbon.strikeCounts[pin] = int32_t(uint32_t(ribbon.strikeCounts[pin]) + 1u);
}

void advanceHead() { head.headX += dotSize; }

void printColumn(uint8_t bits) {
  if (head.headX >= pageSetup.pageWidth) {
    if (debugLevel & DebugTrace) std::printf("Autofeed %d\n", int(head.headX));
    newLine();
  }
  if ((debugLevel & DebugMarks) && head.headX % cellWidth == 0)
    for (unsigned i = 0; i < columnHeight; ++i) paintMark(head.headX, head.headY + i, MarkColor::Green);
  if (modeWord & Reverse) bits ^= 0x7F;
  for (unsigned pin = 0; pin < pinCount; ++pin)
    if (bits & (1u << pin)) strikeDot(head.headX, head.headY + dotSize * pin, pin);
  advanceHead();
}

void lineFeed() {
  head.headY += pageSetup.lineSpacing;
  if (head.headY > pageSetup.pageHeight - pageSetup.lineSpacing) ejectPage();
  updatePinShades();
}

void newLine() {
  head.headX = pageSetup.leftMargin;
  lineFeed();
}

void ejectPage() {
  if (page.pageDirty) {
    ++page.pageCount;
    char number[16];
    std::snprintf(number, sizeof number, "-%03u.png", page.pageCount);
    std::string name = pageSetup.outputPrefix + number;
    if (debugLevel & DebugTrace) std::printf("Attempting to write %s...\n", name.c_str());
    writePageFile(name);
    std::printf("%s written.\n", name.c_str());
    clearPageImage();
    page.pageDirty = false;
  }
  head.headY = pageSetup.topMargin;
}

void updatePinShades() {
  if (ribbon.halfLife == 0) return;
  for (unsigned pin = 0; pin < pinCount; ++pin) {
    float r = float(double(uint32_t(ribbon.strikeCounts[pin])) / double(ribbon.halfLife));
    ribbon.pinShades[pin] = float(1.0 - std::pow(0.5, double(r)));
  }
}

void markCharacterCell() {
  for (unsigned i = 0; i < cellWidth; ++i) paintMark(head.headX + i, head.headY, MarkColor::Blue);
}
