#include "mechanism/print_head.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "mechanism/page_canvas.h"

namespace {

// Paints a line of debug mark pixels from (x, y), down or across, and notes them for
// the ink look.
void markLine(Mechanism &m, unsigned x, unsigned y, unsigned length, bool down, MarkColor color) {
  paintMarkLine(m.canvas, x, y, length, down, color);
  if (!m.keepStrikes) return;
  for (unsigned i = 0; i < length; ++i) {
    unsigned px = down ? x : x + i, py = down ? y + i : y;
    if (px < m.geometry.width && py < m.setup.pageHeight)
      m.page.marks.push_back(MarkPixel{uint16_t(px), uint16_t(py), uint8_t(color == MarkColor::Blue)});
  }
}

// Notes a strike of the pin on the page for the ink look.
void noteStrike(Mechanism &m, unsigned x, unsigned y, unsigned pin) {
  if (x < m.geometry.width && y < m.setup.pageHeight)
    m.page.strikes.push_back(Strike{uint16_t(x), uint16_t(y), uint8_t(pin), m.ribbon.pinShades[pin]});
}

void tell(Mechanism &m, EngineEvent event, unsigned value, const std::string &name) {
  if (m.sinks.event != nullptr) m.sinks.event(m.sinks.context, event, value, name);
}

}  // namespace

std::string pageFileName(const std::string &prefix, unsigned number) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%03u.png", number);
  return prefix + suffix;
}

void startMechanism(Mechanism &m, const RunSettings &given, const MechanismSinks &sinks) {
  m.settings = given;
  m.sinks = sinks;
  m.geometry = pageGeometryOf(given.model);
  m.setup = PageSetup{given.pageHeight, textLineSpacing, given.outputPrefix};
  m.head = HeadPosition{leftMargin, topMargin};
  m.keepText = !given.pdfName.empty() || !given.textName.empty();
  m.keepStrikes = given.look == LookStyle::Ink;
  m.page = PageImage{false, 0, {}, {}, {}, {}, 0, 0};
  m.ribbon = RibbonState{};
  m.ribbon.halfLife = given.halfLife;
  m.modes = 0;
  m.autofeeds = 0;
}

void createPage(Mechanism &m) {
  startPage(m.canvas, m.geometry.width, m.setup.pageHeight, (m.settings.debugLevel & DebugMarks) != 0);
  m.canvas.pixelsPerInchX = m.geometry.pixelsPerInchX;
  m.canvas.pixelsPerInchY = m.geometry.pixelsPerInchY;
}

void strikeDot(Mechanism &m, unsigned x, unsigned y, unsigned pin) {
  m.page.pageDirty = true;
  paintDot(m.canvas, x, y, m.ribbon.pinShades[pin]);
  if (m.keepStrikes) noteStrike(m, x, y, pin);
  // The counter wraps as a 32-bit value; it is read back as unsigned anyway.
  m.ribbon.strikeCounts[pin] = int32_t(uint32_t(m.ribbon.strikeCounts[pin]) + 1u);
}

void strikeRoundDot(Mechanism &m, int x, int y, unsigned pin) {
  m.page.pageDirty = true;
  paintRoundDot(m.canvas, x, y, m.ribbon.pinShades[pin]);
  if (m.keepStrikes && x >= 0 && y >= 0) noteStrike(m, unsigned(x), unsigned(y), pin);
  // The counter wraps as a 32-bit value; it is read back as unsigned anyway.
  m.ribbon.strikeCounts[pin] = int32_t(uint32_t(m.ribbon.strikeCounts[pin]) + 1u);
}

void advanceHead(Mechanism &m) { m.head.headX += dotSize; }

void moveHead(Mechanism &m, unsigned x) { m.head.headX = x; }

void printColumn(Mechanism &m, uint8_t bits) {
  if (m.head.headX >= pageWidth) {
    ++m.autofeeds;
    tell(m, EngineEvent::Autofeed, m.head.headX, std::string());
    newLine(m);
  }
  if ((m.settings.debugLevel & DebugMarks) && m.head.headX % cellWidth == 0)
    markLine(m, m.head.headX, m.head.headY, columnHeight, true, MarkColor::Green);
  if (m.modes & Reverse) bits ^= 0x7F;
  // The column's dots are struck together: one call paints them all.
  uint8_t pins = bits & uint8_t((1u << pinCount) - 1);
  if (pins != 0) {
    m.page.pageDirty = true;
    paintColumn(m.canvas, m.head.headX, m.head.headY, pins, m.ribbon.pinShades);
    for (unsigned left = pins; left != 0; left &= left - 1) {  // the pins fired, top down
      unsigned pin = unsigned(std::countr_zero(left));
      if (m.keepStrikes) noteStrike(m, m.head.headX, m.head.headY + dotSize * pin, pin);
      // The counter wraps as a 32-bit value; it is read back as unsigned anyway.
      m.ribbon.strikeCounts[pin] = int32_t(uint32_t(m.ribbon.strikeCounts[pin]) + 1u);
    }
  }
  advanceHead(m);
}

void noteCharacterCell(Mechanism &m, unsigned width, char32_t text) {
  if (m.keepText) m.page.cells.push_back(TextCell{m.head.headX - dotSize, m.head.headY, width, columnHeight, text});
}

