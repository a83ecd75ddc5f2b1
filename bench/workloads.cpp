#include "bench/workloads.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <stdexcept>

#include "app/run_options.h"
#include "engine/character_rom.h"
#include "engine/page_image.h"
#include "engine/print_head.h"

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

constexpr uint8_t fullColumn = 0xFF;  // all seven pins (bit 7 is never printed)

// Long enough that the page fades from black to light gray over its lines rather
// than running blank after a few of them.
constexpr uint32_t wornHalfLife = 20000;
static const int32_t wornStrikeCounts[pinCount] = {0, 2000, 5000, 10000, 20000, 40000, 80000};

const std::vector<WorkloadInfo> workloadTable = {
    {Workload::DenseText, "dense", "dense text"},
    {Workload::BitImage, "bitimage", "bit image"},
    {Workload::WornRibbon, "worn", "worn ribbon"},
    {Workload::DebugMarks, "debug", "debug marks"},
};

double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// The code printed in the given cell of the page.
uint8_t textCode(unsigned cellIndex) {
  unsigned index = (uint32_t(cellIndex) * scrambleFactor) >> textScrambleShift;
  return uint8_t(index < lowTextCodes ? firstTextCode + index : firstHighTextCode + (index - lowTextCodes));
}

// Lines that fit the page from the top margin without an eject.
unsigned linesPerPage() { return (pageSetup.pageHeight - pageSetup.topMargin) / pageSetup.lineSpacing; }

unsigned columnsPerLine() { return pageSetup.pageWidth / dotSize; }

void paintTextPage() {
  unsigned cells = columnsPerLine() / glyphWidth;
  for (unsigned line = 0; line < linesPerPage(); ++line) {
    if (line > 0) newLine();
    for (unsigned cell = 0; cell < cells; ++cell) printCharacter(textCode(line * cells + cell));
  }
}

void paintBitImagePage() {
  for (unsigned line = 0; line < linesPerPage(); ++line) {
    if (line > 0) newLine();
    for (unsigned column = 0; column < columnsPerLine(); ++column) printColumn(fullColumn);
  }
}

void presetRibbonWear() {
  std::copy(std::begin(wornStrikeCounts), std::end(wornStrikeCounts), ribbon.strikeCounts);
  updatePinShades();
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

void writeBenchRom(const std::string &dir) {
  std::filesystem::create_directories(dir + "/PRINTER");
  std::ofstream file(dir + "/PRINTER/mps801.bin", std::ios::binary | std::ios::trunc);
  for (unsigned i = 0; i < romSize; ++i) file.put(char(((i * scrambleFactor) >> romScrambleShift) & pinMask));
  if (!file) throw std::runtime_error("cannot write the benchmark ROM in " + dir);
}

void setUpEngine(Workload workload) {
  resetPrintHead();
  resetCharacterRom();
  resetRunOptions();
  pageSetup.outputPrefix = workloadInfo(workload).name;
  buildGlyphTables();
  if (workload == Workload::BitImage) {
    modeWord = BitImage;
    pageSetup.lineSpacing = pageSetup.graphicLineSpacing;
  }
  if (workload == Workload::WornRibbon) ribbon.halfLife = wornHalfLife;
  if (workload == Workload::DebugMarks) debugLevel = DebugMarks;
  createPage();
  ejectPage();
}

void paintPage(Workload workload) {
  if (workload == Workload::WornRibbon) presetRibbonWear();
  if (workload == Workload::BitImage)
    paintBitImagePage();
  else
    paintTextPage();
}

std::string writeBenchPage() {
  ++page.pageCount;
  char number[16];
  std::snprintf(number, sizeof number, "-%03u.png", page.pageCount);
  std::string name = pageSetup.outputPrefix + number;
  writePageFile(name);
  return name;
}

void eraseBenchPage() {
  clearPageImage();
  page.pageDirty = false;
  head.headX = pageSetup.leftMargin;
  head.headY = pageSetup.topMargin;
}

PageTimes timePages(Workload workload, unsigned count) {
  PageTimes times;
  for (unsigned i = 0; i < count; ++i) {
    Clock::time_point start = Clock::now();
    paintPage(workload);
    Clock::time_point painted = Clock::now();
    writeBenchPage();
    Clock::time_point written = Clock::now();
    eraseBenchPage();
    Clock::time_point erased = Clock::now();
    times.paintMs.push_back(millisecondsBetween(start, painted));
    times.writeMs.push_back(millisecondsBetween(painted, written));
    times.eraseMs.push_back(millisecondsBetween(written, erased));
  }
  return times;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

double sum(const std::vector<double> &values) { return std::accumulate(values.begin(), values.end(), 0.0); }
