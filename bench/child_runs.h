// Workload runs in processes of their own, so that each peak memory figure belongs
// to one run alone.
#pragma once

#include "bench/workloads.h"

// One run of a workload.
struct WorkloadRun {
  Workload workload;
  unsigned pages;    // full pages of the stream
  WorkloadOutput output;     // PNG files, a PDF document or the transcript alone
  unsigned threads;  // encoder threads
  LookStyle look = LookStyle::Dots;     // how the dots are drawn
  PaperStyle paper = PaperStyle::None;  // the paper they are on
  unsigned dpi = defaultInkDpi;         // pixels per inch of ink pages
  bool explain = false;  // the stream is listed into a file as it is rendered
  bool endless = false;  // the pages are the forms of one continuous sheet (-endless)
};

struct RunSummary {
  double totalMs;        // the whole run
  unsigned pages;        // pages written
  unsigned long peakKb;  // the largest proportional set size of the process and its
                         //   encoder processes together, sampled every 10 ms
};

// The command-line word of a paper style: "none", "plain", "greenbar" or "bluebar".
const char *paperWord(PaperStyle paper);

// Renders the workload in a fresh folder, in this process, and prints the summary line
// the parent reads back.
void reportWorkloadRun(const WorkloadRun &run);

// Runs this program again as `--workload NAME --pages N --threads T [--pdf|--text] [--ink DPI]
// [--paper STYLE] [--explain] [--endless]` and
// returns what it reported.
RunSummary runWorkloadProcess(const WorkloadRun &run);
