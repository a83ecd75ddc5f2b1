// Live capture: jobs printed as they come from a followed file, a pipe or a TCP port,
// each writing exactly what a run over its bytes alone writes, under numbered names.
// Idle times are short, every wait is bounded, and the network is the loopback only.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <sys/socket.h>

#include "run_support.h"

namespace fs = std::filesystem;

namespace {

const std::string idle = "0.3";       // seconds: a job ends this long after its last byte
// Seconds a test waits for what it expects before it fails: long, so that only a run
// that went wrong meets it, however busy the machine and slow the sanitizer.
constexpr double patience = 180;
constexpr useconds_t burstPause = 1500000;  // microseconds between bursts: five times the idle time

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
  ASSERT_TRUE(waitForOutput(run, "Waiting for in.prn to appear.\n", patience));
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
  EXPECT_TRUE(waitForOutput(run, "Job 3: 1 page.\n", patience));
  // Cut short, the file is a new job from its beginning.
  writeFile(dir.file("in.prn"), bursts[0]);
  EXPECT_TRUE(waitForOutput(run, "Job 4: 1 page.\n", patience));
  kill(run.pid, SIGTERM);
  RunResult r = finishTambrix(run, patience);
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
  RunResult r = finishTambrix(run, patience);
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
  ASSERT_TRUE(waitForOutput(run, "Listening on 127.0.0.1:", patience));
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
  EXPECT_TRUE(waitForOutput(run, "Job 3: 1 page.\n", patience));
  kill(run.pid, SIGINT);
  RunResult r = finishTambrix(run, patience);
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
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0) << r.err;
  expectSameFiles(outputsIn(dir), batchJob(bursts[0], 1));

  TempDir twice;
  prepare(twice);
  run = startTambrix(twice, words);
  sendInput(run, bursts[0]);
  usleep(burstPause);
  kill(run.pid, SIGTERM);
  kill(run.pid, SIGTERM);
  r = finishTambrix(run, patience);
  EXPECT_TRUE(r.status == 0 || r.status == 128 + SIGTERM) << r.status;
  for (auto &[name, bytes] : outputsIn(twice)) EXPECT_TRUE(batchJob(bursts[0], 1)[name] == bytes) << name;
}

