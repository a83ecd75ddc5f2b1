#include "run_support.h"

#include <Magick++.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tambrix-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // A test may have made a folder read-only; give it back before removing.
  for (auto &entry : fs::recursive_directory_iterator(path, ignored))
    if (entry.is_directory(ignored)) fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path, ignored);
}

void writeFile(const std::string &path, const std::string &data) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << data;
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool fileExists(const std::string &path) { return fs::exists(path); }

bool writeAll(int fd, const std::string &bytes) {
  constexpr int stuckMilliseconds = 60000;  // a reader that takes nothing for this long is stuck
  for (size_t done = 0; done < bytes.size();) {
    pollfd ready{fd, POLLOUT, 0};
    if (poll(&ready, 1, stuckMilliseconds) == 0) return false;
    ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += size_t(written);
  }
  return true;
}

namespace {

// The threads of the process pid, the newest first.
std::vector<pid_t> threadsOf(pid_t pid) {
  std::vector<pid_t> threads;
  std::error_code ignored;
  for (auto &task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored))
    threads.push_back(pid_t(std::stol(task.path().filename().string())));
  std::sort(threads.rbegin(), threads.rend());
  return threads;
}

// A file of the thread's in /proc.
std::string threadFile(pid_t pid, pid_t thread, const char *name) {
  return readFile("/proc/" + std::to_string(pid) + "/task/" + std::to_string(thread) + "/" + name);
}

}  // namespace

std::vector<pid_t> childProcesses(pid_t pid) {
  std::vector<pid_t> children;
  for (pid_t thread : threadsOf(pid)) {
    std::istringstream list(threadFile(pid, thread, "children"));
    for (pid_t child; list >> child;) children.push_back(child);
  }
  std::sort(children.begin(), children.end());
  return children;
}

pid_t otherThreadTaking(pid_t pid, int signal) {
  for (pid_t thread : threadsOf(pid)) {  // the newest first: the run's own, not a helper of the runtime's
    if (thread == pid) continue;
    std::istringstream status(threadFile(pid, thread, "status"));
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigBlk:", 0) != 0) continue;
      unsigned long long blocked = std::stoull(line.substr(7), nullptr, 16);
      if ((blocked >> (signal - 1) & 1) == 0) return thread;
    }
  }
  return 0;
}

// In a child: becomes the program in dir, reading in, its output going to the paths.
[[noreturn]] void execInDir(const TempDir &dir, const std::vector<std::string> &words, const std::string &binary, int in,
                            const std::string &outPath, const std::string &errPath) {
  if (chdir(dir.path.c_str()) != 0) _exit(127);
  int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  fcntl(0, F_SETFD, 0);  // the pipe's end kept its close-on-exec flag if it was 0 already
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(binary.c_str()));
  for (const std::string &word : words) argv.push_back(const_cast<char *>(word.c_str()));
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

std::map<std::string, std::string> filesIn(const TempDir &dir) {
  std::map<std::string, std::string> files;
  for (auto &entry : fs::recursive_directory_iterator(dir.path))
    if (entry.is_regular_file() && entry.path().parent_path().filename() != "PRINTER")
      files[fs::relative(entry.path(), dir.path).string()] = readFile(entry.path());
  return files;
}

