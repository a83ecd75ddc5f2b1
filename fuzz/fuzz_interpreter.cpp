// Fast fuzz target: one printer stream per input, fed straight to the printing core.
// Each input gets a printer of its own, a fresh record started with startPrinter, so
// nothing of one input can reach the next but the page memory, which goes from
// printer to printer as it would between the runs of one process. No page is encoded,
// written or laid out as text: each ejected page is checked against what the printer
// promises of it and its memory given back, so that the fuzzer spends its time on the
// stream, the head and the page. fuzz_output takes the pages through the whole
// output, by the program's run sequence.
//
// The first byte picks the printer and the run's settings (see fuzz_support.h), the
// rest is the stream. For the ESC/P printer the harness also checks, after every piece,
// that the head, the margins, the form and the line buffer are where the printer
// promises to keep them, and that its pages and their cells lie on the page.
// The stream is fed in pieces of 1 to 256 bytes, one more than its last byte's value,
// so that commands are cut across feeds wherever the input likes. A stream of an odd
// number of bytes is printed on endless paper: its forms are not cut, and the last is
// cut where the paper stopped.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "interpreter/interpreter.h"
#include "interpreter/printer.h"
#include "escp/escp_printer.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

namespace {

// What the harness keeps from input to input: none of it is the printer's.
struct Harness {
  GlyphTables glyphs;  // the ROM image's tables, read once
  EscpFont escpFont;   // the ESC/P printer's font, read once, lent to each ESC/P printer
  PagePool pages;      // page memory, handed from each printer to the next
};

// The most the ESC/P printer's line buffer holds before it prints what it has.
constexpr size_t escpMostBuffered = 4096;
// The longest ESC/P command: ESC ^ with 65,535 columns of two bytes, and its four
// bytes before them.
constexpr size_t escpLongestCommand = 4 + 2 * 65535;
// The widths of an ESC/P character cell in pixels at 240 an inch: pica, elite,
// condensed and condensed elite, and each of them in double width.
constexpr unsigned escpCellWidths[8] = {24, 20, 14, 12, 48, 40, 28, 24};
constexpr unsigned escpCellHeight = 30;  // nine pins, 1/8 inch

Harness harness;

// One input's printer and what its pages must be.
struct Run {
  Printer *printer;
  unsigned pages;      // pages handed over so far
  uint64_t autofeeds;  // autofeeds told so far
};

// Stops the fuzzer, which keeps the input, when a promise is broken; says which.
void check(bool kept, unsigned line = __builtin_LINE()) {
  if (kept) return;
  std::fprintf(stderr, "fuzz_interpreter: the check on line %u failed\n", line);
  std::abort();
}

// Each row is a head row below the last, on the page; the MPS801's first is the top.
void checkRows(const PageJob &job, bool escp) {
  check(escp || (!job.rows.empty() && job.rows.front() == topMargin));
  for (size_t i = 0; i < job.rows.size(); ++i) {
    check(job.rows[i] < job.raster.height);
    if (i > 0) check(job.rows[i] > job.rows[i - 1]);
  }
}

// Each cell starts on the page, on one of its rows, and is one or two characters wide.
void checkCells(const PageJob &job) {
  for (const TextCell &cell : job.cells) {
    check(cell.x < pageWidth);
    check(cell.width == cellWidth || cell.width == 2 * cellWidth);
    check(cell.height == columnHeight);
    auto row = std::lower_bound(job.rows.begin(), job.rows.end(), cell.y);
    check(row != job.rows.end() && *row == cell.y);
  }
}

// Each ESC/P cell lies across the print line, one character of a pitch wide, on one of
// the page's rows, and shows a character.
void checkEscpCells(const PageJob &job, unsigned width) {
  for (const TextCell &cell : job.cells) {
    check(cell.x + cell.width <= width);
    check(std::find(std::begin(escpCellWidths), std::end(escpCellWidths), cell.width) != std::end(escpCellWidths));
    check(cell.height == escpCellHeight && cell.text != 0);
    auto row = std::lower_bound(job.rows.begin(), job.rows.end(), cell.y);
    check(row != job.rows.end() && *row == cell.y);
  }
}

// The ESC/P printer between two pieces of its stream: the head on the print line and
// within the form, the margins in order, the form no longer than it may be, the tab
// stops and the line buffer within their bounds, each buffered character before the
// line's end, and the command being read no longer than the longest.
void checkEscpState(const EscpPrinter &e, const Mechanism &m) {
  const EscpSettings &s = e.settings;
  // ESC C sets at most 22 inches; the power-on form is as long as the run's pages.
  unsigned ppi = m.geometry.pixelsPerInchY;
  uint32_t powerOnForm = (m.settings.pageHeight * escpUnitsPerInchY + ppi / 2) / ppi;
  uint32_t mostForm = std::max<uint32_t>(escpMostFormLength, powerOnForm);
  check(s.formLength >= 1 && s.formLength <= mostForm);
  check(e.y < s.formLength);
  check(e.x <= escpLineWidth && e.lineStart <= escpLineWidth);
  check(s.leftMargin < s.rightMargin && s.rightMargin <= escpLineWidth);
  check(s.tabStops.size() <= escpMostTabStops && s.verticalStops.size() <= escpMostVerticalStops);
  check(e.line.size() <= escpMostBuffered);
  for (const EscpCharacter &c : e.line) check(c.x + c.advance <= escpLineWidth && c.y < s.formLength);
  check(e.command.bytes.size() <= escpLongestCommand);
  check(m.setup.pageHeight == m.canvas.page.height);
}

// A page as the core hands it over: the next number, the run's size, pixels of a kind
// the page was painted in, the text kept, and no file name, strikes or marks asked for.
void takePage(void *context, PageJob &&job) {
  Run &run = *static_cast<Run *>(context);
  Mechanism &m = run.printer->mechanism;
  check(job.number == ++run.pages);
  check(job.pngName.empty() && job.strikes.empty() && job.marks.empty());
  const PageRaster &raster = job.raster;
  bool escp = m.settings.model == PrinterModel::Escp;
  // An ESC/P page is as long as the form it was printed on.
  check(raster.width == m.geometry.width && raster.height == (escp ? m.setup.pageHeight : m.settings.pageHeight));
  bool marks = (m.settings.debugLevel & DebugMarks) != 0;
  check(raster.kind == PixelKind::BlackWhite || raster.kind == PixelKind::Gray ||
        (raster.kind == PixelKind::Rgb && marks));
  check(raster.bytes.size() == rasterRowBytes(raster.kind, raster.width) * raster.height);
  // Only the last form of an endless sheet is cut, within the form, below its ink.
  check(job.sheetRows <= raster.height && (job.sheetRows == 0 || m.settings.endless));
  checkRows(job, escp);
  if (escp)
    checkEscpCells(job, raster.width);
  else
    checkCells(job);
  recyclePage(m.canvas, std::move(job.raster));
}

// Only autofeeds come from a printer that writes no files; each past the right edge.
void takeEvent(void *context, EngineEvent event, unsigned value, const std::string &) {
  check(event == EngineEvent::Autofeed && value >= pageWidth);
  ++static_cast<Run *>(context)->autofeeds;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  startFuzzing();
  check(buildGlyphTables(harness.glyphs).used == 0);  // the ROM image startFuzzing wrote
  EscpFontSearch search = loadEscpFont(harness.escpFont);
  check(search.used == 0 && !search.damaged);         // the font startFuzzing copied
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  RunSettings settings = fuzzOptions(data, size).settings;
  settings.textName = fuzzTranscriptName;  // cells and rows are kept, as for a transcript
  settings.pageFiles = false;
  settings.endless = size > 0 && (size - 1) % 2 == 1;

  auto printer = std::make_unique<Printer>();
  Printer &p = *printer;
  Run run{&p, 0, 0};
  MechanismSinks sinks;
  sinks.context = &run;
  sinks.event = takeEvent;
  sinks.page = takePage;
  p.mechanism.canvas.pool = std::move(harness.pages);
  bool escp = settings.model == PrinterModel::Escp;
  if (escp) p.escp.font = std::move(harness.escpFont);  // startPrinter takes its tables from it
  startPrinter(p, settings, sinks);
  p.mechanism.glyphs = harness.glyphs;
  fuzzStrikeCounts(data, size, p.strikesAtLoad);
  setStrikeCounts(p.mechanism, p.strikesAtLoad);
  createPage(p.mechanism);
  ejectPage(p.mechanism);  // a clean page, its first row noted, as a run begins

  const uint8_t *stream = size > 0 ? data + 1 : data;
  size_t length = size > 0 ? size - 1 : 0;
  size_t piece = length > 0 ? size_t(stream[length - 1]) + 1 : 1;
  startStream(p);
  for (size_t at = 0; at < length; at += piece) {
    interpretBytes(p, stream + at, std::min(piece, length - at));
    if (escp) checkEscpState(p.escp, p.mechanism);
  }
  endStream(p);
  endPaper(p);
  check(p.mechanism.page.pageCount == run.pages && p.mechanism.autofeeds == run.autofeeds);
  if (escp) harness.escpFont = std::move(p.escp.font);

  finishPageCanvas(p.mechanism.canvas);
  harness.pages = std::move(p.mechanism.canvas.pool);
  return 0;
}
