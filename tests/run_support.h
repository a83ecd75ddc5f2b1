// Runs the real tambrix binary in a fresh directory and reads its pages back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A fresh temporary working directory, removed with everything in it at the end.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
  std::string file(const std::string &name) const { return path + "/" + name; }
};

struct RunResult {
  int status;          // exit status, or 128 + signal number
  std::string out;     // standard output
  std::string err;     // standard error
};

// Called while the program runs, with its process id and the end of a pipe that is
// its standard input; the program reads the end of its input once this returns.
using InputFeeder = std::function<void(pid_t program, int input)>;

// Runs tambrix (the test copy, or the program at binary) with the words in dir,
// feeding stdinBytes on standard input, or what feed writes when it is given.
RunResult runTambrix(const TempDir &dir, const std::vector<std::string> &words,
                     const std::string &stdinBytes = std::string(), const std::string &binary = TAMBRIX_BINARY,
                     const InputFeeder &feed = nullptr);

// Writes all of bytes to fd; false when the reader is gone or takes nothing for a minute.
bool writeAll(int fd, const std::string &bytes);

// The processes started by the process pid, from any of its threads.
std::vector<pid_t> childProcesses(pid_t pid);

// The newest thread of the process pid, other than its first, that does not block
// signal; 0 when there is none.
pid_t otherThreadTaking(pid_t pid, int signal);

// Every file under dir but the ROM folder's, by its path relative to dir, with its bytes.
std::map<std::string, std::string> filesIn(const TempDir &dir);

// Standard output of a shell command.
std::string commandOutput(const std::string &command);

// The bytes of a test ROM image: every glyph distinct, none blank.
std::vector<uint8_t> testRom();

// Writes bytes as dir/PRINTER/<name> ("mps801.bin" or "mps801.fake").
void writeRom(const TempDir &dir, const std::vector<uint8_t> &rom, const std::string &name = "mps801.bin");

// Puts our 9-pin font at dir/PRINTER/escp.fake, where a run of the ESC/P printer in dir finds it.
void writeEscpFont(const TempDir &dir);

void writeFile(const std::string &path, const std::string &bytes);
std::string readFile(const std::string &path);
bool fileExists(const std::string &path);

// The PNG files in dir, sorted by name.
std::vector<std::string> pngFiles(const TempDir &dir);

// A page read back from a PNG file: 8-bit RGB.
struct Page {
  unsigned width = 0;
  unsigned height = 0;
  std::vector<uint8_t> rgb;
  uint8_t red(unsigned x, unsigned y) const { return rgb[(size_t(y) * width + x) * 3]; }
  uint8_t green(unsigned x, unsigned y) const { return rgb[(size_t(y) * width + x) * 3 + 1]; }
  uint8_t blue(unsigned x, unsigned y) const { return rgb[(size_t(y) * width + x) * 3 + 2]; }
  bool dark(unsigned x, unsigned y) const { return red(x, y) < 128; }
  // The column byte printed at (x, y): bit k when the dot of pin k is dark.
  uint8_t column(unsigned x, unsigned y) const;
  // Number of pixels that are not white.
  size_t inkedPixels() const;
};

Page readPage(const std::string &path);

// The column bytes of the glyph at offset in rom, doubled in double width.
std::vector<uint8_t> glyphColumns(const std::vector<uint8_t> &rom, unsigned offset, bool doubleWidth = false);

// The column bytes read from the page from x on, count of them.
std::vector<uint8_t> pageColumns(const Page &page, unsigned x, unsigned y, unsigned count);

// Reverses the columns: bits 0..6 inverted.
std::vector<uint8_t> reversed(std::vector<uint8_t> columns);

// Appends the bytes of a printer stream.
std::string bytes(std::initializer_list<int> values);

// A run of tambrix in the background, in dir, its standard input a pipe the test
// writes (or the file /dev/null), its output going to files beside dir.
// A run the test did not finish (an assertion left early) is killed when this goes, so
// that no test leaves a server running.
struct BackgroundRun {
  pid_t pid = -1;       // -1 once finished
  int input = -1;       // write end of its standard input; -1 once closed
  std::string outPath;  // its standard output, as written so far
  std::string errPath;

  BackgroundRun() = default;
  BackgroundRun(BackgroundRun &&other) noexcept { *this = std::move(other); }
  BackgroundRun &operator=(BackgroundRun &&other) noexcept;
  BackgroundRun(const BackgroundRun &) = delete;
  BackgroundRun &operator=(const BackgroundRun &) = delete;
  ~BackgroundRun();
};

BackgroundRun startTambrix(const TempDir &dir, const std::vector<std::string> &words, bool pipedInput = true,
                           const std::string &binary = TAMBRIX_BINARY);

// Writes bytes to the run's standard input; false when it no longer reads it.
bool sendInput(BackgroundRun &run, const std::string &bytes);

// Closes the run's standard input: the end of its stream.
void closeInput(BackgroundRun &run);

// What the run has printed on standard output so far.
std::string outputSoFar(const BackgroundRun &run);

// Waits until text appears in the run's standard output, for at most seconds; false
// when it did not (or the run ended without it).
bool waitForOutput(const BackgroundRun &run, const std::string &text, double seconds);

// Waits for the run to end, at most seconds, and returns what it did; a run still
// going then is killed and fails the test.
RunResult finishTambrix(BackgroundRun &run, double seconds);

// Whether a process is gone (or a zombie nobody waits for).
bool processGone(pid_t pid);

// A TCP connection to the loopback address at port; -1 when none could be made.
int connectLoopback(unsigned port);

// One event line of a stream listing, its fields at their columns (an ellipsis as "~").
struct Line {
  uint64_t offset = 0;
  std::string bytes, name, what;
};

// The text without its leading and trailing spaces.
std::string trimmed(const std::string &text);

// The event lines of a listing, up to its summary.
std::vector<Line> eventLines(const std::string &listing);

// The transcript lines of one line of text given as its character cells (each a UTF-8
// string): wrapped every columns cells, trailing spaces dropped, each line ended by a
// line feed; an empty line gives one empty line.
std::string wrappedLines(const std::vector<std::string> &cells, size_t columns);
