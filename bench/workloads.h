// The generated printer streams the benchmark renders, each with the options of its
// run, and the timing of one such run through the program's own run sequence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/run_options.h"

enum class Workload { DenseText, BitImage, WornRibbon, DebugMarks, EscpText, EscpGraphics };

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

// Where a run's pages go: PNG files, a PDF document, or the text transcript alone.
enum class WorkloadOutput { Png, Pdf, Text };

// Writes, into the current directory, what a run of the workload reads: the ROM image
// (PRINTER/mps801.bin) or the ESC/P printer's font (PRINTER/escp.fake), the strike
// store, and a printer stream of the given number of full pages. Returns the options the run is made with, its pages going to output
// through that many encoder threads, and the stream listed into a file when explain.
RunOptions prepareWorkload(Workload workload, unsigned pages, WorkloadOutput output, unsigned threads, bool explain);

// The full pages whose stream holds at least the given number of bytes.
unsigned pagesForStreamBytes(Workload workload, uint64_t bytes);

struct RunTimes {
  double totalMs;   // the whole run sequence, from the strike counts to the save
  unsigned pages;   // pages written
};

// Renders the workload prepared in the current directory and times it.
RunTimes timeWorkload(const RunOptions &options);
