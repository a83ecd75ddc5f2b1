// Workload runs in processes of their own, so that each peak memory figure belongs
// to one run alone.
#pragma once

#include "bench/workloads.h"

struct RunSummary {
  double totalMs;        // the whole run
  unsigned pages;        // pages written
  unsigned long peakKb;  // peak resident memory of the process
};

// Renders the workload in a fresh folder, in this process, and prints the summary line
// the parent reads back.
void reportWorkloadRun(Workload workload, unsigned pages, Output output);

// Runs this program again as `--workload NAME --pages N [--pdf]` and returns what it
// reported.
RunSummary runWorkloadProcess(Workload workload, unsigned pages, Output output);