TEST(LiveCapture, WhatCannotBeLiveIsRefusedBeforeAnythingHappens) {
  TempDir dir;
  prepare(dir);
  unsigned port = 0;
  {  // a port that is taken: a run of our own holds it
    BackgroundRun holder = startTambrix(dir, {"-listen", "0", "-out", "h"}, false);
    ASSERT_TRUE(waitForOutput(holder, "Listening on 127.0.0.1:", patience));
    std::string out = outputSoFar(holder);
    port = listeningPort(out);
    ASSERT_NE(port, 0u);
    RunResult r = runTambrix(dir, {"-listen", std::to_string(port)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: tambrix: cannot listen on 127.0.0.1:" + std::to_string(port) +
                         ": Address already in use"), std::string::npos) << r.err;
    kill(holder.pid, SIGTERM);
    EXPECT_EQ(finishTambrix(holder, patience).status, 0);
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

namespace {

// Starts a listening capture in dir and returns its port (0 when it did not say).
unsigned startListening(BackgroundRun &run, const TempDir &dir, std::vector<std::string> words) {
  words.insert(words.begin(), {"-listen", "0"});
  run = startTambrix(dir, words, false);
  if (!waitForOutput(run, "Listening on 127.0.0.1:", patience)) return 0;
  return listeningPort(outputSoFar(run));
}

// Connections on the loopback port that the system holds and the capture has not
// taken yet: the listening socket's queue; -1 when there is no such socket.
int notYetTaken(unsigned port) {
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::istringstream table(readFile("/proc/net/tcp"));
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string number, address, remote, state, queues;
    fields >> number >> address >> remote >> state >> queues;
    if (address == local && state == "0A") return int(std::stoul(queues.substr(queues.find(':') + 1), nullptr, 16));
  }
  return -1;
}

// Waits, at most seconds, until the capture holds as few connections as it will: the
// system's queue no longer shrinks for half a second. Returns what is left in it.
int settledQueue(unsigned port, double seconds) {
  int last = -2;
  for (int waited = 0, still = 0; waited < int(seconds * 10) && still < 5; ++waited) {
    usleep(100000);
    int now = notYetTaken(port);
    still = now == last ? still + 1 : 0;
    last = now;
  }
  return last;
}

// A writer that sends bursts to fd every few milliseconds on a thread, for at most
// seconds or until the reader is gone.
struct SteadySender {
  std::thread thread;
  std::atomic<bool> stop{false};
  void start(int fd, double seconds) {
    thread = std::thread([this, fd, seconds] {
      const std::string burst = "MORE\r\n";
      for (int i = 0; i < int(seconds * 100) && !stop; ++i) {
        ssize_t sent = send(fd, burst.data(), burst.size(), MSG_NOSIGNAL);  // a closed socket raises no signal
        if (sent < 0 && errno == ENOTSOCK) sent = write(fd, burst.data(), burst.size());
        if (sent < 0) return;
        usleep(10000);
      }
    });
  }
  // Stops sending and waits for the thread, before the descriptor is closed.
  void finish() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  ~SteadySender() { finish(); }
};

}  // namespace

// Where a job ends depends on when its bytes came, not on how long printing takes: a
// heavy job is still being printed while two bursts come, a pause apart, and each is a
// job of its own; the heavy one, sent at once, is one job however long it takes.
TEST(LiveCapture, JobsEndWhereTheBytesPausedHoweverSlowThePrinting) {
  TempDir dir;
  prepare(dir);
  std::string heavy;
  for (int line = 0; line < 4 * 72; ++line) heavy += "HEAVY LINE " + std::to_string(line) + "\r\n";  // four pages
  const std::vector<std::string> look = {"-look", "ink", "-dpi", "600", "-threads", "1"};
  std::vector<std::string> words = outputs;
  words.insert(words.end(), look.begin(), look.end());
  BackgroundRun run = startTambrix(dir, words);
  sendInput(run, heavy);
  usleep(burstPause);
  sendInput(run, bursts[0]);
  usleep(burstPause);
  sendInput(run, bursts[1]);
  closeInput(run);
  RunResult r = finishTambrix(run, 4 * patience);
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> want;
  const std::string streams[3] = {heavy, bursts[0], bursts[1]};
  for (unsigned job = 1; job <= 3; ++job) {
    TempDir batch;
    prepare(batch);
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "-%03u", job);
    std::vector<std::string> batchWords = {"-out", std::string("p") + suffix, "-pdf", std::string("j") + suffix + ".pdf",
                                           "-text", std::string("j") + suffix + ".txt"};
    batchWords.insert(batchWords.end(), look.begin(), look.end());
    EXPECT_EQ(runTambrix(batch, batchWords, streams[job - 1]).status, 0);
    for (auto &[name, bytes] : outputsIn(batch)) want[name] = bytes;
  }
  expectSameFiles(outputsIn(dir), want);
}

// Two captures in one folder with the same names never take one number, and neither
// replaces a file of the other's.
TEST(LiveCapture, TwoCapturesInOneFolderTakeNumbersOfTheirOwn) {
  TempDir dir;
  prepare(dir);
  const std::vector<std::string> words = {"-out", "p", "-text", "j.txt", "-idle", idle};
  BackgroundRun first = startTambrix(dir, words), second = startTambrix(dir, words);
  const std::string texts[2] = {"FROM THE FIRST\r\n", "FROM THE SECOND\r\n"};
  constexpr unsigned rounds = 3;
  for (unsigned round = 0; round < rounds; ++round) {
    sendInput(first, texts[0]);
    sendInput(second, texts[1]);
    usleep(burstPause);
  }
  closeInput(first);
  closeInput(second);
  EXPECT_EQ(finishTambrix(first, patience).status, 0);
  EXPECT_EQ(finishTambrix(second, patience).status, 0);
  std::map<std::string, std::string> files = outputsIn(dir), pages[2];
  for (unsigned i = 0; i < 2; ++i) pages[i] = batchJob(texts[i], 1);
  // Numbers may skip one the other capture held when a job began; none is shared.
  unsigned from[2] = {0, 0};
  for (const auto &[name, text] : files) {
    if (name.size() != 9 || name.compare(0, 2, "j-") != 0) continue;  // "j-NNN.txt"
    unsigned which = text.find("FIRST") != std::string::npos ? 0 : 1;
    ++from[which];
    EXPECT_EQ(text, pages[which]["j-001.txt"]) << name;
    std::string page = "p-" + name.substr(2, 3) + "-001.png";
    auto printed = files.find(page);
    EXPECT_TRUE(printed != files.end() && printed->second == pages[which]["p-001-001.png"]) << page;
  }
  EXPECT_EQ(from[0], rounds);
  EXPECT_EQ(from[1], rounds);
  EXPECT_EQ(files.size(), 4 * rounds);
}

