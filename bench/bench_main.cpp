// tambrix_bench: how fast whole runs of a handful of generated workloads render, and
// how much memory they take.
//
//   tambrix_bench                                  the timing and memory table
//   tambrix_bench --workload NAME --pages N        one workload run (used by the table)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "bench/child_runs.h"
#include "bench/workloads.h"
#include "engine/page_image.h"

namespace {

constexpr unsigned shortRunPages = 15;  // pages of the runs of each kind of page
constexpr unsigned baseRunPages = 10;   // the long dump's memory is set beside this run's
constexpr unsigned dumpPages = 100;     // the long dump
constexpr double kbPerMb = 1024.0;
constexpr double msPerSecond = 1000.0;

struct TableRow {
  Workload workload;
  const char *label;
  unsigned pages;
};

static const TableRow tableRows[] = {
    {Workload::DenseText, "dense text", shortRunPages},
    {Workload::BitImage, "bit image", shortRunPages},
    {Workload::WornRibbon, "worn ribbon", shortRunPages},
    {Workload::DebugMarks, "debug marks", shortRunPages},
    {Workload::DenseText, "dense text, 10 pages", baseRunPages},
    {Workload::DenseText, "dense text, 100 pages", dumpPages},
};

double megabytes(unsigned long kb) { return double(kb) / kbPerMb; }

void printTableHead() {
  std::printf("| workload              | pages | ms/page | pages/s | peak MB |\n");
  std::printf("|-----------------------|------:|--------:|--------:|--------:|\n");
}

void printRow(const char *label, const RunSummary &run) {
  std::printf("| %-21s | %5u | %7.2f | %7.1f | %7.1f |\n", label, run.pages, run.totalMs / run.pages,
              run.pages * msPerSecond / run.totalMs, megabytes(run.peakKb));
}

// Each row is a process of its own.
void printTimingTable() {
  std::printf("## Whole runs: time per page and peak memory\n\n");
  printTableHead();
  unsigned long baseKb = 0, dumpKb = 0;
  for (const TableRow &row : tableRows) {
    RunSummary run = runWorkloadProcess(row.workload, row.pages);
    printRow(row.label, run);
    if (row.pages == baseRunPages) baseKb = run.peakKb;
    if (row.pages == dumpPages) dumpKb = run.peakKb;
  }
  std::printf("\npeak memory: %u pages %.1f MB, %u pages %.1f MB (%+.1f %%)\n", baseRunPages, megabytes(baseKb),
              dumpPages, megabytes(dumpKb), 100.0 * (double(dumpKb) - double(baseKb)) / double(baseKb));
}

// Runs body and returns the exit status: 1 once anything it does throws.
int reportingErrors(void (*body)()) {
  try {
    body();
    return 0;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "tambrix_bench: %s\n", e.what());
    return 1;
  }
}

Workload childWorkload;
unsigned childPages;

void runChildWorkload() { reportWorkloadRun(childWorkload, childPages); }

int usage() {
  std::fprintf(stderr, "usage: tambrix_bench [--workload NAME --pages N]\n  workloads:");
  for (const WorkloadInfo &info : allWorkloads()) std::fprintf(stderr, " %s", info.name);
  std::fprintf(stderr, "\n");
  return 2;
}

int runChild(int argc, char **argv) {
  if (argc != 5 || std::strcmp(argv[3], "--pages") != 0) return usage();
  const WorkloadInfo *info = findWorkload(argv[2]);
  int pages = std::atoi(argv[4]);
  if (info == nullptr || pages < 1) return usage();
  childWorkload = info->workload;
  childPages = unsigned(pages);
  initImageLibrary(argv[0]);
  return reportingErrors(runChildWorkload);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 1) return reportingErrors(printTimingTable);
  if (std::strcmp(argv[1], "--workload") == 0) return runChild(argc, argv);
  return usage();
}
