#include "bench/workloads.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"
#include "ribbon/strike_store.h"

namespace {

using Clock = std::chrono::steady_clock;

// Knuth's multiplicative hash, for ROM bytes and text that look irregular: runs in
// arithmetic steps would make every text line a shifted copy of an earlier one,
// which the PNG encoder squeezes to almost nothing.
constexpr uint32_t scrambleFactor = 2654435761u;

// ROM bytes: scrambled pin patterns, about half the pins of a column firing.
constexpr unsigned romScrambleShift = 24;
constexpr unsigned pinMask = 0x7F;

// Printable codes of the dense text: 32-127, then 160-191.
constexpr unsigned firstTextCode = 32;
constexpr unsigned lowTextCodes = 96;     // 32-127
constexpr unsigned firstHighTextCode = 160;
constexpr unsigned textCodeCount = 128;   // with 160-191
constexpr unsigned textScrambleShift = 25;  // the hash's top 7 bits pick one of them
static_assert(textCodeCount == 1u << (32 - textScrambleShift));

constexpr unsigned cellsPerLine = pageWidth / cellWidth;
constexpr unsigned columnsPerLine = pageWidth / dotSize;
constexpr char fullColumn = char(0xFF);  // all seven pins (bit 7 is never printed)
constexpr char bitImageOn = 8;
constexpr const char *lineEnd = "\r\n";    // return, then feed

// Long enough that the pages fade slowly over a long run rather than running blank,
// with every pin at a wear of its own, so pages print in many grays.
constexpr uint32_t wornHalfLife = 1000000;
constexpr const char *wornStrikeCounts = "0 100000 250000 500000 1000000 2000000 4000000";
// The ESC/P pages: 11 inches of 66 text lines of 80 characters, or of 99 graphics
// lines of 1920 columns at 240 dots an inch (ESC * 3), each fed 24/216 inch (ESC J 24),
// the height of eight pins.
constexpr unsigned escpTextLines = 66;
constexpr unsigned escpTextColumns = 80;
constexpr unsigned escpGraphicsLines = 99;
constexpr unsigned escpGraphicsColumns = 1920;
constexpr char escape = 27;
constexpr uint8_t graphicsFeed = 24;
constexpr unsigned firstItalicCode = 160;  // the italic table's 160-254: 32-126 in italics
constexpr unsigned escpTextCodes = 95;     // 32-126, and 160-254
constexpr const char *escpFontName = "PRINTER/escp.fake";

constexpr const char *streamName = "bench.prn";
constexpr const char *listingName = "bench.lst";

const std::vector<WorkloadInfo> workloadTable = {
    {Workload::DenseText, "dense", "dense text"},
    {Workload::BitImage, "bitimage", "bit image"},
    {Workload::WornRibbon, "worn", "worn ribbon"},
    {Workload::DebugMarks, "debug", "debug marks"},
    {Workload::EscpText, "escp-dense", "ESC/P dense text"},
    {Workload::EscpGraphics, "escp-graphics", "ESC/P graphics"},
};

double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// The code printed in the given cell of the run.
char textCode(unsigned cellIndex) {
  unsigned index = (uint32_t(cellIndex) * scrambleFactor) >> textScrambleShift;
  return char(index < lowTextCodes ? firstTextCode + index : firstHighTextCode + (index - lowTextCodes));
}

// Full lines of text, every cell of the page printed. Written a line at a time: a long
// run's stream held whole would count in the run's memory.
void writeTextStream(std::ostream &file, unsigned pages) {
  unsigned lines = pages * ((defaultPageHeight - topMargin) / textLineSpacing);
  std::string text;
  for (unsigned line = 0; line < lines; ++line) {
    text.clear();
    for (unsigned cell = 0; cell < cellsPerLine; ++cell) text += textCode(line * cellsPerLine + cell);
    file << text << lineEnd;
  }
}

// Full lines of bit-image columns, every pin of the page struck.
void writeBitImageStream(std::ostream &file, unsigned pages) {
  unsigned lines = pages * ((defaultPageHeight - topMargin) / graphicLineSpacing);
  file << bitImageOn;
  for (unsigned line = 0; line < lines; ++line) file << std::string(columnsPerLine, fullColumn) << lineEnd;
}

// Full ESC/P text lines, every character position of the page printed: roman and
// italic characters, scrambled as the MPS801's dense text is.
void writeEscpTextStream(std::ostream &file, unsigned pages) {
  std::string text;
  for (unsigned line = 0; line < pages * escpTextLines; ++line) {
    text.clear();
    for (unsigned cell = 0; cell < escpTextColumns; ++cell) {
      unsigned index = (uint32_t(line * escpTextColumns + cell) * scrambleFactor) >> 24;
      unsigned code = index % (2 * escpTextCodes);
      text += char(code < escpTextCodes ? firstTextCode + code : firstItalicCode + (code - escpTextCodes));
    }
    file << text << lineEnd;
  }
}

// Full ESC/P graphics lines across the 8-inch line at 240 dots an inch, each fed by
// the height of its eight pins; their columns scrambled, about half the pins firing.
void writeEscpGraphicsStream(std::ostream &file, unsigned pages) {
  std::string line = {escape, '*', 3, char(escpGraphicsColumns & 0xFF), char(escpGraphicsColumns >> 8)};
  size_t header = line.size();
  line.resize(header + escpGraphicsColumns);
  line += {'\r', escape, 'J', char(graphicsFeed)};
  for (unsigned row = 0; row < pages * escpGraphicsLines; ++row) {
    for (unsigned column = 0; column < escpGraphicsColumns; ++column)
      line[header + column] = char((uint32_t(row * escpGraphicsColumns + column) * scrambleFactor) >> 24);
    file << line;
  }
}

void writeStream(std::ostream &file, Workload workload, unsigned pages) {
  if (workload == Workload::BitImage)
    writeBitImageStream(file, pages);
  else if (workload == Workload::EscpText)
    writeEscpTextStream(file, pages);
  else if (workload == Workload::EscpGraphics)
    writeEscpGraphicsStream(file, pages);
  else
    writeTextStream(file, pages);
}

bool escpWorkload(Workload workload) { return workload == Workload::EscpText || workload == Workload::EscpGraphics; }

void writeFile(const std::string &name, const std::string &bytes) {
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file << bytes;
  if (!file) throw std::runtime_error("cannot write " + name);
}

void writeBenchRom() {
  std::filesystem::create_directories("PRINTER");
  std::string rom(romSize, '\0');
  for (unsigned i = 0; i < romSize; ++i) rom[i] = char(((i * scrambleFactor) >> romScrambleShift) & pinMask);
  writeFile("PRINTER/mps801.bin", rom);
}

// The ESC/P printer's font, from the source tree.
void writeEscpFont() {
  std::filesystem::create_directories("PRINTER");
  std::filesystem::copy_file(TAMBRIX_ESCP_FONT, escpFontName, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace

const std::vector<WorkloadInfo> &allWorkloads() { return workloadTable; }

const WorkloadInfo *findWorkload(const std::string &name) {
  for (const WorkloadInfo &info : workloadTable)
    if (name == info.name) return &info;
  return nullptr;
}

const WorkloadInfo &workloadInfo(Workload workload) {
  for (const WorkloadInfo &info : workloadTable)
    if (info.workload == workload) return info;
  throw std::logic_error("unknown workload");
}

unsigned pagesForStreamBytes(Workload workload, uint64_t bytes) {
  std::ostringstream page;
  writeStream(page, workload, 1);
  size_t perPage = page.str().size();
  return unsigned((bytes + perPage - 1) / perPage);
}

RunOptions prepareWorkload(Workload workload, unsigned pages, WorkloadOutput output, unsigned threads, bool explain) {
  if (escpWorkload(workload))
    writeEscpFont();
  else
    writeBenchRom();
  std::ofstream stream(streamName, std::ios::binary | std::ios::trunc);
  writeStream(stream, workload, pages);
  stream.close();
  if (!stream) throw std::runtime_error(std::string("cannot write ") + streamName);
  std::filesystem::remove(strikeStoreName);
  RunOptions options;
  options.inputName = streamName;
  options.settings.threads = threads;
  if (escpWorkload(workload)) {
    options.settings.model = PrinterModel::Escp;
    options.settings.pageHeight = pageGeometryOf(PrinterModel::Escp).defaultPageHeight;
  }
  if (output == WorkloadOutput::Pdf)
    options.settings.pdfName = std::string(workloadInfo(workload).name) + ".pdf";
  else if (output == WorkloadOutput::Text)
    options.settings.textName = std::string(workloadInfo(workload).name) + ".txt";
  else
    options.settings.outputPrefix = workloadInfo(workload).name;
  if (workload == Workload::WornRibbon) {
    writeFile(strikeStoreName, wornStrikeCounts);
    options.settings.halfLife = wornHalfLife;
  }
  if (workload == Workload::DebugMarks) options.settings.debugLevel = DebugMarks;
  if (explain) options.settings.explainName = listingName;
  return options;
}

RunTimes timeWorkload(const RunOptions &options) {
  Clock::time_point start = Clock::now();
  RunCarry carry;
  if (runPrintJob(options, stdin, &carry) != 0) throw std::runtime_error("the run failed");
  return RunTimes{millisecondsBetween(start, Clock::now()), carry.pagesPrinted};
}
