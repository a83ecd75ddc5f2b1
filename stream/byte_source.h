// Where the printer's bytes come from: a file, a pipe, a followed file or a network
// connection, read as they come, with a wait that ends when bytes arrive, when the
// source ends, when a time runs out or when something else needs the run's attention.
#pragma once

#include <cstddef>
#include <cstdint>

// What one read brought.
enum class ReadStatus {
  Bytes,        // length bytes arrived
  EndOfStream,  // the source ended
  TimedOut,     // nothing came within the time given
  Woken,        // the wake descriptor became readable; nothing was read
  Interrupted,  // a signal came; nothing was read
  Failed,       // reading failed; error holds the errno value
};

struct ReadResult {
  ReadStatus status;
  size_t length;  // bytes read, with Bytes
  int error;      // errno value, with Failed
};

// Reads what fd has, up to size bytes, waiting for it at most timeoutMs milliseconds
// (-1: no limit). Returns Woken without reading when wakeFd (-1: none) is readable
// first, so that the caller can do what it was woken for and read again.
ReadResult readSome(int fd, uint8_t *buffer, size_t size, int timeoutMs, int wakeFd);
