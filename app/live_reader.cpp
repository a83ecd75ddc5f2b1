#include "app/live_reader.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "base/stop_signal.h"
#include "stream/byte_source.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t readSize = 16384;  // bytes read at a time
constexpr int followPollMs = 50;    // a followed file at its end is looked at again this often

// How the reading of one stream ended.
enum class StreamEnd {
  Ended,    // the stream ended, or a followed file was replaced or is gone
  Idle,     // a connection's one job ran out of time
  Stopped,  // a stop signal came, and what had arrived was read
  Quit,     // the capture is gone
};

int millisecondsSince(Clock::time_point then) {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - then).count());
}

// Whether a stop signal came. Its descriptor tells, whichever thread took the signal.
bool stopCame() {
  pollfd stop{stopSignalFd(), POLLIN, 0};
  return stop.fd >= 0 && poll(&stop, 1, 0) > 0;
}

void handOver(LiveReader &reader, LiveItem &&item) {
  {
    std::lock_guard<std::mutex> guard(reader.lock);
    reader.held += item.bytes.size();
    reader.items.push_back(std::move(item));
  }
  uint64_t one = 1;
  if (write(reader.readyFd, &one, sizeof one) < 0) {
    // the count is at its limit: the capture wakes all the same
  }
}

void handOver(LiveReader &reader, LiveItemKind kind, const std::string &text = std::string()) {
  LiveItem item;
  item.kind = kind;
  item.text = text;
  handOver(reader, std::move(item));
}

// Waits until the bytes held leave room for another read; false when the reader is to
// quit. paused says whether it had to wait.
bool waitForRoom(LiveReader &reader, bool &paused) {
  std::unique_lock<std::mutex> guard(reader.lock);
  paused = false;
  while (!reader.quitting && reader.held >= mostBytesHeld) {
    paused = true;
    reader.taken.wait(guard);
  }
  return !reader.quitting;
}

// Takes connections waiting on the listener while there is room among those waiting.
void takeConnections(LiveReader &reader) {
  if (reader.source.kind != LiveSourceKind::Listener) return;
  while (reader.waiting.size() < mostWaiting) {
    int connection = acceptConnection(reader.source.fd);
    if (connection < 0) return;
    reader.waiting.push_back(connection);
  }
}

