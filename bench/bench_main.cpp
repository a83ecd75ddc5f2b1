// tambrix_bench: how long a page takes to paint, write and erase, for a handful of
// generated workloads, and what the PNG encoder's quality setting costs and saves.
//
//   tambrix_bench                                  the timing and memory table
//   tambrix_bench --quality                        the PNG quality tables
//   tambrix_bench --workload NAME --pages N        one workload run (used by the table)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "bench/child_runs.h"
#include "bench/png_quality.h"
#include "bench/scratch_dir.h"
#include "bench/workloads.h"
#include "engine/page_image.h"

namespace {

constexpr unsigned repeatedPages = 15;  // one-page workloads: pages timed for the medians
constexpr unsigned dumpPages = 100;     // the long dump
constexpr double kbPerMb = 1024.0;
constexpr double msPerSecond = 1000.0;

struct TableRow {
  Workload workload;
  const char *label;
  unsigned pages;      // pages of the run whose memory is shown
  unsigned timedPages; // pages the times are taken over
};

static const TableRow tableRows[] = {
    {Workload::DenseText, "dense text", 1, repeatedPages},
    {Workload::BitImage, "bit image", 1, repeatedPages},
    {Workload::WornRibbon, "worn ribbon", 1, repeatedPages},
    {Workload::DebugMarks, "debug marks", 1, repeatedPages},
    {Workload::DenseText, "dense text, 100 pages", dumpPages, dumpPages},
};

double megabytes(unsigned long kb) { return double(kb) / kbPerMb; }

void printTableHead() {
  std::printf("| workload              | paint ms | write ms | erase ms | (p+w+e)/w | pages/s | peak MB |\n");
  std::printf("|-----------------------|---------:|---------:|---------:|----------:|--------:|--------:|\n");
}

void printRow(const char *label, const RunSummary &times, const RunSummary &memory) {
  double perPage = times.paintMs + times.writeMs + times.eraseMs;
  std::printf("| %-21s | %8.2f | %8.2f | %8.2f | %9.3f | %7.1f | %7.1f |\n", label, times.paintMs, times.writeMs,
              times.eraseMs, perPage / times.writeMs, times.pages * msPerSecond / times.busyMs,
              megabytes(memory.peakKb));
}

// Each row's times and memory come from processes of their own: the times from a run
// of several pages, the memory from a run of just the row's pages.
void printTimingTable() {
  std::printf("## Page times (median ms per page) and peak memory\n\n");
  printTableHead();
  unsigned long onePageKb = 0, dumpKb = 0;
  for (const TableRow &row : tableRows) {
    RunSummary times = runWorkloadProcess(row.workload, row.timedPages);
    RunSummary memory = row.pages == row.timedPages ? times : runWorkloadProcess(row.workload, row.pages);
    printRow(row.label, times, memory);
    if (row.workload == Workload::DenseText) (row.pages == 1 ? onePageKb : dumpKb) = memory.peakKb;
  }
  std::printf("\npeak memory: 1 page %.1f MB, %u pages %.1f MB (%+.1f %%)\n", megabytes(onePageKb), dumpPages,
              megabytes(dumpKb), 100.0 * (double(dumpKb) - double(onePageKb)) / double(onePageKb));
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

int runInScratchDir(const char *argv0, void (*body)()) {
  initImageLibrary(argv0);
  std::string dir = enterScratchDir();
  int status = reportingErrors(body);
  leaveScratchDir(dir);
  return status;
}

Workload childWorkload;
unsigned childPages;

void runChildWorkload() {
  setUpEngine(childWorkload);
  reportWorkloadRun(childWorkload, childPages);
}

int usage() {
  std::fprintf(stderr, "usage: tambrix_bench [--quality | --workload NAME --pages N]\n  workloads:");
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
  return runInScratchDir(argv[0], runChildWorkload);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 1) return reportingErrors(printTimingTable);
  if (std::strcmp(argv[1], "--quality") == 0 && argc == 2) return runInScratchDir(argv[0], printQualityTables);
  if (std::strcmp(argv[1], "--workload") == 0) return runChild(argc, argv);
  return usage();
}
