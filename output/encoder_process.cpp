#include "output/encoder_process.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "base/stop_signal.h"
#include "output/page_image.h"

namespace {

// What a thread asks of its process: encode the raster of this kind whose bytes are in
// the shared memory.
struct Request {
  uint32_t kind;    // a PixelKind
  uint64_t length;  // bytes of the raster
};

// What the process answers; length bytes follow: the PNG file, or the report line of
// the exception that stopped the encoding.
struct Reply {
  uint32_t failed;  // 1 when the bytes are a report line
  uint64_t length;
};

struct EncoderProcess {
  pid_t pid = -1;
  int socket = -1;            // this process's end of the pair; -1 when there is no process
  uint8_t *pixels = nullptr;  // memory shared with the process, for one raster
  size_t capacity = 0;        // bytes of it
};

// Process-wide by nature, not in a run's Output: the processes are the program's: a process forked beside running threads
// inherits their records, so a live capture forks them once, before its threads, and
// keeps them from job to job.
std::vector<EncoderProcess> processes;  // by slot
unsigned rasterWidth = 0;               // pixels of the pages the processes encode
unsigned rasterHeight = 0;
bool kept = false;                      // kept from run to run: only endEncoderProcesses ends them

size_t rasterBytes(PixelKind kind, unsigned width, unsigned height) { return rasterRowBytes(kind, width) * height; }

bool sendAll(int socket, const void *data, size_t length) {
  const char *next = static_cast<const char *>(data);
  while (length > 0) {
    ssize_t sent = send(socket, next, length, MSG_NOSIGNAL);  // a process gone raises no SIGPIPE
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    next += sent;
    length -= size_t(sent);
  }
  return true;
}

// False at the end of the stream or on an error.
bool receiveAll(int socket, void *data, size_t length) {
  char *next = static_cast<char *>(data);
  while (length > 0) {
    ssize_t got = recv(socket, next, length, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    next += got;
    length -= size_t(got);
  }
  return true;
}

// The encoder process: answers requests until the other end closes. It never returns,
// and leaves by _exit, so that nothing of the parent's (buffered output, files, the
// image library's clean-up) is flushed or undone twice.
[[noreturn]] void serve(int socket, const uint8_t *pixels) {
  ignoreStopSignals();  // the run ends its processes itself, once it has stopped
  Request request;
  while (receiveAll(socket, &request, sizeof request)) {
    if (request.kind > uint32_t(PixelKind::Rgb) ||
        request.length != rasterBytes(PixelKind(request.kind), rasterWidth, rasterHeight))
      _exit(1);
    Reply reply{0, 0};
    std::string answer;
    try {
      answer = encodeRasterPng(rasterWidth, rasterHeight, PixelKind(request.kind), pixels);
    } catch (...) {
      reply.failed = 1;
      if (!describeException(std::current_exception(), answer)) _exit(1);
    }
    reply.length = answer.size();
    if (!sendAll(socket, &reply, sizeof reply) || !sendAll(socket, answer.data(), answer.size())) break;
  }
  _exit(0);
}

// Waits for a process whose socket was closed to leave. One still there after a few
// seconds is stuck (a child forked from a threaded process under a sanitizer can be)
// and is killed, so that the run never waits on it for ever.
void reapProcess(pid_t pid) {
  constexpr int stepMicroseconds = 1000, mostSteps = 3000;  // three seconds in all
  for (int step = 0; step < mostSteps; ++step) {
    pid_t done = waitpid(pid, nullptr, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return;
    usleep(stepMicroseconds);
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void endProcess(EncoderProcess &process) {
  if (process.socket >= 0) close(process.socket);  // the process reads the end and leaves
  if (process.pid > 0) reapProcess(process.pid);
  if (process.pixels != nullptr) munmap(process.pixels, process.capacity);
  process = EncoderProcess{};
}

}  // namespace

void startEncoderProcesses(unsigned count, unsigned width, unsigned height) {
  if (kept && processes.size() == count && width == rasterWidth && height == rasterHeight) return;
  endEncoderProcesses();
  rasterWidth = width;
  rasterHeight = height;
  size_t capacity = rasterBytes(PixelKind::Rgb, width, height);
  processes.resize(count);
  // Output still buffered would be in every process's copy, to be written again by
  // whatever flushes it there.
  std::fflush(nullptr);
  for (unsigned slot = 0; slot < count; ++slot) {
    void *memory = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) continue;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
      munmap(memory, capacity);
      continue;
    }
    pid_t pid = fork();
    if (pid == 0) {
      // The ends of the earlier processes' sockets stay with the parent alone, or those
      // processes would not see their end when the parent closes it.
      for (unsigned earlier = 0; earlier < slot; ++earlier)
        if (processes[earlier].socket >= 0) close(processes[earlier].socket);
      close(ends[0]);
      serve(ends[1], static_cast<const uint8_t *>(memory));
    }
    close(ends[1]);
    if (pid < 0) {
      close(ends[0]);
      munmap(memory, capacity);
      continue;
    }
    processes[slot] = EncoderProcess{pid, ends[0], static_cast<uint8_t *>(memory), capacity};
  }
}

bool encodeInProcess(unsigned slot, const PageRaster &raster, std::string &png) {
  if (slot >= processes.size() || processes[slot].socket < 0) return false;
  EncoderProcess &process = processes[slot];
  if (raster.width != rasterWidth || raster.height != rasterHeight ||
      raster.bytes.size() != rasterBytes(raster.kind, rasterWidth, rasterHeight))
    return false;
  std::memcpy(process.pixels, raster.bytes.data(), raster.bytes.size());
  Request request{uint32_t(raster.kind), raster.bytes.size()};
  Reply reply{};
  std::string answer;
  // A PNG is far smaller than its raster; more than this is no answer of ours.
  const size_t longestAnswer = 2 * process.capacity + (1u << 20);
  bool answered = sendAll(process.socket, &request, sizeof request) &&
                  receiveAll(process.socket, &reply, sizeof reply) && reply.length <= longestAnswer;
  if (answered) {
    answer.resize(reply.length);
    answered = receiveAll(process.socket, answer.data(), answer.size());
  }
  if (!answered) {
    endProcess(process);
    return false;
  }
  if (reply.failed != 0) raiseReportedException(answer);
  png = std::move(answer);
  return true;
}

void keepEncoderProcesses(unsigned count, unsigned width, unsigned height) {
  startEncoderProcesses(count, width, height);
  kept = true;
}

void stopEncoderProcesses() {
  if (!kept) endEncoderProcesses();
}

void endEncoderProcesses() {
  for (EncoderProcess &process : processes) endProcess(process);
  processes.clear();
  kept = false;
}

