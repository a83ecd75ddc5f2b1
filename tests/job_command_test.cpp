// -then: the command after each job, given the job's files, run without a shell.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/job_command.h"
#include "run_support.h"

namespace {

// A script in dir that appends each argument it is given, one a line, to args.txt,
// and those that name a file present to present.txt; then it exits with status.
std::string recordingScript(const TempDir &dir, int status = 0) {
  std::string path = dir.file("record.sh");
  writeFile(path, "#!/bin/sh\n"
                  "for word in \"$@\"; do\n"
                  "  printf '%s\\n' \"$word\" >> '" + dir.file("args.txt") + "'\n"
                  "  if [ -f \"$word\" ]; then printf '%s\\n' \"$word\" >> '" + dir.file("present.txt") + "'; fi\n"
                  "done\n"
                  "exit " + std::to_string(status) + "\n");
  chmod(path.c_str(), 0755);
  return path;
}

std::string lines(const std::vector<std::string> &words) {
  std::string text;
  for (const std::string &word : words) text += word + "\n";
  return text;
}

}  // namespace

// A batch run gives its command the PDF alone, named as one argument whatever its
// characters, or its pages in order, once they are in place; nothing when nothing
// printed.
TEST(JobCommand, BatchRunGivesItsFilesToTheCommand) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string script = recordingScript(dir);
  std::string pdf = "my \"odd\" name's.pdf";
  RunResult r = runTambrix(dir, {"-pdf", pdf, "-text", "t.txt", "-then", script + " --flag"}, "HI\r\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("Command after each job: " + script + " --flag.\n"), std::string::npos) << r.out;
  EXPECT_EQ(readFile(dir.file("args.txt")), lines({"--flag", pdf}));
  EXPECT_EQ(readFile(dir.file("present.txt")), lines({pdf}));

  TempDir pages;
  writeRom(pages, testRom());
  script = recordingScript(pages);
  r = runTambrix(pages, {"-height", "0.34", "-out", "pg", "-then", script}, "A\r\nB\r\nC\r\nD\r\nE\r\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> written = pngFiles(pages);
  EXPECT_GE(written.size(), 2u);
  EXPECT_EQ(readFile(pages.file("args.txt")), lines(written));
  EXPECT_EQ(readFile(pages.file("present.txt")), lines(written));

  TempDir empty;
  script = recordingScript(empty);
  r = runTambrix(empty, {"-then", script}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(fileExists(empty.file("args.txt")));
}

// A command that fails or cannot be started is said on standard error with why, and
// gives status 1; the files are written all the same.
TEST(JobCommand, FailingOrMissingCommandGivesStatusOne) {
  TempDir dir;
  writeRom(dir, testRom());
  RunResult r = runTambrix(dir, {"-out", "a", "-then", "/no/such/command now"}, "HI");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Error: tambrix: the command after the run, `/no/such/command now', could not be started: No such file "
            "or directory\n");
  EXPECT_EQ(pngFiles(dir), (std::vector<std::string>{"a-001.png"}));
  EXPECT_TRUE(fileExists(dir.file("ribbon.dat")));

  std::string script = recordingScript(dir, 3);
  r = runTambrix(dir, {"-out", "b", "-then", script}, "HI");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: tambrix: the command after the run, `" + script + "', failed with status 3\n");
  EXPECT_EQ(readFile(dir.file("args.txt")), lines({"b-001.png"}));
}

TEST(JobCommand, JobFilesAreTheDocumentElseTheTranscriptElseThePages) {
  RunSettings settings;
  settings.outputPrefix = "job-004";
  EXPECT_EQ(jobFiles(settings, 3), (std::vector<std::string>{"job-004-001.png", "job-004-002.png", "job-004-003.png"}));
  EXPECT_TRUE(jobFiles(settings, 0).empty());
  settings.textName = "t-004.txt";
  EXPECT_EQ(jobFiles(settings, 3), (std::vector<std::string>{"t-004.txt"}));
  settings.pdfName = "d-004.pdf";
  EXPECT_EQ(jobFiles(settings, 3), (std::vector<std::string>{"d-004.pdf"}));
  EXPECT_TRUE(jobFiles(settings, 0).empty());
}

// More commands than may wait all run, one at a time, in job order; none runs without
// a command or without files.
TEST(JobCommand, CommandsRunOneAtATimeInOrder) {
  TempDir dir;
  std::string script = dir.file("one.sh");
  writeFile(script, "#!/bin/sh\n"
                    "cd '" + dir.path + "'\n"
                    "if ! mkdir running 2>/dev/null; then echo overlap >> order.txt; fi\n"
                    "echo \"$1\" >> order.txt\n"
                    "rmdir running\n");
  chmod(script.c_str(), 0755);
  JobCommands commands;
  startJobCommands(commands, "  " + script + "  ");
  std::string want;
  for (unsigned job = 1; job <= 2 * mostCommandsWaiting + 2; ++job) {
    queueJobCommand(commands, job, {"job" + std::to_string(job)});
    want += "job" + std::to_string(job) + "\n";
  }
  queueJobCommand(commands, 99, {});
  EXPECT_TRUE(finishJobCommands(commands, false));
  EXPECT_EQ(readFile(dir.file("order.txt")), want);

  JobCommands none;
  startJobCommands(none, "   ");
  queueJobCommand(none, 1, {dir.file("order.txt")});
  EXPECT_TRUE(finishJobCommands(none, false));
}

// A stopped run drops the commands not started and ends the one running after its
// grace, with its own children.
TEST(JobCommand, StoppingDropsWhatHasNotStarted) {
  TempDir dir;
  std::string script = dir.file("slow.sh");
  writeFile(script, "#!/bin/sh\n"
                    "echo \"$1\" >> '" + dir.file("order.txt") + "'\n"
                    "sleep 120\n");
  chmod(script.c_str(), 0755);
  JobCommands commands;
  startJobCommands(commands, script);
  for (unsigned job = 1; job <= 3; ++job) queueJobCommand(commands, job, {"job" + std::to_string(job)});
  for (int tries = 0; tries < 600 && !fileExists(dir.file("order.txt")); ++tries) usleep(100000);
  EXPECT_FALSE(finishJobCommands(commands, true));
  EXPECT_EQ(readFile(dir.file("order.txt")), "job1\n");
}
