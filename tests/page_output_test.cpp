// Pages encoded on several threads: every file and every message is the same as with
// one, and a page that fails stops the run where one thread would have stopped it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <unistd.h>

#include "run_support.h"

namespace fs = std::filesystem;

namespace {

const unsigned threadCounts[] = {1, 2, 7};

// A stream whose lines are too long for the paper: an autofeed in every line, and
// several pages.
std::string longLines(int lines = 300) {
  std::string stream;
  for (int line = 0; line < lines; ++line) stream += std::string(100, char('A' + line % 26)) + "\r\n";
  return stream;
}

struct Case {
  const char *name;
  std::vector<std::string> words;  // besides the outputs and -threads
  std::string ribbon;              // ribbon.dat at the start; empty for none
  std::string input;               // standard input
  bool killEncoder = false;        // with several threads, one encoder process is killed mid-run
};

constexpr unsigned pageWaitSteps = 4000;  // polls for the first page file, 5 ms apart
constexpr size_t feedChunk = 4096;        // bytes fed between polls

// Whether dir holds a page file, in place or still temporary.
bool hasPageFile(const TempDir &dir) {
  for (const auto &entry : fs::directory_iterator(dir.path))
    if (entry.is_regular_file() && entry.path().filename().string().find(".png") != std::string::npos) return true;
  return false;
}

// Feeds the input until the first page file appears (up to 3/4 of it), kills one of
// the program's encoder processes, and feeds the rest: the pages that slot is given
// from then on are encoded by its thread.
InputFeeder killingAnEncoder(const TempDir &dir, const std::string &input, unsigned threads) {
  return [&dir, &input, threads](pid_t program, int fd) {
    size_t fed = 0;
    unsigned step = 0;
    for (; step < pageWaitSteps && !hasPageFile(dir); ++step) {
      if (fed < input.size() / 4 * 3) {
        EXPECT_TRUE(writeAll(fd, input.substr(fed, feedChunk)));
        fed += feedChunk;
      }
      usleep(5000);
    }
    EXPECT_LT(step, pageWaitSteps) << "no page file after " << fed << " bytes";
    std::vector<pid_t> encoders = childProcesses(program);
    EXPECT_EQ(encoders.size(), threads);
    if (!encoders.empty()) kill(encoders.front(), SIGKILL);
    EXPECT_TRUE(writeAll(fd, input.substr(std::min(fed, input.size())))) << "the program ended early";
  };
}

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
  RunResult r = c.killEncoder && threads > 1
                    ? runTambrix(dir, words, "", TAMBRIX_BINARY, killingAnEncoder(dir, c.input, threads))
                    : runTambrix(dir, words, c.input);
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
      // The input is read ahead in large blocks: carriage returns, which print nothing,
      // keep the second half of the pages out of the first read.
      {"encoder process killed", {"-height", "3"}, "", longLines(200) + std::string(70000, '\r') + longLines(200), true},
      // Endless paper: each form is compressed on an encoder thread as a piece of the
      // sheet, and the pieces are joined in order.
      {"endless", {samples + "listing.prn", "-endless", "-height", "300"}, "", ""},
      {"endless ink", {samples + "showcase.prn", "-endless", "-look", "ink", "-dpi", "100", "-paper", "greenbar", "-height", "400"}, "", ""},
  };
  for (const Case &c : cases) {
    Outcome one = runWith(c, 1, {"-out", "q", "-pdf", "q.pdf", "-text", "q.txt"});
    EXPECT_EQ(one.status, 0) << c.name;
    EXPECT_TRUE(one.files.count("q.pdf") && one.files.count("q.txt") && one.files.count("q-001.png")) << c.name;
    for (unsigned threads : threadCounts) {
      Outcome many = runWith(c, threads, {"-out", "q", "-pdf", "q.pdf", "-text", "q.txt"});
      EXPECT_EQ(many.status, 0) << c.name << ", " << threads << " threads";
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
    std::string err;         // how the report begins
    std::string says;        // how the rest of it begins, in lower case without spaces: the
                             // library's wording is spelt out in some builds, CamelCase in others
    std::vector<std::string> files;
  };
  const Failure failures[] = {
      {"page 3 in place", nullptr, "Error: tambrix: unable to write page file `p-003.png': Is a directory\n", "",
       {"PRINTER/mps801.bin", "p-001.png", "p-002.png", "ribbon.dat"}},
      {"image library", "100", "Error: tambrix: ", "widthorheightexceedslimit", {"PRINTER/mps801.bin", "ribbon.dat"}},
  };
  Case c{"long lines", {"-debug", "1", "-height", "3"}, "1 2 3", longLines()};
  for (const Failure &failure : failures) {
    if (failure.widthLimit != nullptr) setenv("MAGICK_WIDTH_LIMIT", failure.widthLimit, 1);
    Outcome one = runWith(c, 1, {"-out", "p", "-pdf", "p.pdf"});
    EXPECT_EQ(one.status, 1) << failure.name;
    EXPECT_EQ(one.err.substr(0, failure.err.size()), failure.err) << failure.name;
    std::string said;
    for (char letter : one.err.substr(std::min(failure.err.size(), one.err.size())))
      if (letter != ' ') said += char(std::tolower(static_cast<unsigned char>(letter)));
    EXPECT_EQ(said.rfind(failure.says, 0), 0u) << failure.name << ": " << one.err;
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
