// Pages encoded on several threads: every file and every message is the same as with
// one, and a page that fails stops the run where one thread would have stopped it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "run_support.h"

namespace fs = std::filesystem;

namespace {

const unsigned threadCounts[] = {1, 2, 7};

// A stream whose lines are too long for the paper: an autofeed in every line, and
// several pages.
std::string longLines() {
  std::string stream;
  for (int line = 0; line < 300; ++line) stream += std::string(100, char('A' + line % 26)) + "\r\n";
  return stream;
}

struct Case {
  const char *name;
  std::vector<std::string> words;  // besides the outputs and -threads
  std::string ribbon;              // ribbon.dat at the start; empty for none
  std::string input;               // standard input
};

// Every file the run left in its folder, and its output without the echo of -threads.
struct Outcome {
  std::map<std::string, std::string> files;
  std::string out;
  std::string err;
  int status;
};

Outcome runWith(const Case &c, unsigned threads, const std::vector<std::string> &outputs) {
  TempDir dir;
  writeRom(dir, testRom());
  if (!c.ribbon.empty()) writeFile(dir.file("ribbon.dat"), c.ribbon);
  fs::create_directory(dir.file("p-003.png"));  // page 3 cannot be put in place
  std::vector<std::string> words = c.words;
  words.insert(words.end(), outputs.begin(), outputs.end());
  words.insert(words.end(), {"-threads", std::to_string(threads)});
  RunResult r = runTambrix(dir, words, c.input);
  Outcome outcome{{}, r.out, r.err, r.status};
  std::string echo = "Encoder threads: " + std::to_string(threads) + ".\n";
  outcome.out.erase(outcome.out.find(echo), echo.size());
  for (const auto &entry : fs::recursive_directory_iterator(dir.path))
    if (entry.is_regular_file()) outcome.files[fs::relative(entry.path(), dir.path)] = readFile(entry.path());
  return outcome;
}

}  // namespace

TEST(PageOutput, AnyNumberOfThreadsGivesTheSameFilesAndMessages) {
  const std::string samples = SOURCE_DIR "/examples/";
  const Case cases[] = {
      {"showcase", {samples + "showcase.prn"}, "", ""},
      {"listing", {samples + "listing.prn"}, "", ""},
      {"raw", {"-raw", samples + "raw_showcase.prn"}, "", ""},
      {"worn ribbon", {samples + "listing.prn", "-halflife", "3000"}, "0 900 1800 2700 3600 4500 5400", ""},
      {"debug", {"-debug", "3", "-height", "3"}, "", longLines()},
  };
  for (const Case &c : cases) {
    Outcome one = runWith(c, 1, {"-out", "q", "-pdf", "q.pdf", "-text", "q.txt"});
    EXPECT_EQ(one.status, 0) << c.name;
    EXPECT_TRUE(one.files.count("q.pdf") && one.files.count("q.txt") && one.files.count("q-001.png")) << c.name;
    for (unsigned threads : threadCounts) {
      Outcome many = runWith(c, threads, {"-out", "q", "-pdf", "q.pdf", "-text", "q.txt"});
      EXPECT_EQ(many.out, one.out) << c.name << ", " << threads << " threads";
      EXPECT_TRUE(many.files == one.files) << c.name << ", " << threads << " threads";
    }
  }
}

// A page that fails ends the run where one thread would have ended it: page 3 cannot
// be put in place, so pages 1 and 2 are written; or the image library refuses to make
// an image as wide as a page, and its error, met in an encoder process, must reach the
// report as one thread reports it. No later page and no temporary file is left, and
// the strike counts are not saved.
TEST(PageOutput, AFailedPageEndsTheRunThereWithAnyNumberOfThreads) {
  struct Failure {
    const char *name;
    const char *widthLimit;  // the image library's limit on image width; null for none
    std::string err;         // how the report begins (the library's wording varies by build)
    std::vector<std::string> files;
  };
  const Failure failures[] = {
      {"page 3 in place", nullptr, "Error: tambrix: unable to write page file `p-003.png': Is a directory\n",
       {"PRINTER/mps801.bin", "p-001.png", "p-002.png", "ribbon.dat"}},
      {"image library", "100", "Error: tambrix: ", {"PRINTER/mps801.bin", "ribbon.dat"}},
  };
  Case c{"long lines", {"-debug", "1", "-height", "3"}, "1 2 3", longLines()};
  for (const Failure &failure : failures) {
    if (failure.widthLimit != nullptr) setenv("MAGICK_WIDTH_LIMIT", failure.widthLimit, 1);
    Outcome one = runWith(c, 1, {"-out", "p", "-pdf", "p.pdf"});
    EXPECT_EQ(one.status, 1) << failure.name;
    EXPECT_EQ(one.err.substr(0, failure.err.size()), failure.err) << failure.name;
    std::vector<std::string> names;
    for (const auto &file : one.files) names.push_back(file.first);
    EXPECT_EQ(names, failure.files) << failure.name;
    EXPECT_EQ(one.files["ribbon.dat"], "1 2 3") << failure.name;
    for (unsigned threads : threadCounts) {
      Outcome many = runWith(c, threads, {"-out", "p", "-pdf", "p.pdf"});
      EXPECT_EQ(many.status, 1) << failure.name;
      EXPECT_EQ(many.err, one.err) << failure.name << ", " << threads << " threads";
      EXPECT_EQ(many.out, one.out) << failure.name << ", " << threads << " threads";
      EXPECT_TRUE(many.files == one.files) << failure.name << ", " << threads << " threads";
    }
    unsetenv("MAGICK_WIDTH_LIMIT");
  }
}
