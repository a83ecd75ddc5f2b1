// The strike store: "ribbon.dat" across runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "run_support.h"

// One dot per pin for each byte: the test ROM is not needed for bit-image columns.
static const std::string sevenDots = bytes({8, 255});

TEST(StrikeStore, CountsAccumulateOverRuns) {
  TempDir dir;
  runTambrix(dir, {}, sevenDots + bytes({26, 4, 0x01}));
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "5 1 1 1 1 1 1");
  runTambrix(dir, {}, sevenDots + bytes({26, 4, 0x01}));
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "10 2 2 2 2 2 2");
  // Deleting the file puts in a new ribbon.
  std::filesystem::remove(dir.file("ribbon.dat"));
  runTambrix(dir, {}, sevenDots);
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "1 1 1 1 1 1 1");
  // Only ribbon.dat and the pages are left behind: no temporary files.
  for (auto &entry : std::filesystem::directory_iterator(dir.path)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "ribbon.dat" || entry.path().extension() == ".png") << name;
  }
}

TEST(StrikeStore, ReadsWhatParsesAndKeepsTheLowThirtyTwoBits) {
  struct Row {
    const char *stored;
    const char *after;  // after one more dot on every pin
  };
  const Row rows[] = {
      {"5 6", "6 7 1 1 1 1 1"},
      {"5\n\n 6\t7 8 9 10 11 12", "6 7 8 9 10 11 12"},
      {"garbage 5 6", "1 1 1 1 1 1 1"},
      {"3 x 5", "4 1 1 1 1 1 1"},
      {"-5 -1 0 0 0 0 0", "-4 0 1 1 1 1 1"},
      {"4294967297 4294967295 2147483647 0 0 0 0", "2 0 -2147483648 1 1 1 1"},
      {"99999999999999999999999 0 0 0 0 0 0", "0 1 1 1 1 1 1"},  // saturates as a long, then -1 + 1
      {"", "1 1 1 1 1 1 1"},
  };
  for (const Row &row : rows) {
    TempDir dir;
    writeFile(dir.file("ribbon.dat"), row.stored);
    RunResult r = runTambrix(dir, {}, sevenDots);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir.file("ribbon.dat")), row.after) << row.stored;
  }
}

TEST(StrikeStore, RunsThatEndEarlyLeaveTheFileAlone) {
  TempDir dir;
  writeFile(dir.file("ribbon.dat"), "7 7 7");
  EXPECT_EQ(runTambrix(dir, {"-h"}, sevenDots).status, 0);
  EXPECT_EQ(runTambrix(dir, {"missing.prn"}, sevenDots).status, 1);
  EXPECT_EQ(runTambrix(dir, {"-out", "gone/x"}, sevenDots).status, 1);  // the page cannot be written
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "7 7 7");
}

TEST(StrikeStore, UnwritableStoreNeverLosesTheOldContents) {
  // A directory named ribbon.dat: a new ribbon, and the save is refused with a message.
  TempDir dir;
  std::filesystem::create_directory(dir.file("ribbon.dat"));
  RunResult r = runTambrix(dir, {}, sevenDots);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "TAMBRIX V0.1 beta 4\n"
                   "Could not open printer ROM files 'PRINTER/mps801.bin' or 'PRINTER/mps801.fake'. "
                   "Character data is missing, text will be INVISIBLE.\nTAMBRIX-001.png written.\n"
                   "Could not write ribbon.dat: Is a directory. It keeps the counts it held before this run.\n");
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("ribbon.dat")));

  // A read-only folder: the save is skipped (or, for a user who may write anyway,
  // done whole); the file is never left empty or half written.
  TempDir locked;
  writeFile(locked.file("ribbon.dat"), "3 3 3 3 3 3 3");
  std::filesystem::create_directory(locked.file("out"));
  chmod(locked.path.c_str(), 0555);
  r = runTambrix(locked, {"-out", "out/page"}, sevenDots);
  chmod(locked.path.c_str(), 0755);
  EXPECT_EQ(r.status, 0);
  std::string after = readFile(locked.file("ribbon.dat"));
  EXPECT_TRUE(after == "3 3 3 3 3 3 3" || after == "4 4 4 4 4 4 4") << after;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked.path), {}), 2);
}

// A run that saves while another is still printing in the same folder: the later save
// adds its strikes to those on disk, and no strike of either is lost.
TEST(StrikeStore, OverlappingRunsKeepEachOthersStrikes) {
  TempDir dir;
  writeFile(dir.file("ribbon.dat"), "100 100 100 100 100 100 100");
  BackgroundRun longer = startTambrix(dir, {"-out", "long", "-threads", "1"});
  ASSERT_TRUE(waitForOutput(longer, "Could not open printer ROM files", 10));  // the store is loaded
  sendInput(longer, sevenDots + bytes({26, 2, 0x01}));  // 3 on pin 0, 1 on the others
  RunResult shorter = runTambrix(dir, {"-out", "short"}, sevenDots);
  EXPECT_EQ(shorter.status, 0);
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "101 101 101 101 101 101 101");
  closeInput(longer);
  EXPECT_EQ(finishTambrix(longer, 20).status, 0);
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "104 102 102 102 102 102 102");
}
