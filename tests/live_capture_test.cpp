// Live capture: jobs printed as they come from a followed file, a pipe or a TCP port,
// each writing exactly what a run over its bytes alone writes, under numbered names.
// Idle times are short, every wait is bounded, and the network is the loopback only.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "run_support.h"

namespace fs = std::filesystem;

namespace {

const std::string idle = "0.3";       // seconds: a job ends this long after its last byte
constexpr useconds_t burstPause = 800000;  // microseconds between bursts: past the idle time

// Three jobs' bytes: text, a bit image, and text in double width over two lines.
const std::string bursts[3] = {"FIRST JOB\r\n", bytes({8, 255, 170, 213, 13, 10, 15}) + "SECOND\r\n",
                               bytes({14}) + "THIRD\r\nJOB\r\n"};

// Every file in dir but the ROM, the store and the input, with its bytes.
std::map<std::string, std::string> outputsIn(const TempDir &dir) {
  std::map<std::string, std::string> files = filesIn(dir);
  files.erase("ribbon.dat");
  files.erase("in.prn");
  return files;
}

void prepare(const TempDir &dir) { writeRom(dir, testRom()); }

// The port a listening run says it listens on.
unsigned listeningPort(const std::string &out) {
  const std::string said = "Listening on 127.0.0.1:";
  size_t at = out.find(said);
  return at == std::string::npos ? 0 : unsigned(std::stoul(out.substr(at + said.size())));
}

// What a batch run of the job's bytes writes under the job's names.
std::map<std::string, std::string> batchJob(const std::string &stream, unsigned number) {
  TempDir dir;
  prepare(dir);
  char suffix[8];
  std::snprintf(suffix, sizeof suffix, "-%03u", number);
  RunResult r = runTambrix(dir, {"-out", std::string("p") + suffix, "-pdf", std::string("j") + suffix + ".pdf", "-text",
                                 std::string("j") + suffix + ".txt"},
                           stream);
  EXPECT_EQ(r.status, 0);
  return outputsIn(dir);
}

// The files of the three bursts as jobs 1 to 3 (first + 1 on), each a batch run's.
std::map<std::string, std::string> expectedJobs(unsigned first = 1) {
  std::map<std::string, std::string> all;
  for (unsigned i = 0; i < 3; ++i)
    for (auto &[name, bytes] : batchJob(bursts[i], first + i)) all[name] = bytes;
  return all;
}

const std::vector<std::string> outputs = {"-out", "p", "-pdf", "j.pdf", "-text", "j.txt", "-idle", idle};

void expectSameFiles(const std::map<std::string, std::string> &got, const std::map<std::string, std::string> &want) {
  EXPECT_EQ(got.size(), want.size());
  for (const auto &[name, bytes] : want) {
    auto found = got.find(name);
    EXPECT_TRUE(found != got.end() && found->second == bytes) << name;
  }
}

}  // namespace

TEST(LiveCapture, AFollowedFileThatGrowsInBurstsGivesOneJobEach) {
  TempDir dir;
  prepare(dir);
  std::vector<std::string> words = {"in.prn", "-follow"};
  words.insert(words.end(), outputs.begin(), outputs.end());
  BackgroundRun run = startTambrix(dir, words, false);
  ASSERT_TRUE(waitForOutput(run, "Waiting for in.prn to appear.\n", 10));
  std::string grown;
  for (const std::string &burst : bursts) {
    grown += burst;
    writeFile(dir.file("in.prn") + ".new", grown);
    if (grown == burst) fs::rename(dir.file("in.prn") + ".new", dir.file("in.prn"));  // appears whole
    else {
      fs::remove(dir.file("in.prn") + ".new");
      FILE *file = std::fopen(dir.file("in.prn").c_str(), "ab");
      std::fwrite(burst.data(), 1, burst.size(), file);
      std::fclose(file);
    }
    usleep(burstPause);
  }
  EXPECT_TRUE(waitForOutput(run, "Job 3: 1 page.\n", 10));
  // Cut short, the file is a new job from its beginning.
  writeFile(dir.file("in.prn"), bursts[0]);
  EXPECT_TRUE(waitForOutput(run, "Job 4: 1 page.\n", 10));
  kill(run.pid, SIGTERM);
  RunResult r = finishTambrix(run, 10);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::map<std::string, std::string> want = expectedJobs();
  for (auto &[name, bytes] : batchJob(bursts[0], 4)) want[name] = bytes;
  expectSameFiles(outputsIn(dir), want);
}

