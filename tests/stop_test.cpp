// A run stopped from outside: by a signal at any moment, or by a reader of its output
// that goes away. Whatever was put in place stays whole, nothing half written is left,
// the strike store is as it was, and no encoder process outlives the run.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "run_support.h"

namespace fs = std::filesystem;

namespace {

const std::string seededRibbon = "1 2 3 4 5 6 7\n";  // never written so by the program

// Full text pages, 72 lines of 80 letters each.
std::string densePages(unsigned pages) {
  std::string stream;
  for (unsigned line = 0; line < pages * 72; ++line) stream += std::string(80, char('A' + line % 26)) + "\r\n";
  return stream;
}

void prepare(const TempDir &dir) {
  writeRom(dir, testRom());
  writeFile(dir.file("ribbon.dat"), seededRibbon);
}

// The pages of a whole run of the stream, by file name.
std::map<std::string, std::string> wholeRun(const std::string &stream) {
  TempDir dir;
  prepare(dir);
  RunResult r = runTambrix(dir, {"-out", "p", "-threads", "1"}, stream);
  EXPECT_EQ(r.status, 0);
  std::map<std::string, std::string> pages = filesIn(dir);
  pages.erase("ribbon.dat");
  return pages;
}

// What a stopped run must leave: only pages of the whole run, each whole and each said
// to be written, the store untouched, and no process of its own.
void checkStopped(const TempDir &dir, const RunResult &r, int signal, const std::vector<pid_t> &encoders,
                  const std::map<std::string, std::string> &whole) {
  EXPECT_EQ(r.status, 128 + signal) << r.out << r.err;
  EXPECT_NE(r.err.find("tambrix: stopped by signal " + std::to_string(signal)), std::string::npos) << r.err;
  std::map<std::string, std::string> left = filesIn(dir);
  EXPECT_EQ(left["ribbon.dat"], seededRibbon);
  left.erase("ribbon.dat");
  for (const auto &[name, bytes] : left) {
    ASSERT_TRUE(whole.count(name)) << "left behind: " << name;
    EXPECT_TRUE(bytes == whole.at(name)) << name << " is not whole";
    EXPECT_NE(r.out.find(name + " written.\n"), std::string::npos) << name;
  }
  for (pid_t encoder : encoders) {
    bool gone = false;
    for (int tries = 0; tries < 200 && !gone; ++tries) {
      gone = processGone(encoder);
      if (!gone) usleep(10000);
    }
    EXPECT_TRUE(gone) << "encoder process " << encoder << " outlived the run";
  }
}

}  // namespace

// SIGTERM before any input, while the run waits for more input after some pages, and
// while it renders the last of its input with everything read; SIGINT once. With two
// encoder threads, so that encoder processes are running.
TEST(Stop, ASignalLeavesWholePagesOnly) {
  const std::string stream = densePages(12);
  const std::map<std::string, std::string> whole = wholeRun(stream);
  ASSERT_EQ(whole.size(), 12u);
  enum class Moment { BeforeInput, WaitingForInput, Rendering };
  struct Stop {
    const char *name;
    Moment moment;
    int signal;
    bool toAnotherThread;  // the kernel hands it to a thread other than the run's
  };
  const Stop stops[] = {
      {"before input", Moment::BeforeInput, SIGTERM, false},
      {"waiting for input", Moment::WaitingForInput, SIGTERM, false},
      {"rendering", Moment::Rendering, SIGTERM, false},
      {"interrupt, waiting", Moment::WaitingForInput, SIGINT, false},
      {"taken by another thread", Moment::Rendering, SIGTERM, true},
  };
  for (const Stop &stop : stops) {
    SCOPED_TRACE(stop.name);
    TempDir dir;
    prepare(dir);
    BackgroundRun run = startTambrix(dir, {"-out", "p", "-pdf", "p.pdf", "-text", "p.txt", "-threads", "2"});
    ASSERT_TRUE(waitForOutput(run, "Encoder threads: 2.\n", 10));
    if (stop.moment == Moment::WaitingForInput) {
      sendInput(run, stream.substr(0, stream.size() / 2));
      EXPECT_TRUE(waitForOutput(run, "p-004.png written.\n", 20));
    } else if (stop.moment == Moment::Rendering) {
      sendInput(run, stream);
      closeInput(run);
      EXPECT_TRUE(waitForOutput(run, "p-002.png written.\n", 20));
    }
    usleep(50000);  // the encoder processes are forked once the input is open
    std::vector<pid_t> encoders = childProcesses(run.pid);
    if (stop.toAnotherThread) {
      pid_t thread = otherThreadTaking(run.pid, stop.signal);
      ASSERT_NE(thread, 0);
      tgkill(run.pid, thread, stop.signal);
    } else {
      kill(run.pid, stop.signal);
    }
    RunResult r = finishTambrix(run, 20);
    checkStopped(dir, r, stop.signal, encoders, whole);
    if (stop.moment != Moment::BeforeInput) {
      EXPECT_EQ(encoders.size(), 2u);
    }
  }
}

// A reader that takes the first line and goes: the run still writes every page, its
// PDF, its transcript and the strike store, and ends in order.
TEST(Stop, AClosedStandardOutputCostsOnlyTheMessages) {
  TempDir dir;
  prepare(dir);
  writeFile(dir.file("in.prn"), densePages(6));
  writeFile(dir.file("run.sh"), "'" TAMBRIX_BINARY "' in.prn -out p -pdf p.pdf -text p.txt -threads 2 | head -1 >"
                                " first.txt; echo ${PIPESTATUS[0]} > status.txt\n");
  ASSERT_EQ(std::system(("cd '" + dir.path + "' && bash run.sh").c_str()), 0);
  EXPECT_EQ(readFile(dir.file("first.txt")), "TAMBRIX V0.1 beta 4\n");
  EXPECT_EQ(readFile(dir.file("status.txt")), "0\n");
  EXPECT_EQ(pngFiles(dir).size(), 6u);
  EXPECT_EQ(readFile(dir.file("p.pdf")).rfind("%PDF", 0), 0u);
  EXPECT_NE(readFile(dir.file("p.txt")).find(std::string(80, 'A')), std::string::npos);
  EXPECT_NE(readFile(dir.file("ribbon.dat")), seededRibbon);
}
