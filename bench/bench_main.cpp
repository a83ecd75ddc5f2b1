// tambrix_bench: how fast whole runs of a handful of generated workloads render, and
// how much memory they take.
//
//   tambrix_bench                                  the timing and memory table
//   tambrix_bench --live                           the live capture table alone
//   tambrix_bench --looks                          the paper and ink table alone
//   tambrix_bench --escp                           the ESC/P against MPS801 table alone
//   tambrix_bench --endless                        the endless paper table alone
//   tambrix_bench --workload NAME --pages N --threads T [--pdf|--text] [--ink DPI] [--paper STYLE] [--explain]
//                 [--endless]
//                                                  one run (used by the tables)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "bench/child_runs.h"
#include "bench/live_latency.h"
#include "bench/workloads.h"
#include "output/page_image.h"

namespace {

constexpr unsigned shortRunPages = 15;  // pages of the runs of each kind of page
constexpr unsigned bannerFeet = 50;     // forms of the endless banner, 12 inches each
constexpr unsigned baseRunPages = 10;   // the long dump's memory is set beside this run's
constexpr unsigned dumpPages = 100;     // the long dump
constexpr unsigned speedRunPages = 60;  // the dense dump the thread counts are timed on
constexpr unsigned pdfRunPages = 30;    // the PDF runs the thread counts are timed on
constexpr unsigned threadRepeats = 5;   // runs per thread count, interleaved; the median counts
constexpr uint64_t listedStreamBytes = 10000000;  // the streams rendered with and without a listing
constexpr double bytesPerMb = 1e6;                 // MB of a stream: 10^6 bytes
constexpr unsigned longDocumentPages = 2500;  // the long PDF and transcript, set beside a dump's
constexpr double kbPerMb = 1024.0;
constexpr double msPerSecond = 1000.0;

// The encoder threads of a run of the program's default: one per core.
unsigned coreCount() { return std::max(1u, std::thread::hardware_concurrency()); }

struct TableRow {
  const char *label;
  WorkloadRun run;  // threads 0: one per core
};

static const TableRow kindRows[] = {
    {"dense text", {Workload::DenseText, shortRunPages, WorkloadOutput::Png, 0}},
    {"bit image", {Workload::BitImage, shortRunPages, WorkloadOutput::Png, 0}},
    {"worn ribbon", {Workload::WornRibbon, shortRunPages, WorkloadOutput::Png, 0}},
    {"debug marks", {Workload::DebugMarks, shortRunPages, WorkloadOutput::Png, 0}},
    {"dense text, PDF", {Workload::DenseText, shortRunPages, WorkloadOutput::Pdf, 0}},
    {"ESC/P dense text", {Workload::EscpText, shortRunPages, WorkloadOutput::Png, 0}},
    {"ESC/P graphics", {Workload::EscpGraphics, shortRunPages, WorkloadOutput::Png, 0}},
};

// The ESC/P pages set beside the MPS801's dense text, the first row.
static const Workload escpComparison[] = {Workload::DenseText, Workload::EscpText, Workload::EscpGraphics};
constexpr double escpCostGoal = 3.0;  // an ESC/P page should cost at most this many MPS801 pages

// The runs timed at 1, 2 and one thread per core.
static const TableRow threadRows[] = {
    {"dense text", {Workload::DenseText, speedRunPages, WorkloadOutput::Png, 0}},
    {"worn ribbon", {Workload::WornRibbon, shortRunPages, WorkloadOutput::Png, 0}},
    {"dense text, PDF", {Workload::DenseText, pdfRunPages, WorkloadOutput::Pdf, 0}},
};

// Peak memory of a short and a long run at one thread count, and of the short run at
// several thread counts (the second of them 2). Memory is the largest proportional set
// size of the run's processes together.
static const unsigned memoryThreadCounts[] = {1, 2, 4, 8};

double megabytes(unsigned long kb) { return double(kb) / kbPerMb; }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

RunSummary runRow(WorkloadRun run, unsigned threads) {
  run.threads = threads != 0 ? threads : coreCount();
  return runWorkloadProcess(run);
}

void printKindTable() {
  std::printf("## Kinds of page (%u encoder threads, one per core)\n\n", coreCount());
  std::printf("| workload                | pages | ms/page | pages/s | peak MB |\n");
  std::printf("|-------------------------|------:|--------:|--------:|--------:|\n");
  for (const TableRow &row : kindRows) {
    RunSummary run = runRow(row.run, 0);
    std::printf("| %-23s | %5u | %7.2f | %7.1f | %7.1f |\n", row.label, run.pages, run.totalMs / run.pages,
                run.pages * msPerSecond / run.totalMs, megabytes(run.peakKb));
  }
}

// Each thread count is run threadRepeats times, the counts taking turns, so that a
// busy moment of a shared machine does not fall on one count alone.
void printThreadTable() {
  std::printf("\n## Encoder threads: 1, 2 and one per core (%u), median of %u runs each\n\n", coreCount(),
              threadRepeats);
  std::printf("| workload                | pages | threads | pages/s | speed-up | peak MB |\n");
  std::printf("|-------------------------|------:|--------:|--------:|---------:|--------:|\n");
  const unsigned counts[] = {1u, 2u, coreCount()};
  for (const TableRow &row : threadRows) {
    std::vector<double> perSecond[std::size(counts)];
    unsigned long peakKb[std::size(counts)] = {};
    unsigned pages = 0;
    for (unsigned repeat = 0; repeat < threadRepeats; ++repeat)
      for (size_t i = 0; i < std::size(counts); ++i) {
        RunSummary run = runRow(row.run, counts[i]);
        perSecond[i].push_back(run.pages * msPerSecond / run.totalMs);
        peakKb[i] = std::max(peakKb[i], run.peakKb);
        pages = run.pages;
      }
    double one = median(perSecond[0]);
    for (size_t i = 0; i < std::size(counts); ++i)
      std::printf("| %-23s | %5u | %7u | %7.1f | %7.2fx | %7.1f |\n", row.label, pages, counts[i],
                  median(perSecond[i]), median(perSecond[i]) / one, megabytes(peakKb[i]));
  }
}

// The ESC/P printer's pages against the MPS801's dense text in the same run of the
// table, on one and two threads, each run repeated with the workloads and counts taking
// turns; the cost of an ESC/P page is its time over an MPS801 page's.
void printEscpTable() {
  std::printf("\n## ESC/P pages against the MPS801's dense text, median of %u runs each\n\n", threadRepeats);
  std::printf("| workload                | pages | threads | pages/s | ms/page | cost / MPS801 | peak MB |\n");
  std::printf("|-------------------------|------:|--------:|--------:|--------:|--------------:|--------:|\n");
  const unsigned counts[] = {1u, 2u};
  constexpr size_t rows = std::size(escpComparison);
  std::vector<double> perSecond[rows][std::size(counts)];
  unsigned long peakKb[rows][std::size(counts)] = {};
  unsigned pages[rows] = {};
  for (unsigned repeat = 0; repeat < threadRepeats; ++repeat)
    for (size_t c = 0; c < std::size(counts); ++c)
      for (size_t r = 0; r < rows; ++r) {
        WorkloadRun workload{escpComparison[r], shortRunPages, WorkloadOutput::Png, counts[c]};
        RunSummary run = runWorkloadProcess(workload);
        perSecond[r][c].push_back(run.pages * msPerSecond / run.totalMs);
        peakKb[r][c] = std::max(peakKb[r][c], run.peakKb);
        pages[r] = run.pages;
      }
  std::string ratios;
  for (size_t r = 0; r < rows; ++r)
    for (size_t c = 0; c < std::size(counts); ++c) {
      double rate = median(perSecond[r][c]), cost = median(perSecond[0][c]) / rate;
      std::printf("| %-23s | %5u | %7u | %7.1f | %7.1f | %12.2fx | %7.1f |\n", workloadInfo(escpComparison[r]).label,
                  pages[r], counts[c], rate, msPerSecond / rate, cost, megabytes(peakKb[r][c]));
      if (r == 0) continue;
      char line[160];
      std::snprintf(line, sizeof line, "ESC/P page cost / MPS801 page cost, %s, %u thread%s: %.2fx (%s)\n",
                    workloadInfo(escpComparison[r]).label, counts[c], counts[c] == 1 ? "" : "s", cost,
                    cost <= escpCostGoal ? "within the goal of 3x" : "over the goal of 3x");
      ratios += line;
    }
  std::printf("\n%s", ratios.c_str());
}

// Endless paper: a banner's peak memory against one form's, its speed on every core,
// and the same banner into a PDF document.
void printEndlessTable() {
  std::printf("\n## Endless paper\n\n");
  // A 50-foot bit-image banner on endless paper (50 forms of 12 inches, 75,600 rows as
  // painted, 180,000 in ink at 300 pixels an inch) against one form of it: the sheet
  // is compressed as it is printed, so its peak should stay within 1.5 times.
  for (bool ink : {false, true}) {
    WorkloadRun banner{Workload::BitImage, 1, WorkloadOutput::Png, 1};
    banner.endless = true;
    if (ink) banner.look = LookStyle::Ink, banner.paper = PaperStyle::Plain;
    unsigned long one = runWorkloadProcess(banner).peakKb;
    banner.pages = bannerFeet;
    RunSummary long_ = runWorkloadProcess(banner);
    std::printf("bit-image banner, endless, %s, 1 thread: 1 form %.1f MB, %u feet %.1f MB (x%.2f) in %.1f s\n",
                ink ? "ink at 300 dpi on plain paper" : "dots", megabytes(one), bannerFeet, megabytes(long_.peakKb),
                double(long_.peakKb) / double(one), long_.totalMs / msPerSecond);
    // The forms drawn and compressed on every core, a form per thread.
    banner.threads = coreCount();
    RunSummary many = runWorkloadProcess(banner);
    std::printf("bit-image banner, endless, %s, %u threads: %u feet %.1f MB in %.1f s (x%.2f as fast)\n",
                ink ? "ink at 300 dpi on plain paper" : "dots", banner.threads, bannerFeet, megabytes(many.peakKb),
                many.totalMs / msPerSecond, long_.totalMs / many.totalMs);
  }
  // The same banner into a PDF document: a PDF page holds up to 200 inches of the
  // sheet, and is held whole while it is written, so the peak is that of one such page
  // whatever the sheet's length.
  std::printf("bit-image banner, endless, dots, PDF, 1 thread:");
  for (unsigned feet : {1u, bannerFeet / 2, bannerFeet}) {
    WorkloadRun banner{Workload::BitImage, feet, WorkloadOutput::Pdf, 1};
    banner.endless = true;
    RunSummary run = runWorkloadProcess(banner);
    std::printf(" %u %s %.1f MB in %.1f s;", feet, feet == 1 ? "foot" : "feet", megabytes(run.peakKb), run.totalMs / msPerSecond);
  }
  std::printf("\n");
}

void printMemoryTable() {
  std::printf("\n## Peak memory\n\n");
  WorkloadRun dense{Workload::DenseText, baseRunPages, WorkloadOutput::Png, 0};
  for (WorkloadOutput output : {WorkloadOutput::Png, WorkloadOutput::Pdf}) {
    dense.output = output;
    dense.pages = baseRunPages;
    unsigned long base = runRow(dense, 0).peakKb;
    dense.pages = dumpPages;
    unsigned long dump = runRow(dense, 0).peakKb;
    std::printf("dense text, %s, %u threads: %u pages %.1f MB, %u pages %.1f MB (%+.1f %%)\n",
                output == WorkloadOutput::Png ? "PNG" : "PDF", coreCount(), baseRunPages, megabytes(base), dumpPages,
                megabytes(dump), 100.0 * (double(dump) - double(base)) / double(base));
  }
  // The documents on one thread, so that no encoder process counts: a long run should
  // take hardly more memory than a short one.
  for (WorkloadOutput output : {WorkloadOutput::Text, WorkloadOutput::Pdf}) {
    WorkloadRun document{Workload::DenseText, dumpPages, output, 1};
    unsigned long base = runWorkloadProcess(document).peakKb;
    document.pages = longDocumentPages;
    unsigned long dump = runWorkloadProcess(document).peakKb;
    std::printf("dense text, %s, 1 thread: %u pages %.1f MB, %u pages %.1f MB (x%.2f), %.2f KB a page more\n",
                output == WorkloadOutput::Text ? "transcript" : "PDF", dumpPages, megabytes(base), longDocumentPages,
                megabytes(dump), double(dump) / double(base),
                (double(dump) - double(base)) / double(longDocumentPages - dumpPages));
  }
  dense = WorkloadRun{Workload::DenseText, baseRunPages, WorkloadOutput::Png, 0};
  // From one thread to two, the run gains its encoder processes; the cost of each
  // thread after that is the slope from the second count (two threads) to the most.
  std::vector<unsigned long> kb;
  std::printf("dense text, %u pages, by threads:", baseRunPages);
  for (unsigned threads : memoryThreadCounts) {
    kb.push_back(runRow(dense, threads).peakKb);
    std::printf(" %u: %.1f MB;", threads, megabytes(kb.back()));
  }
  unsigned two = memoryThreadCounts[1], most = memoryThreadCounts[std::size(memoryThreadCounts) - 1];
  std::printf(" %.1f MB each thread past %u\n", (megabytes(kb.back()) - megabytes(kb[1])) / double(most - two), two);
}

// A 10 MB stream of each kind rendered without and with its listing (-explain into a
// file), the runs taking turns; the listed run's speed over the plain one's.
void printListingTable() {
  std::printf("\n## Stream listing: 10 MB streams, rendered without and with -explain (%u threads)\n\n",
              coreCount());
  std::printf("| workload                | pages | stream MB | rendered s | listed s | speed listed |\n");
  std::printf("|-------------------------|------:|----------:|-----------:|---------:|-------------:|\n");
  for (Workload workload : {Workload::DenseText, Workload::BitImage}) {
    unsigned pages = pagesForStreamBytes(workload, listedStreamBytes);
    WorkloadRun run{workload, pages, WorkloadOutput::Png, 0};
    RunSummary plain = runRow(run, 0);
    run.explain = true;
    RunSummary listed = runRow(run, 0);
    double megabytes = double(listedStreamBytes) / bytesPerMb;
    std::printf("| %-23s | %5u | %9.1f | %10.2f | %8.2f | %11.0f %% |\n", workloadInfo(workload).label, plain.pages,
                megabytes, plain.totalMs / msPerSecond, listed.totalMs / msPerSecond,
                100.0 * plain.totalMs / listed.totalMs);
  }
}

// The dense text in every look the benchmark follows, at one thread per core: today's
// dots first, which the others are set beside.
struct LookRow {
  const char *label;
  LookStyle look;
  PaperStyle paper;
  unsigned dpi;
};

static const LookRow lookRows[] = {
    {"dots (today's pages)", LookStyle::Dots, PaperStyle::None, defaultInkDpi},
    {"dots, green-bar paper", LookStyle::Dots, PaperStyle::GreenBar, defaultInkDpi},
    {"ink, 300 dpi", LookStyle::Ink, PaperStyle::None, 300},
    {"ink, 300 dpi, green-bar", LookStyle::Ink, PaperStyle::GreenBar, 300},
    {"ink, 600 dpi", LookStyle::Ink, PaperStyle::None, 600},
    {"ink, 600 dpi, green-bar", LookStyle::Ink, PaperStyle::GreenBar, 600},
};

void printLookTable() {
  std::printf("\n## Paper and ink: dense text, %u encoder threads, median of %u runs each\n\n", coreCount(),
              threadRepeats);
  std::printf("| look                    | pages | pages/s | of dots | peak MB | peak MB, %3u pages |\n", dumpPages / 2);
  std::printf("|-------------------------|------:|--------:|--------:|--------:|-------------------:|\n");
  // The looks take turns, so that a busy moment of a shared machine does not fall on
  // one look alone.
  constexpr size_t rows = std::size(lookRows);
  std::vector<double> perSecond[rows];
  unsigned long peakKb[rows] = {};
  for (unsigned repeat = 0; repeat < threadRepeats; ++repeat)
    for (size_t i = 0; i < rows; ++i) {
      const LookRow &row = lookRows[i];
      RunSummary run = runWorkloadProcess(
          WorkloadRun{Workload::DenseText, shortRunPages, WorkloadOutput::Png, coreCount(), row.look, row.paper, row.dpi});
      perSecond[i].push_back(run.pages * msPerSecond / run.totalMs);
      peakKb[i] = std::max(peakKb[i], run.peakKb);
    }
  double dots = median(perSecond[0]);
  for (size_t i = 0; i < rows; ++i) {
    const LookRow &row = lookRows[i];
    WorkloadRun longRun{Workload::DenseText, dumpPages / 2, WorkloadOutput::Png, coreCount(), row.look, row.paper, row.dpi};
    unsigned long longKb = runWorkloadProcess(longRun).peakKb;
    std::printf("| %-23s | %5u | %7.1f | %6.0f %% | %7.1f | %18.1f |\n", row.label, shortRunPages,
                median(perSecond[i]), 100 * median(perSecond[i]) / dots, megabytes(peakKb[i]), megabytes(longKb));
  }
}

void printTables() {
  printKindTable();
  printThreadTable();
  printEscpTable();
  printMemoryTable();
  printEndlessTable();
  printListingTable();
  printLiveLatencyTable();
  printLookTable();
}

void printLooksOnly() { printLookTable(); }

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

WorkloadRun childRun;

void runChildWorkload() { reportWorkloadRun(childRun); }

int usage() {
  std::fprintf(stderr,
               "usage: tambrix_bench [--live | --looks | --escp | --endless | --workload NAME --pages N --threads T [--pdf|--text] [--ink DPI]"
               " [--paper STYLE] [--explain] [--endless]]\n  workloads:");
  for (const WorkloadInfo &info : allWorkloads()) std::fprintf(stderr, " %s", info.name);
  std::fprintf(stderr, "\n");
  return 2;
}

// The words after the first six: --pdf, --ink DPI, --paper STYLE; false for any other.
bool parseLookWords(int argc, char **argv, WorkloadRun &run) {
  for (int i = 7; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pdf") == 0) {
      run.output = WorkloadOutput::Pdf;
    } else if (std::strcmp(argv[i], "--text") == 0) {
      run.output = WorkloadOutput::Text;
    } else if (std::strcmp(argv[i], "--explain") == 0) {
      run.explain = true;
    } else if (std::strcmp(argv[i], "--endless") == 0) {
      run.endless = true;
    } else if (std::strcmp(argv[i], "--ink") == 0 && i + 1 < argc) {
      run.look = LookStyle::Ink;
      run.dpi = unsigned(std::atoi(argv[++i]));
      if (run.dpi < minInkDpi || run.dpi > maxInkDpi) return false;
    } else if (std::strcmp(argv[i], "--paper") == 0 && i + 1 < argc) {
      ++i;
      bool known = false;
      for (PaperStyle paper : {PaperStyle::Plain, PaperStyle::GreenBar, PaperStyle::BlueBar})
        if (std::strcmp(argv[i], paperWord(paper)) == 0) run.paper = paper, known = true;
      if (!known) return false;
    } else {
      return false;
    }
  }
  return true;
}