TEST(LiveCapture, APipeWithAnIdleTimeSplitsTheSameWay) {
  TempDir dir;
  prepare(dir);
  writeFile(dir.file("j-007.pdf"), "yesterday's job");  // numbering goes on after it
  BackgroundRun run = startTambrix(dir, outputs);
  for (const std::string &burst : bursts) {
    sendInput(run, burst);
    usleep(burstPause);
  }
  sendInput(run, bytes({13, 10, 13}));  // prints nothing: no job, no number
  usleep(burstPause);
  closeInput(run);
  RunResult r = finishTambrix(run, 10);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Job 10: 1 page.\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Job 11"), std::string::npos) << r.out;
  std::map<std::string, std::string> want = expectedJobs(8);
  want["j-007.pdf"] = "yesterday's job";
  expectSameFiles(outputsIn(dir), want);
}

TEST(LiveCapture, APortTakesConnectionsInTurn) {
  TempDir dir;
  prepare(dir);
  std::vector<std::string> words = {"-listen", "0"};
  words.insert(words.end(), outputs.begin(), outputs.end());
  words.insert(words.end(), {"-threads", "2"});
  BackgroundRun run = startTambrix(dir, words, false);
  ASSERT_TRUE(waitForOutput(run, "Listening on 127.0.0.1:", 10));
  std::string out = outputSoFar(run);
  unsigned port = listeningPort(out);
  // All three connect at once; the second and third wait, and their bytes must not mix.
  int connections[3];
  for (int &connection : connections) {
    connection = connectLoopback(port);
    ASSERT_GE(connection, 0);
  }
  for (int i = 2; i >= 0; --i) ASSERT_EQ(write(connections[i], bursts[i].data(), bursts[i].size()), ssize_t(bursts[i].size()));
  for (int connection : connections) close(connection);
  EXPECT_TRUE(waitForOutput(run, "Job 3: 1 page.\n", 10));
  kill(run.pid, SIGINT);
  RunResult r = finishTambrix(run, 10);
  EXPECT_EQ(r.status, 0) << r.err;
  expectSameFiles(outputsIn(dir), expectedJobs());
}

// A stop signal ends the job in progress as if its idle time had passed; a second one
// stops at once, as in a batch run.
TEST(LiveCapture, ASignalCompletesTheJobInProgress) {
  TempDir dir;
  prepare(dir);
  std::vector<std::string> words = outputs;
  words.back() = "60";  // the job would wait a minute for more
  BackgroundRun run = startTambrix(dir, words);
  sendInput(run, bursts[0]);
  usleep(burstPause);
  kill(run.pid, SIGTERM);
  RunResult r = finishTambrix(run, 10);
  EXPECT_EQ(r.status, 0) << r.err;
  expectSameFiles(outputsIn(dir), batchJob(bursts[0], 1));

  TempDir twice;
  prepare(twice);
  run = startTambrix(twice, words);
  sendInput(run, bursts[0]);
  usleep(burstPause);
  kill(run.pid, SIGTERM);
  kill(run.pid, SIGTERM);
  r = finishTambrix(run, 10);
  EXPECT_TRUE(r.status == 0 || r.status == 128 + SIGTERM) << r.status;
  for (auto &[name, bytes] : outputsIn(twice)) EXPECT_TRUE(batchJob(bursts[0], 1)[name] == bytes) << name;
}

TEST(LiveCapture, WhatCannotBeLiveIsRefusedBeforeAnythingHappens) {
  TempDir dir;
  prepare(dir);
  unsigned port = 0;
  {  // a port that is taken: a run of our own holds it
    BackgroundRun holder = startTambrix(dir, {"-listen", "0", "-out", "h"}, false);
    ASSERT_TRUE(waitForOutput(holder, "Listening on 127.0.0.1:", 10));
    std::string out = outputSoFar(holder);
    port = listeningPort(out);
    ASSERT_NE(port, 0u);
    RunResult r = runTambrix(dir, {"-listen", std::to_string(port)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: tambrix: cannot listen on 127.0.0.1:" + std::to_string(port) +
                         ": Address already in use"), std::string::npos) << r.err;
    kill(holder.pid, SIGTERM);
    EXPECT_EQ(finishTambrix(holder, 10).status, 0);
  }
  struct Refusal {
    std::vector<std::string> words;
    std::string err;
  };
  const Refusal refusals[] = {
      {{"-follow"}, "Error: tambrix: -follow needs the name of the input file to follow\n"},
      {{"-idle", "1", "-test", "3"}, "Error: tambrix: -test cannot be used in a live run\n"},
      {{"in.prn", "-follow", "-listen", "0"}, "Error: tambrix: -follow and -listen cannot be used together\n"},
  };
  for (const Refusal &refusal : refusals) {
    RunResult r = runTambrix(dir, refusal.words);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refusal.err);
  }
  EXPECT_TRUE(outputsIn(dir).empty());
  RunResult r = runTambrix(dir, {"-idle", "soon", "-listen", "host:port"});
  EXPECT_NE(r.out.find("Idle time soon out of range (0 to 86400 seconds), keeping the default.\n"), std::string::npos);
  EXPECT_NE(r.out.find("Listen address host:port not understood"), std::string::npos);
}
