// Runs one after another in one process, as a capture that prints many jobs does them:
// each on a printer of its own, after the output's reset, a run writes exactly what a
// fresh process writes for it alone, its messages included, whatever the run before it
// left behind: looks, paper, plain text and listings too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <map>

#include "app/run_options.h"
#include "output/page_image.h"
#include "run_support.h"

namespace fs = std::filesystem;

namespace {

// One run: its words, its stream, and the ROM image it finds (a short one leaves the
// business lower case blank, where a ROM of an earlier run would still show it).
struct Job {
  const char *name;
  std::vector<std::string> words;
  std::string stream;
  size_t romBytes;
};

std::string text(const std::string &line, int times) {
  std::string stream;
  for (int i = 0; i < times; ++i) stream += line + "\r\n";
  return stream;
}

// What a run left: its files but the ROM, and its standard output.
struct Outcome {
  std::map<std::string, std::string> files;
  std::string out;
  int status;
};

void prepare(const TempDir &dir, const Job &job, const std::string &ribbon) {
  std::vector<uint8_t> rom = testRom();
  rom.resize(job.romBytes);
  writeRom(dir, rom);
  writeFile(dir.file("ribbon.dat"), ribbon);
  writeFile(dir.file("in.prn"), job.stream);
}

// The job run in this process, in dir: options parsed and the run sequence run, with
// standard output caught.
Outcome runHere(const TempDir &dir, const Job &job) {
  char home[PATH_MAX];
  EXPECT_NE(getcwd(home, sizeof home), nullptr);
  EXPECT_EQ(chdir(dir.path.c_str()), 0);
  std::string caught = dir.path + ".out";
  std::fflush(stdout);
  int saved = dup(1);
  int out = open(caught.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out, 1);
  close(out);
  std::vector<std::string> words = {"tambrix", "in.prn"};
  words.insert(words.end(), job.words.begin(), job.words.end());
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  int status = runReportingErrors([&argv] {
    RunOptions options;
    parseOptions(int(argv.size()), argv.data(), options);
    return runPrintJob(options, stdin);
  });
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  EXPECT_EQ(chdir(home), 0);
  Outcome outcome{filesIn(dir), readFile(caught), status};
  fs::remove(caught);
  return outcome;
}

// The job run by a fresh program, without the banner.
Outcome runFresh(const TempDir &dir, const Job &job) {
  std::vector<std::string> words = {"in.prn"};
  words.insert(words.end(), job.words.begin(), job.words.end());
  RunResult r = runTambrix(dir, words);
  EXPECT_EQ(r.err, "");
  const std::string banner = "TAMBRIX V0.1 beta 4\n";
  EXPECT_EQ(r.out.rfind(banner, 0), 0u);
  return Outcome{filesIn(dir), r.out.substr(banner.size()), r.status};
}

}  // namespace

TEST(RunReset, EachRunInOneProcessIsAFreshRun) {
  initImageLibrary("tambrix");
  const std::string business = bytes({17}) + "\r" + text("lower case and CAPITALS", 3);
  const Job jobs[] = {
      {"marks and wear", {"-debug", "3", "-halflife", "200", "-out", "m", "-threads", "2"},
       text("WORN RIBBON, MARKED CELLS", 40) + bytes({27, 16}), 4096},
      {"plain, short rom", {"-out", "p"}, text("PLAIN", 3) + bytes({145}) + "abc\r", 3000},
      {"business pdf", {"-business", "-pdf", "b.pdf", "-text", "b.txt"}, business, 4096},
      {"raw transcript", {"-raw", "-text", "r.txt", "-out", "r", "-height", "2"}, text("RAW", 30), 4096},
      {"graphic pdf", {"-pdf", "g.pdf", "-threads", "1"}, text("abc DEF", 5) + bytes({8, 255, 13, 10}), 2048},
      {"ink on paper", {"-paper", "greenbar", "-look", "ink", "-dpi", "100", "-ribbon", "blue", "-out", "k"},
       text("INK ON GREENBAR", 4) + bytes({8, 255, 170, 13, 10}), 4096},
      {"plain text listed", {"-ascii", "-explain", "x.lst", "-text", "a.txt", "-out", "a"},
       "plain text, with\ttabs and \xC2\xA3\nover two lines\r\n", 4096},
  };
  const size_t count = std::size(jobs);
  for (size_t i = 0; i < count; ++i) {
    const Job &before = jobs[i], &job = jobs[(i + 1) % count];
    SCOPED_TRACE(std::string(before.name) + ", then " + job.name);
    TempDir first, second, fresh;
    prepare(first, before, "0 0 0 0 0 0 0");
    Outcome previous = runHere(first, before);
    ASSERT_EQ(previous.status, 0) << previous.out;
    prepare(second, job, "7 70 700 7000 70 7 0");
    prepare(fresh, job, "7 70 700 7000 70 7 0");
    Outcome here = runHere(second, job);
    Outcome alone = runFresh(fresh, job);
    EXPECT_EQ(here.status, alone.status);
    EXPECT_EQ(here.out, alone.out);
    EXPECT_EQ(here.files.size(), alone.files.size());
    for (const auto &[name, bytes] : alone.files) EXPECT_TRUE(here.files[name] == bytes) << name;
  }
}