RunResult runTambrix(const TempDir &dir, const std::vector<std::string> &words, const std::string &stdinBytes,
                     const std::string &binary, const InputFeeder &feed) {
  std::string inPath = dir.path + "/../" + fs::path(dir.path).filename().string() + ".stdin";
  std::string outPath = inPath + ".out", errPath = inPath + ".err";
  writeFile(inPath, stdinBytes);
  int pipeEnds[2] = {-1, -1};
  if (feed && pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    execInDir(dir, words, binary, feed ? pipeEnds[0] : open(inPath.c_str(), O_RDONLY), outPath, errPath);
  }
  if (feed) {
    close(pipeEnds[0]);
    // A program that ended early must fail the test, not end it by SIGPIPE.
    void (*before)(int) = signal(SIGPIPE, SIG_IGN);
    feed(pid, pipeEnds[1]);
    close(pipeEnds[1]);
    signal(SIGPIPE, before);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  fs::remove(inPath);
  fs::remove(outPath);
  fs::remove(errPath);
  // Under the sanitizers a report from the program fails the test that ran it.
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error:"), std::string::npos) << result.err;
  return result;
}

std::vector<uint8_t> testRom() {
  std::vector<uint8_t> rom(4096);
  for (unsigned i = 0; i < rom.size(); ++i) {
    unsigned slot = i / 6, column = i % 6;
    rom[i] = uint8_t(((slot * 37 + column * 11 + 1) % 127) + 1) & 0x7F;
    if (rom[i] == 0) rom[i] = 1;
  }
  return rom;
}

void writeEscpFont(const TempDir &dir) {
  fs::create_directories(dir.file("PRINTER"));
  writeFile(dir.file("PRINTER/escp.fake"), readFile(SOURCE_DIR "/PRINTER/escp.fake"));
}

void writeRom(const TempDir &dir, const std::vector<uint8_t> &rom, const std::string &name) {
  fs::create_directories(dir.file("PRINTER"));
  writeFile(dir.file("PRINTER/" + name), std::string(rom.begin(), rom.end()));
}

std::vector<std::string> pngFiles(const TempDir &dir) {
  std::vector<std::string> names;
  for (auto &entry : fs::directory_iterator(dir.path))
    if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Page readPage(const std::string &path) {
  static bool initialised = false;
  if (!initialised) {
    Magick::InitializeMagick(nullptr);
    initialised = true;
  }
  Magick::Image image;
  image.read(path);
  Page page;
  page.width = unsigned(image.columns());
  page.height = unsigned(image.rows());
  Magick::Blob blob;
  image.write(&blob, "RGB", 8);
  const uint8_t *data = static_cast<const uint8_t *>(blob.data());
  page.rgb.assign(data, data + blob.length());
  return page;
}

uint8_t Page::column(unsigned x, unsigned y) const {
  uint8_t bits = 0;
  for (unsigned pin = 0; pin < 7; ++pin)
    if (x < width && y + 2 * pin < height && dark(x, y + 2 * pin)) bits |= uint8_t(1u << pin);
  return bits;
}

size_t Page::inkedPixels() const {
  size_t count = 0;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    if (rgb[i] != 255 || rgb[i + 1] != 255 || rgb[i + 2] != 255) ++count;
  return count;
}

std::vector<uint8_t> glyphColumns(const std::vector<uint8_t> &rom, unsigned offset, bool doubleWidth) {
  std::vector<uint8_t> columns;
  for (unsigned i = 0; i < 6; ++i) {
    columns.push_back(rom[offset + i] & 0x7F);
    if (doubleWidth) columns.push_back(rom[offset + i] & 0x7F);
  }
  return columns;
}

std::vector<uint8_t> pageColumns(const Page &page, unsigned x, unsigned y, unsigned count) {
  std::vector<uint8_t> columns;
  for (unsigned i = 0; i < count; ++i) columns.push_back(page.column(x + 2 * i, y));
  return columns;
}

std::vector<uint8_t> reversed(std::vector<uint8_t> columns) {
  for (uint8_t &c : columns) c ^= 0x7F;
  return columns;
}

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text.push_back(char(v));
  return text;
}

// Kills and reaps a run still going, and closes its input.
static void endRun(BackgroundRun &run) {
  if (run.input >= 0) close(run.input);
  if (run.pid > 0) {
    kill(run.pid, SIGKILL);
    waitpid(run.pid, nullptr, 0);
  }
  run.input = run.pid = -1;
}

BackgroundRun &BackgroundRun::operator=(BackgroundRun &&other) noexcept {
  endRun(*this);
  pid = std::exchange(other.pid, -1);
  input = std::exchange(other.input, -1);
  outPath = std::move(other.outPath);
  errPath = std::move(other.errPath);
  return *this;
}

BackgroundRun::~BackgroundRun() { endRun(*this); }

BackgroundRun startTambrix(const TempDir &dir, const std::vector<std::string> &words, bool pipedInput,
                           const std::string &binary) {
  BackgroundRun run;
  std::string base = dir.path + "/../" + fs::path(dir.path).filename().string();
  run.outPath = base + ".out";
  run.errPath = base + ".err";
  int ends[2] = {-1, -1};
  if (pipedInput && pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  run.pid = fork();
  if (run.pid == 0) {
    execInDir(dir, words, binary, pipedInput ? ends[0] : open("/dev/null", O_RDONLY), run.outPath, run.errPath);
  }
  if (pipedInput) {
    close(ends[0]);
    run.input = ends[1];
  }
  return run;
}

bool sendInput(BackgroundRun &run, const std::string &bytes) { return run.input >= 0 && writeAll(run.input, bytes); }

void closeInput(BackgroundRun &run) {
  if (run.input >= 0) close(run.input);
  run.input = -1;
}

std::string outputSoFar(const BackgroundRun &run) { return readFile(run.outPath); }

bool waitForOutput(const BackgroundRun &run, const std::string &text, double seconds) {
  constexpr int pollMilliseconds = 10;
  for (int waited = 0; waited < seconds * 1000; waited += pollMilliseconds) {
    if (outputSoFar(run).find(text) != std::string::npos) return true;
    if (processGone(run.pid)) return outputSoFar(run).find(text) != std::string::npos;
    usleep(pollMilliseconds * 1000);
  }
  return false;
}

RunResult finishTambrix(BackgroundRun &run, double seconds) {
  constexpr int pollMilliseconds = 10;
  int status = 0;
  pid_t ended = 0;
  for (int waited = 0; waited < seconds * 1000 && ended == 0; waited += pollMilliseconds) {
    ended = waitpid(run.pid, &status, WNOHANG);
    if (ended == 0) usleep(pollMilliseconds * 1000);
  }
  if (ended == 0) {
    ADD_FAILURE() << "tambrix still running after " << seconds << " s";
    kill(run.pid, SIGKILL);
    waitpid(run.pid, &status, 0);
  }
  closeInput(run);
  run.pid = -1;  // reaped
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readFile(run.outPath);
  result.err = readFile(run.errPath);
  fs::remove(run.outPath);
  fs::remove(run.errPath);
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("runtime error:"), std::string::npos) << result.err;
  return result;
}

bool processGone(pid_t pid) {
  std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return true;
  size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

int connectLoopback(unsigned port) {
  int connection = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(uint16_t(port));
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connection >= 0 && connect(connection, reinterpret_cast<sockaddr *>(&where), sizeof where) == 0) return connection;
  if (connection >= 0) close(connection);
  return -1;
}

std::string commandOutput(const std::string &command) {
  std::string text;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  pclose(pipe);
  return text;
}

std::string trimmed(const std::string &text) {
  size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::vector<Line> eventLines(const std::string &listing) {
  std::vector<Line> lines;
  std::istringstream in(listing);
  std::string text;
  while (std::getline(in, text) && !text.empty()) {
    size_t ellipsis = text.find("\xE2\x80\xA6");
    if (ellipsis != std::string::npos && ellipsis < 40) text.replace(ellipsis, 3, "~");
    lines.push_back(Line{std::stoull(text.substr(0, 9)), trimmed(text.substr(11, 25)), trimmed(text.substr(38, 16)),
                         text.size() > 55 ? text.substr(55) : std::string()});
  }
  return lines;
}

std::string wrappedLines(const std::vector<std::string> &cells, size_t columns) {
  std::string lines;
  for (size_t first = 0; first == 0 || first < cells.size(); first += columns) {
    std::string row;
    for (size_t column = first; column < cells.size() && column < first + columns; ++column) row += cells[column];
    row.erase(row.find_last_not_of(' ') + 1);
    lines += row + "\n";
  }
  return lines;
}