void lineFeed(Mechanism &m) {
  m.head.headY += m.setup.lineSpacing;
  if (m.head.headY > m.setup.pageHeight - m.setup.lineSpacing)
    feedToNextForm(m);
  else if (m.keepText)
    m.page.rows.push_back(m.head.headY);
  updatePinShades(m);
}

void newLine(Mechanism &m) {
  m.head.headX = leftMargin;
  lineFeed(m);
}

void setLineSpacing(Mechanism &m, unsigned pixels) { m.setup.lineSpacing = pixels; }

void setModes(Mechanism &m, uint16_t bits) { m.modes |= bits; }

void clearModes(Mechanism &m, uint16_t bits) { m.modes &= uint16_t(~bits); }

void toggleModes(Mechanism &m, uint16_t bits) { m.modes ^= bits; }

namespace {

// Numbers and names the ejected form and hands it to the run.
void handOver(Mechanism &m, PageJob &&job) {
  PageImage &sheet = m.page;
  job.number = ++sheet.pageCount;
  if (m.settings.pageFiles) {
    // On endless paper, every form goes into the job's one sheet, named as its first page.
    job.pngName = pageFileName(m.setup.outputPrefix, m.settings.endless ? 1 : sheet.pageCount);
    if (!m.settings.endless || sheet.pageCount == 1) tell(m, EngineEvent::WritingPage, sheet.pageCount, job.pngName);
  }
  if (m.sinks.page != nullptr)
    m.sinks.page(m.sinks.context, std::move(job));
  else
    recyclePage(m.canvas, std::move(job.raster));
}

// Hands over the blank forms fed since the last form with ink: white pages of the
// page length in force.
void handOverBlankForms(Mechanism &m) {
  for (; m.page.blankForms > 0; --m.page.blankForms) {
    PageJob job;
    job.raster.width = m.geometry.width;
    job.raster.height = m.setup.pageHeight;
    job.raster.kind = PixelKind::BlackWhite;
    job.raster.bytes.assign(rasterRowBytes(PixelKind::BlackWhite, job.raster.width) * job.raster.height, 0xFF);
    job.raster.pixelsPerInchX = m.canvas.pixelsPerInchX;
    job.raster.pixelsPerInchY = m.canvas.pixelsPerInchY;
    if (m.keepText) job.rows.push_back(topMargin);
    handOver(m, std::move(job));
  }
}

}  // namespace

void ejectPage(Mechanism &m) {
  PageImage &sheet = m.page;
  if (sheet.pageDirty) {
    handOverBlankForms(m);
    size_t cellCount = sheet.cells.size(), rowCount = sheet.rows.size();
    PageJob job{0, std::string(), std::move(sheet.cells), std::move(sheet.rows), takePage(m.canvas),
                std::move(sheet.strikes), std::move(sheet.marks)};
    job.sheetRows = sheet.sheetRows;
    sheet.strikes.clear();
    sheet.marks.clear();
    // The next page most likely holds as much: room for it now, not grown cell by cell.
    if (m.keepText) {
      sheet.cells.reserve(cellCount);
      sheet.rows.reserve(rowCount);
    }
    handOver(m, std::move(job));
    sheet.pageDirty = false;
  }
  // What was printed on a page that is not written (spaces only) goes with it.
  sheet.cells.clear();
  sheet.rows.clear();
  if (m.keepText) sheet.rows.push_back(topMargin);
  m.head.headY = topMargin;
}

void feedToNextForm(Mechanism &m) {
  if (m.settings.endless && !m.page.pageDirty && m.page.pageCount > 0) ++m.page.blankForms;
  ejectPage(m);
}

void cutSheet(Mechanism &m, unsigned headBottom) {
  PageImage &sheet = m.page;
  if (sheet.pageDirty)
    sheet.sheetRows = std::clamp(std::max(headBottom, m.canvas.page.inkedEnd), 1u, m.setup.pageHeight);
  else
    sheet.blankForms = 0;
  ejectPage(m);
  sheet.sheetRows = 0;
}

void setStrikeCounts(Mechanism &m, const int32_t (&counts)[maxPins]) {
  for (unsigned pin = 0; pin < maxPins; ++pin) m.ribbon.strikeCounts[pin] = counts[pin];
  updatePinShades(m);
}

void updatePinShades(Mechanism &m) {
  RibbonState &ribbon = m.ribbon;
  if (ribbon.halfLife == 0) return;
  for (unsigned pin = 0; pin < m.geometry.pins; ++pin) {
    float r = float(double(uint32_t(ribbon.strikeCounts[pin])) / double(ribbon.halfLife));
    ribbon.pinShades[pin] = float(1.0 - std::pow(0.5, double(r)));
  }
}

void markCharacterCell(Mechanism &m) { markLine(m, m.head.headX, m.head.headY, cellWidth, false, MarkColor::Blue); }

void printCharacter(Mechanism &m, uint8_t code) {
  Glyph glyph = (m.modes & Business) ? m.glyphs.business[code] : m.glyphs.graphic[code];
  if (m.settings.debugLevel & DebugMarks) markCharacterCell(m);
  unsigned repeat = (m.modes & DoubleWidth) ? 2 : 1;
  for (unsigned step = 0; step < glyphWidth * repeat; ++step) {
    printColumn(m, m.glyphs.rom[glyph + step / repeat]);
    // The cell starts where its first column landed, after any autofeed.
    if (step == 0) noteCharacterCell(m, cellWidth * repeat, glyphText(glyph));
  }
}