int runChild(int argc, char **argv) {
  if (argc < 7 || std::strcmp(argv[3], "--pages") != 0 || std::strcmp(argv[5], "--threads") != 0) return usage();
  const WorkloadInfo *info = findWorkload(argv[2]);
  int pages = std::atoi(argv[4]), threads = std::atoi(argv[6]);
  if (info == nullptr || pages < 1 || threads < 1) return usage();
  childRun = WorkloadRun{info->workload, unsigned(pages), WorkloadOutput::Png, unsigned(threads)};
  if (!parseLookWords(argc, argv, childRun)) return usage();
  initImageLibrary(argv[0]);
  return reportingErrors(runChildWorkload);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 1) return reportingErrors(printTables);
  if (argc == 2 && std::strcmp(argv[1], "--looks") == 0) return reportingErrors(printLooksOnly);
  if (argc == 2 && std::strcmp(argv[1], "--escp") == 0) return reportingErrors(printEscpTable);
  if (argc == 2 && std::strcmp(argv[1], "--endless") == 0) return reportingErrors(printEndlessTable);
  if (std::strcmp(argv[1], "--workload") == 0) return runChild(argc, argv);
  if (std::strcmp(argv[1], "--live") == 0) return reportingErrors(printLiveLatencyTable);
  return usage();
}
