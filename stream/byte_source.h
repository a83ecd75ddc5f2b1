// Where the printer's bytes come from: a file, a pipe, a followed file or a network
// connection, read as they come, with a wait that ends when bytes arrive, when the
// source ends, when a time runs out or when something else needs the run's attention.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

// What one read brought.
enum class ReadStatus {
  Bytes,        // length bytes arrived
  EndOfStream,  // the source ended (a file: for now)
  TimedOut,     // nothing came within the time given
  Woken,        // one of the wake descriptors became readable; nothing was read
  Interrupted,  // a signal came; nothing was read
  Failed,       // reading failed; error holds the errno value
};

struct ReadResult {
  ReadStatus status;
  size_t length;  // bytes read, with Bytes
  int error;      // errno value, with Failed
};

constexpr size_t mostWakeFds = 4;  // wake descriptors one wait watches at most

// Reads what fd has, up to size bytes, waiting for it at most timeoutMs milliseconds
// (-1: no limit). Returns Woken without reading when one of the wake descriptors (-1
// entries are passed over) is readable and fd is not, so that the caller can do what
// it was woken for and read again.
ReadResult readSome(int fd, uint8_t *buffer, size_t size, int timeoutMs, const int *wakeFds, size_t wakeCount);

// Waits at most timeoutMs milliseconds (-1: no limit) for one of the descriptors to
// become readable; returns its index, -1 when the time ran out or a signal came.
int waitForAny(const int *fds, size_t count, int timeoutMs);

// A file followed by name as it grows, as an emulator writes it.
struct FollowedFile {
  std::string name;  // the name followed
  int fd = -1;       // the file open under it; -1 while there is none
  dev_t device = 0;  // the open file's device and inode, to see it replaced
  ino_t inode = 0;
  off_t offset = 0;  // bytes read from it so far
  std::string head;  // its first bytes read, up to sampleBytes, to see it rewritten
  std::string tail;  // the last bytes read before offset, up to sampleBytes
};

constexpr size_t sampleBytes = 4096;  // bytes of a followed file's start and end kept to compare

// What became of a followed file since it was opened.
enum class FileChange {
  Same,      // it may have grown
  Replaced,  // another file has its name, it is shorter than what was read, or the
             //   bytes read are no longer its own: it was written anew
  Gone,      // nothing has its name (or its folder is gone)
};

// Opens the file under the name, reading from its start; false, with errno saying why,
// when there is none or it cannot be read (EISDIR for a folder).
bool openFollowed(FollowedFile &file);

// Reads what the open file has past what was read; EndOfStream at its end for now, or
// when the bytes read before are no longer the file's (checkFollowed then tells).
ReadResult readFollowed(FollowedFile &file, uint8_t *buffer, size_t size);

// Compares the file under the name with the one open, and the bytes read with what the
// file holds now at their start and end.
FileChange checkFollowed(const FollowedFile &file);

// Bytes that can be read from fd now without waiting (a pipe's, a socket's or a
// terminal's, or a file's past its offset); 0 when none or unknown.
size_t bytesWaiting(int fd);

void closeFollowed(FollowedFile &file);

// Opens a TCP socket listening on the IPv4 address and port (0: one the system picks),
// with room for waiting connections; returns it, or -1 with errno set.
int openListener(const std::string &address, unsigned port);

// The port a listening socket is bound to.
unsigned listenerPort(int listener);

// Takes a connection that is waiting on the listener, if one is; -1 when none is.
int acceptConnection(int listener);
