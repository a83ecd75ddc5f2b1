// Workload runs in processes of their own, so that each peak memory figure belongs
// to one run alone.
#pragma once

#include <string>

#include "bench/workloads.h"

struct RunSummary {
  double paintMs;        // median per page
  double writeMs;        // median per page
  double eraseMs;        // median per page
  unsigned pages;        // pages timed
  double busyMs;         // paint + write + erase over all pages
  unsigned long peakKb;  // peak resident memory of the process
};

// Times the pages of a workload run in this process and prints the summary line
// the parent reads back.
void reportWorkloadRun(Workload workload, unsigned pages);

// Runs this program again as `--workload NAME --pages N` and returns what it reported.
RunSummary runWorkloadProcess(Workload workload, unsigned pages);