// Waits at most timeoutMs (-1: no limit) for fd (-1: none), a stop signal, the quit
// call, or, while there is room, a connection to take; takes the connections. Returns
// whether fd is readable; quit says the reader is to quit.
bool waitFor(LiveReader &reader, int fd, int timeoutMs, bool &quit) {
  pollfd watched[4];
  nfds_t count = 0;
  if (fd >= 0) watched[count++] = {fd, POLLIN, 0};
  watched[count++] = {stopSignalFd(), POLLIN, 0};
  watched[count++] = {reader.quitFd, POLLIN, 0};
  bool accepting = reader.source.kind == LiveSourceKind::Listener && reader.waiting.size() < mostWaiting;
  if (accepting) watched[count++] = {reader.source.fd, POLLIN, 0};
  int ready = poll(watched, count, timeoutMs);
  quit = ready > 0 && watched[fd >= 0 ? 2 : 1].revents != 0;
  if (accepting && ready > 0 && watched[count - 1].revents != 0) takeConnections(reader);
  return ready > 0 && fd >= 0 && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// Reads count bytes with readBytes as they are there, and hands them over; returns how
// many it read, fewer when the source ended first or the reader is to quit.
size_t readWhatArrived(LiveReader &reader, const std::function<ssize_t(uint8_t *, size_t)> &readBytes, size_t count) {
  size_t read = 0;
  bool paused;
  while (read < count && waitForRoom(reader, paused)) {
    LiveItem item;
    item.kind = LiveItemKind::Bytes;
    item.bytes.resize(std::min(readSize, count - read));
    ssize_t got = readBytes(item.bytes.data(), item.bytes.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    item.bytes.resize(size_t(got));
    read += size_t(got);
    handOver(reader, std::move(item));
  }
  return read;
}

// What a descriptor held when the stop signal came, as the end of the job in progress
// (open: the job has bytes already).
void readLastOf(LiveReader &reader, int fd, bool open) {
  auto readFd = [fd](uint8_t *buffer, size_t size) { return read(fd, buffer, size); };
  if (readWhatArrived(reader, readFd, bytesWaiting(fd)) > 0 || open) handOver(reader, LiveItemKind::JobEnd);
}

// Reads a stream into jobs until it ends, or, for a connection's one job (oneJob),
// until its idle time, which counts from its turn, runs out.
StreamEnd readStream(LiveReader &reader, int fd, bool oneJob) {
  const int idleMs = reader.source.idleMs;
  Clock::time_point last = Clock::now();  // the last bytes' arrival, or the turn
  bool open = false;                       // the job in progress has bytes
  for (;;) {
    if (stopCame()) {
      readLastOf(reader, fd, open);
      return StreamEnd::Stopped;
    }
    bool paused, quit;
    if (!waitForRoom(reader, paused)) return StreamEnd::Quit;
    if (paused) last = Clock::now();  // what came meanwhile had no pause that was seen
    int timeout = -1;
    if (idleMs > 0 && (open || oneJob)) {
      timeout = idleMs - millisecondsSince(last);
      if (timeout <= 0) {
        if (open) handOver(reader, LiveItemKind::JobEnd);
        if (oneJob) return StreamEnd::Idle;
        open = false;
        continue;
      }
    }
    bool readable = waitFor(reader, fd, timeout, quit);
    if (quit) return StreamEnd::Quit;
    if (!readable) continue;
    LiveItem item;
    item.kind = LiveItemKind::Bytes;
    item.bytes.resize(readSize);
    ssize_t got = read(fd, item.bytes.data(), item.bytes.size());
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) {  // the end, or a read that failed: what came is the last job
      if (open) handOver(reader, LiveItemKind::JobEnd);
      return StreamEnd::Ended;
    }
    item.bytes.resize(size_t(got));
    handOver(reader, std::move(item));
    open = true;
    last = Clock::now();
  }
}

// Reads a followed file into jobs until it is replaced, written anew or gone.
StreamEnd readFollowedFile(LiveReader &reader, FollowedFile &file) {
  const int idleMs = reader.source.idleMs;
  Clock::time_point last = Clock::now();
  bool open = false;
  auto readFile = [&file](uint8_t *buffer, size_t size) {
    ReadResult got = readFollowed(file, buffer, size);
    return got.status == ReadStatus::Bytes ? ssize_t(got.length) : ssize_t(0);
  };
  for (;;) {
    if (stopCame()) {  // what the file holds now is the last of it read
      struct stat info;
      size_t left = fstat(file.fd, &info) == 0 && info.st_size > file.offset ? size_t(info.st_size - file.offset) : 0;
      if (readWhatArrived(reader, readFile, left) > 0 || open) handOver(reader, LiveItemKind::JobEnd);
      return StreamEnd::Stopped;
    }
    bool paused, quit;
    if (!waitForRoom(reader, paused)) return StreamEnd::Quit;
    if (paused) last = Clock::now();
    int timeout = -1;
    if (idleMs > 0 && open) {
      timeout = idleMs - millisecondsSince(last);
      if (timeout <= 0) {
        handOver(reader, LiveItemKind::JobEnd);
        open = false;
        continue;
      }
    }
    LiveItem item;
    item.kind = LiveItemKind::Bytes;
    item.bytes.resize(readSize);
    ReadResult got = readFollowed(file, item.bytes.data(), item.bytes.size());
    if (got.status == ReadStatus::Bytes) {
      item.bytes.resize(got.length);
      handOver(reader, std::move(item));
      open = true;
      last = Clock::now();
      continue;
    }
    if (got.status == ReadStatus::Interrupted) continue;
    if (got.status == ReadStatus::Failed || checkFollowed(file) != FileChange::Same) {
      if (open) handOver(reader, LiveItemKind::JobEnd);
      return StreamEnd::Ended;
    }
    waitFor(reader, -1, timeout < 0 ? followPollMs : std::min(timeout, followPollMs), quit);
    if (quit) return StreamEnd::Quit;
  }
}

// Follows the named file: what it holds, then what is added; a file replaced or
// written anew starts again from its beginning, and one that is gone is waited for.
void followFile(LiveReader &reader) {
  FollowedFile file;
  file.name = reader.source.name;
  int said = -1;  // the errno value of the last failure to open that was said
  while (!stopCame()) {
    if (!openFollowed(file)) {
      int error = errno == ENOTDIR ? ENOENT : errno;
      if (error != said)
        handOver(reader, LiveItemKind::Notice,
                 error == ENOENT ? "Waiting for " + file.name + " to appear."
                                 : "Cannot read " + file.name + ": " + std::strerror(error) + ". Waiting until it can be.");
      said = error;
      bool quit;
      waitFor(reader, -1, followPollMs, quit);
      if (quit) break;
      continue;
    }
    said = -1;
    StreamEnd end = readFollowedFile(reader, file);
    closeFollowed(file);
    if (end == StreamEnd::Quit || end == StreamEnd::Stopped) break;
  }
  closeFollowed(file);
}

// Serves connections in the order they were accepted, one job each. After a stop
// signal, each connection that waits its turn is a job of what it had sent.
void serveConnections(LiveReader &reader) {
  while (!stopCame()) {
    takeConnections(reader);
    if (reader.waiting.empty()) {
      bool quit;
      waitFor(reader, -1, -1, quit);
      if (quit) return;
      continue;
    }
    int connection = reader.waiting.front();
    reader.waiting.pop_front();
    StreamEnd end = readStream(reader, connection, true);
    close(connection);
    if (end == StreamEnd::Quit) return;
  }
  while (!reader.waiting.empty()) {
    int connection = reader.waiting.front();
    reader.waiting.pop_front();
    readLastOf(reader, connection, false);
    close(connection);
  }
}

void readSource(LiveReader *reader) {
  // The stop signals go to the capture's thread; this one sees them by their descriptor.
  sigset_t stops;
  sigemptyset(&stops);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  switch (reader->source.kind) {
    case LiveSourceKind::Stream:
      readStream(*reader, reader->source.fd, false);
      break;
    case LiveSourceKind::Followed:
      followFile(*reader);
      break;
    case LiveSourceKind::Listener:
      serveConnections(*reader);
      break;
  }
  handOver(*reader, LiveItemKind::SourceEnd);
}

}  // namespace

