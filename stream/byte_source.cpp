#include "stream/byte_source.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

ReadResult readSome(int fd, uint8_t *buffer, size_t size, int timeoutMs, int wakeFd) {
  pollfd watched[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  int ready = poll(watched, wakeFd >= 0 ? 2 : 1, timeoutMs);
  if (ready < 0) return {errno == EINTR ? ReadStatus::Interrupted : ReadStatus::Failed, 0, errno};
  if (ready == 0) return {ReadStatus::TimedOut, 0, 0};
  if (wakeFd >= 0 && (watched[1].revents & POLLIN) && !(watched[0].revents & (POLLIN | POLLHUP | POLLERR)))
    return {ReadStatus::Woken, 0, 0};
  ssize_t got = read(fd, buffer, size);
  if (got > 0) return {ReadStatus::Bytes, size_t(got), 0};
  if (got == 0) return {ReadStatus::EndOfStream, 0, 0};
  if (errno == EINTR || errno == EAGAIN) return {ReadStatus::Interrupted, 0, 0};
  return {ReadStatus::Failed, 0, errno};
}
