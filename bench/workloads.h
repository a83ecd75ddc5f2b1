// The generated pages the benchmark paints, and the timing of painting, writing and
// erasing them through the engine.
#pragma once

#include <string>
#include <vector>

enum class Workload { DenseText, BitImage, WornRibbon, DebugMarks };

struct WorkloadInfo {
  Workload workload;
  const char *name;   // command-line word
  const char *label;  // table label
};

// Every workload, in table order.
const std::vector<WorkloadInfo> &allWorkloads();

// The workload of that command-line word, or null.
const WorkloadInfo *findWorkload(const std::string &name);

const WorkloadInfo &workloadInfo(Workload workload);

// The ROM image the benchmark prints with; buildGlyphTables reads it from
// PRINTER/mps801.bin under the current directory.
void writeBenchRom(const std::string &dir);

// Clean engine state set up for the workload: glyph tables built, modes set, a white
// page made and the head at its top.
void setUpEngine(Workload workload);

// Puts back what a page of the workload starts from (the ribbon wear) and paints it.
void paintPage(Workload workload);

// Writes the page as the next numbered file and returns its name.
std::string writeBenchPage();

// Clears the page and puts the head at its top left, as an eject would.
void eraseBenchPage();

struct PageTimes {
  std::vector<double> paintMs;  // one entry per page
  std::vector<double> writeMs;
  std::vector<double> eraseMs;
};

// Paints, writes and erases count pages of the workload, timing each step.
PageTimes timePages(Workload workload, unsigned count);

double median(std::vector<double> values);
double sum(const std::vector<double> &values);