int startLiveReader(LiveReader &reader, const LiveSource &source) {
  reader.source = source;
  reader.readyFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  reader.quitFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (reader.readyFd < 0 || reader.quitFd < 0) return errno;
  reader.thread = std::thread(readSource, &reader);
  return 0;
}

bool takeLiveItem(LiveReader &reader, LiveItem &item) {
  // Cleared before looking, so that an item handed over after the look wakes the wait.
  uint64_t count;
  if (read(reader.readyFd, &count, sizeof count) < 0) {
    // nothing was counted since the last look
  }
  {
    std::lock_guard<std::mutex> guard(reader.lock);
    if (reader.items.empty()) return false;
    item = std::move(reader.items.front());
    reader.items.pop_front();
    reader.held -= item.bytes.size();
  }
  reader.taken.notify_one();
  return true;
}

int liveReaderFd(const LiveReader &reader) { return reader.readyFd; }

void stopLiveReader(LiveReader &reader) {
  {
    std::lock_guard<std::mutex> guard(reader.lock);
    reader.quitting = true;
  }
  reader.taken.notify_one();
  uint64_t one = 1;
  if (reader.quitFd >= 0 && write(reader.quitFd, &one, sizeof one) < 0) {
    // already counted: the reader wakes all the same
  }
  if (reader.thread.joinable()) reader.thread.join();
  for (int connection : reader.waiting) close(connection);
  reader.waiting.clear();
  if (reader.readyFd >= 0) close(reader.readyFd);
  if (reader.quitFd >= 0) close(reader.quitFd);
  reader.readyFd = reader.quitFd = -1;
}
