// tambrix_bench: how fast whole runs of a handful of generated workloads render, and
// how much memory they take.
//
//   tambrix_bench                                  the timing and memory table
//   tambrix_bench --workload NAME --pages N [--pdf]  one workload run (used by the table)
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
  Output output;
};

static const TableRow tableRows[] = {
    {Workload::DenseText, "dense text", shortRunPages, Output::Png},
    {Workload::BitImage, "bit image", shortRunPages, Output::Png},
    {Workload::WornRibbon, "worn ribbon", shortRunPages, Output::Png},
    {Workload::DebugMarks, "debug marks", shortRunPages, Output::Png},
    {Workload::DenseText, "dense text, 10 pages", baseRunPages, Output::Png},
    {Workload::DenseText, "dense text, 100 pages", dumpPages, Output::Png},
    {Workload::DenseText, "dense text, 10 p., PDF", baseRunPages, Output::Pdf},
    {Workload::DenseText, "dense text, 100 p., PDF", dumpPages, Output::Pdf},
};

double megabytes(unsigned long kb) { return double(kb) / kbPerMb; }

void printTableHead() {
  std::printf("| workload                | pages | ms/page | pages/s | peak MB |\n");
  std::printf("|-------------------------|------:|--------:|--------:|--------:|\n");
}

void printRow(const char *label, const RunSummary &run) {
  std::printf("| %-23s | %5u | %7.2f | %7.1f | %7.1f |\n", label, run.pages, run.totalMs / run.pages,
              run.pages * msPerSecond / run.totalMs, megabytes(run.peakKb));
}

// Each row is a process of its own.
void printTimingTable() {
  std::printf("## Whole runs: time per page and peak memory\n\n");
  printTableHead();
  unsigned long baseKb[2] = {}, dumpKb[2] = {};  // by output
  for (const TableRow &row : tableRows) {
    RunSummary run = runWorkloadProcess(row.workload, row.pages, row.output);
    printRow(row.label, run);
    if (row.pages == baseRunPages) baseKb[int(row.output)] = run.peakKb;
    if (row.pages == dumpPages) dumpKb[int(row.output)] = run.peakKb;
  }
  std::printf("\n");
  for (Output output : {Output::Png, Output::Pdf})
    std::printf("peak memory, %s: %u pages %.1f MB, %u pages %.1f MB (%+.1f %%)\n",
                output == Output::Png ? "PNG" : "PDF", baseRunPages, megabytes(baseKb[int(output)]), dumpPages,
                megabytes(dumpKb[int(output)]),
                100.0 * (double(dumpKb[int(output)]) - double(baseKb[int(output)])) / double(baseKb[int(output)]));
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
Output childOutput;

void runChildWorkload() { reportWorkloadRun(childWorkload, childPages, childOutput); }

int usage() {
  std::fprintf(stderr, "usage: tambrix_bench [--workload NAME --pages N [--pdf]]\n  workloads:");
  for (const WorkloadInfo &info : allWorkloads()) std::fprintf(stderr, " %s", info.name);
  std::fprintf(stderr, "\n");
  return 2;
}

int runChild(int argc, char **argv) {
  bool pdf = argc == 6 && std::strcmp(argv[5], "--pdf") == 0;
  if ((argc != 5 && !pdf) || std::strcmp(argv[3], "--pages") != 0) return usage();
  const WorkloadInfo *info = findWorkload(argv[2]);
  int pages = std::atoi(argv[4]);
  if (info == nullptr || pages < 1) return usage();
  childWorkload = info->workload;
  childPages = unsigned(pages);
  childOutput = pdf ? Output::Pdf : Output::Png;
  initImageLibrary(argv[0]);
  return reportingErrors(runChildWorkload);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 1) return reportingErrors(printTimingTable);
  if (std::strcmp(argv[1], "--workload") == 0) return runChild(argc, argv);
  return usage();
}