// Many senders at once: each connection is a job, in the order they were taken, and
// none is closed unread. The capture takes a few at a time and leaves the rest waiting
// in the system's queue.
TEST(LiveCapture, EveryConnectionIsAJobInTheOrderTaken) {
  TempDir dir;
  prepare(dir);
  BackgroundRun run;
  unsigned port = startListening(run, dir, {"-text", "j.txt", "-idle", "30"});
  ASSERT_NE(port, 0u);
  // The first connection keeps its turn, silent; 20 more wait behind it.
  int holder = connectLoopback(port);
  ASSERT_GE(holder, 0);
  std::vector<int> senders;
  for (int i = 0; i < 20; ++i) senders.push_back(connectLoopback(port));
  EXPECT_EQ(settledQueue(port, patience), 20 - 16) << "16 connections wait, taken, and the rest stay in the queue";
  close(holder);
  constexpr unsigned clients = 300;
  for (unsigned i = 20; i < clients; ++i) senders.push_back(connectLoopback(port));
  for (unsigned i = 0; i < clients; ++i) {
    ASSERT_GE(senders[i], 0) << i;
    std::string job = "JOB " + std::to_string(i + 1) + "\r\n";
    EXPECT_TRUE(writeAll(senders[i], job));
    close(senders[i]);
  }
  EXPECT_TRUE(waitForOutput(run, "Job 300: 1 page.\n", 4 * patience));
  kill(run.pid, SIGINT);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> files = outputsIn(dir);
  EXPECT_EQ(files.size(), clients);
  for (unsigned i = 1; i <= clients; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "j-%03u.txt", i);
    EXPECT_EQ(files[name].substr(0, files[name].find('\n')), "JOB " + std::to_string(i)) << name;
  }
}

// A connection that sends nothing loses its turn when its idle time runs out.
TEST(LiveCapture, ASilentConnectionLosesItsTurn) {
  TempDir dir;
  prepare(dir);
  BackgroundRun run;
  unsigned port = startListening(run, dir, outputs);
  ASSERT_NE(port, 0u);
  int silent = connectLoopback(port), sender = connectLoopback(port);
  ASSERT_GE(silent, 0);
  ASSERT_GE(sender, 0);
  EXPECT_TRUE(writeAll(sender, bursts[0]));
  close(sender);
  EXPECT_TRUE(waitForOutput(run, "Job 1: 1 page.\n", patience));
  close(silent);
  kill(run.pid, SIGTERM);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0) << r.err;
  expectSameFiles(outputsIn(dir), batchJob(bursts[0], 1));
}

