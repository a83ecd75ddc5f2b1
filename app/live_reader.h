// The reader of a live capture: it takes the source's bytes as they arrive, on a thread
// of its own, and hands them to the capture with the job boundaries they make. A job
// ends where the bytes paused for the idle time, where a connection ends, or where the
// source ends. Each boundary is decided by when the bytes arrived, never by when the
// capture got round to them: the same bytes with the same pauses make the same jobs,
// however long the printing takes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Bytes arrived and not yet taken by the capture. Past this the reader stops reading
// until the capture catches up, and the sender waits; a pause in that time goes unseen.
constexpr size_t mostBytesHeld = 4u << 20;

// Connections that wait their turn, accepted; more stay in the system's queue of the
// listening socket, their senders waiting with them.
constexpr size_t mostWaiting = 16;

// Where a live capture's bytes come from.
enum class LiveSourceKind {
  Stream,    // a pipe, a terminal or a file, read to its end
  Followed,  // a file followed by name as it grows, and started over when written anew
  Listener,  // TCP connections, one job each, in the order they were accepted
};

struct LiveSource {
  LiveSourceKind kind = LiveSourceKind::Stream;
  int fd = -1;        // Stream: the descriptor read; Listener: the listening socket
  std::string name;   // Followed: the file's name
  int idleMs = 0;     // milliseconds without a byte that end a job; 0 never
};

// What the reader hands over, in order.
enum class LiveItemKind {
  Bytes,      // bytes of the job in progress
  JobEnd,     // the job in progress ended; the next bytes begin another
  Notice,     // a line for the console
  SourceEnd,  // the source ended, or a stop signal came and what had arrived was read
};

struct LiveItem {
  LiveItemKind kind = LiveItemKind::SourceEnd;
  std::vector<uint8_t> bytes;  // Bytes: what arrived
  std::string text;            // Notice: the line, without its newline
};

// One reader and what it has read. The thread owns the fields marked so; the rest is
// shared under lock.
struct LiveReader {
  LiveSource source;
  std::thread thread;
  std::mutex lock;
  std::condition_variable taken;  // the capture took bytes, or the reader is to quit
  std::deque<LiveItem> items;     // read and not yet taken (lock)
  size_t held = 0;                // bytes in items (lock)
  bool quitting = false;          // the capture is gone: stop at once (lock)
  int readyFd = -1;               // an eventfd counted up as items are added
  int quitFd = -1;                // an eventfd that ends the reader's waits when quitting
  std::deque<int> waiting;        // the thread's: connections accepted, oldest first
};

// Starts reading the source on a thread of its own. The reader takes no lock that a
// forked encoder process could need: it reads, waits, and hands items over under its
// own lock. Returns 0, or the errno value of a failure.
int startLiveReader(LiveReader &reader, const LiveSource &source);

// Takes the oldest item handed over; false when there is none yet.
bool takeLiveItem(LiveReader &reader, LiveItem &item);

// A descriptor that becomes readable when items are handed over.
int liveReaderFd(const LiveReader &reader);

// Makes the reader quit, if it still reads, waits for it and closes what it holds.
void stopLiveReader(LiveReader &reader);