// The first stop signal ends the reading: what had arrived is printed as the jobs it
// belongs to, connections that wait their turn included, and what comes after is not
// read, however steadily a sender goes on.
TEST(LiveCapture, AStopPrintsWhatArrivedAndReadsNoMore) {
  {  // connections: one sending steadily, two that sent all and wait
    TempDir dir;
    prepare(dir);
    BackgroundRun run;
    unsigned port = startListening(run, dir, {"-text", "j.txt", "-idle", "60"});
    ASSERT_NE(port, 0u);
    int steady = connectLoopback(port);
    ASSERT_GE(steady, 0);
    int waiting[2] = {connectLoopback(port), connectLoopback(port)};
    for (int i = 0; i < 2; ++i) {
      ASSERT_GE(waiting[i], 0);
      EXPECT_TRUE(writeAll(waiting[i], "WAITING " + std::to_string(i + 1) + "\r\n"));
      close(waiting[i]);
    }
    SteadySender sender;
    sender.start(steady, 60);
    EXPECT_EQ(settledQueue(port, patience), 0);
    kill(run.pid, SIGINT);
    RunResult r = finishTambrix(run, patience);
    sender.finish();
    close(steady);
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> files = outputsIn(dir);
    EXPECT_EQ(files.size(), 3u);
    EXPECT_EQ(files["j-001.txt"].substr(0, 4), "MORE");
    EXPECT_EQ(files["j-002.txt"], "WAITING 1\n");
    EXPECT_EQ(files["j-003.txt"], "WAITING 2\n");
  }
  {  // a followed file that never stops growing
    TempDir dir;
    prepare(dir);
    writeFile(dir.file("in.prn"), "");
    BackgroundRun run = startTambrix(dir, {"in.prn", "-follow", "-text", "j.txt", "-idle", "60"}, false);
    int file = open(dir.file("in.prn").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(file, 0);
    SteadySender sender;
    sender.start(file, 60);
    usleep(burstPause);
    kill(run.pid, SIGTERM);
    RunResult r = finishTambrix(run, patience);
    sender.finish();
    close(file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Job 1: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Job 2"), std::string::npos) << r.out;
  }
}

// A second stop signal stops at once, in the middle of a job.
TEST(LiveCapture, ASecondStopSignalStopsAtOnce) {
  TempDir dir;
  prepare(dir);
  std::string heavy;
  for (int line = 0; line < 2000 * 6; ++line) heavy += "PAGE\r\n";  // 2000 pages of an inch
  BackgroundRun run = startTambrix(dir, {"-out", "p", "-height", "1", "-idle", "60", "-threads", "1"});
  sendInput(run, heavy);
  ASSERT_TRUE(waitForOutput(run, "p-001-001.png written.\n", patience));
  kill(run.pid, SIGTERM);
  usleep(100000);
  kill(run.pid, SIGTERM);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.out;
  EXPECT_FALSE(fileExists(dir.file("p-001-2000.png")));
}

// A followed file written anew from its start (as when the program writing it starts
// over) is a new job from its first byte, even when it grew past what was read.
TEST(LiveCapture, AFollowedFileWrittenAnewStartsANewJob) {
  TempDir dir;
  prepare(dir);
  writeFile(dir.file("in.prn"), bursts[0]);
  BackgroundRun run = startTambrix(dir, {"in.prn", "-follow", "-out", "p", "-pdf", "j.pdf", "-text", "j.txt", "-idle", idle}, false);
  EXPECT_TRUE(waitForOutput(run, "Job 1: 1 page.\n", patience));
  const std::string longer = bursts[2] + bursts[1];  // longer than what was read
  {
    FILE *file = std::fopen(dir.file("in.prn").c_str(), "wb");  // the same file, cut and written
    ASSERT_NE(file, nullptr);
    std::fwrite(longer.data(), 1, longer.size(), file);
    std::fclose(file);
  }
  EXPECT_TRUE(waitForOutput(run, "Job 2: 1 page.\n", patience));
  kill(run.pid, SIGTERM);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> want = batchJob(bursts[0], 1);
  for (auto &[name, bytes] : batchJob(longer, 2)) want[name] = bytes;
  expectSameFiles(outputsIn(dir), want);
}

// What is wrong with every job is refused before anything is read; a followed file
// that cannot be read says why.
TEST(LiveCapture, NamesThatClashForEveryJobAreRefusedAtTheStart) {
  TempDir dir;
  prepare(dir);
  RunResult r = runTambrix(dir, {"-idle", idle, "-out", "x", "-pdf", "x-001.png"}, bursts[0]);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the PDF document `x-001-001.png' is a page file of this run"), std::string::npos) << r.err;
  EXPECT_TRUE(outputsIn(dir).empty());

  fs::create_directory(dir.file("in.prn"));
  BackgroundRun run = startTambrix(dir, {"in.prn", "-follow", "-idle", idle}, false);
  EXPECT_TRUE(waitForOutput(run, "Cannot read in.prn: Is a directory. Waiting until it can be.\n", patience));
  kill(run.pid, SIGTERM);
  r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("Waiting for in.prn to appear"), std::string::npos) << r.out;
}

// Listings are numbered per job and count when the next number is found; a job that
// prints nothing writes nothing, its listing included.
TEST(LiveCapture, ListingsAreNumberedLikeTheirJobs) {
  TempDir dir;
  prepare(dir);
  writeFile(dir.file("e-004.lst"), "an earlier listing");
  BackgroundRun run = startTambrix(dir, {"-out", "p", "-explain", "e.lst", "-idle", idle});
  sendInput(run, bytes({13, 10, 13}));  // prints nothing
  usleep(burstPause);
  sendInput(run, bursts[0]);
  usleep(burstPause);
  sendInput(run, bursts[1]);
  closeInput(run);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> files = outputsIn(dir);
  EXPECT_EQ(files.size(), 5u);
  EXPECT_EQ(files["e-004.lst"], "an earlier listing");
  for (unsigned job : {5u, 6u}) {
    char name[32];
    std::snprintf(name, sizeof name, "e-%03u.lst", job);
    EXPECT_NE(files[name].find(job == 5 ? "FIRST JOB" : "SECOND"), std::string::npos) << name;
    std::snprintf(name, sizeof name, "p-%03u-001.png", job);
    EXPECT_EQ(files.count(name), 1u) << name;
  }
}

// The command after each job gets that job's files, in job order, while the capture
// goes on; one that fails is said, and the capture ends with status 1.
TEST(LiveCapture, TheCommandAfterEachJobGetsItsFiles) {
  TempDir dir;
  prepare(dir);
  std::string script = dir.file("record.sh");
  writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + dir.file("args.txt") + "'\nexit 3\n");
  chmod(script.c_str(), 0755);
  std::vector<std::string> words = outputs;
  words.insert(words.end(), {"-then", script});
  BackgroundRun run = startTambrix(dir, words);
  for (const std::string &burst : bursts) {
    sendInput(run, burst);
    usleep(burstPause);
  }
  closeInput(run);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("status 3"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(dir.file("args.txt")), "j-001.pdf\nj-002.pdf\nj-003.pdf\n");
  std::map<std::string, std::string> files = outputsIn(dir);
  files.erase("args.txt");
  files.erase("record.sh");
  expectSameFiles(files, expectedJobs());
}

// A terminal named as the input, such as a serial adapter, is read raw and live: every
// byte from 0 to 255 reaches the printer as it was sent, and the line's settings are
// put back at the end.
TEST(LiveCapture, ASerialLineIsReadRawAndPutBack) {
  TempDir dir;
  prepare(dir);
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string line = ptsname(master);
  int slave = open(line.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // keeps the line up between its users
  ASSERT_GE(slave, 0);
  termios before{};
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  std::vector<std::string> words = {line, "-baud", "9600"};
  words.insert(words.end(), outputs.begin(), outputs.end());
  BackgroundRun run = startTambrix(dir, words, false);
  ASSERT_TRUE(waitForOutput(run, "Reading the serial line " + line + ".\n", patience));
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += char(byte);
  every += "\r\nEND\r\n";
  EXPECT_TRUE(writeAll(master, every));
  EXPECT_TRUE(waitForOutput(run, "Job 1: ", patience));
  kill(run.pid, SIGTERM);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0) << r.err;
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(after.c_cc), NCCS), std::string(reinterpret_cast<char *>(before.c_cc), NCCS));
  close(slave);
  close(master);
  expectSameFiles(outputsIn(dir), batchJob(every, 1));
}

// A job's file never replaces a file that appeared under its name while it printed:
// that file stays, and the job says it could not be written.
TEST(LiveCapture, AJobNeverReplacesAFileThatAppearedMeanwhile) {
  TempDir dir;
  prepare(dir);
  BackgroundRun run = startTambrix(dir, {"-out", "p", "-height", "1", "-text", "j.txt", "-idle", "60"});
  sendInput(run, "FIRST PAGE\r\n\r\n\r\n\r\n\r\n\r\n\r\n");  // six lines fill the inch
  ASSERT_TRUE(waitForOutput(run, "p-001-001.png written.\n", patience));
  writeFile(dir.file("j-001.txt"), "someone else's");
  sendInput(run, "SECOND PAGE\r\n");
  closeInput(run);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("unable to write text transcript `j-001.txt': File exists"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(dir.file("j-001.txt")), "someone else's");
}
