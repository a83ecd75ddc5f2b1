#include "stream/byte_source.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Connections the system holds before they are taken: the capture takes a few at a
// time, and the rest wait here, their senders with them, as at a busy printer. The
// system caps it at its own limit (4096 here).
constexpr int listenBacklog = 4096;

// Fills watched with fd and the wake descriptors; returns how many there are.
nfds_t watch(pollfd *watched, int fd, const int *wakeFds, size_t wakeCount) {
  nfds_t count = 0;
  if (fd >= 0) watched[count++] = {fd, POLLIN, 0};
  for (size_t i = 0; i < wakeCount && i < mostWakeFds; ++i)
    if (wakeFds[i] >= 0) watched[count++] = {wakeFds[i], POLLIN, 0};
  return count;
}

}  // namespace

ReadResult readSome(int fd, uint8_t *buffer, size_t size, int timeoutMs, const int *wakeFds, size_t wakeCount) {
  pollfd watched[1 + mostWakeFds];
  nfds_t count = watch(watched, fd, wakeFds, wakeCount);
  int ready = poll(watched, count, timeoutMs);
  if (ready < 0) return {errno == EINTR ? ReadStatus::Interrupted : ReadStatus::Failed, 0, errno};
  if (ready == 0) return {ReadStatus::TimedOut, 0, 0};
  if (!(watched[0].revents & (POLLIN | POLLHUP | POLLERR))) return {ReadStatus::Woken, 0, 0};
  ssize_t got = read(fd, buffer, size);
  if (got > 0) return {ReadStatus::Bytes, size_t(got), 0};
  if (got == 0) return {ReadStatus::EndOfStream, 0, 0};
  if (errno == EINTR || errno == EAGAIN) return {ReadStatus::Interrupted, 0, 0};
  return {ReadStatus::Failed, 0, errno};
}

int waitForAny(const int *fds, size_t count, int timeoutMs) {
  pollfd watched[mostWakeFds];
  nfds_t watchedCount = 0;
  size_t index[mostWakeFds];
  for (size_t i = 0; i < count && watchedCount < mostWakeFds; ++i)
    if (fds[i] >= 0) {
      index[watchedCount] = i;
      watched[watchedCount++] = {fds[i], POLLIN, 0};
    }
  if (poll(watched, watchedCount, timeoutMs) <= 0) return -1;
  for (nfds_t i = 0; i < watchedCount; ++i)
    if (watched[i].revents != 0) return int(index[i]);
  return -1;
}

bool openFollowed(FollowedFile &file) {
  closeFollowed(file);
  int fd = open(file.name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (fd < 0) return false;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    int error = fstat(fd, &info) != 0 ? errno : EISDIR;
    close(fd);
    errno = error;
    return false;
  }
  file.fd = fd;
  file.device = info.st_dev;
  file.inode = info.st_ino;
  file.offset = 0;
  file.head.clear();
  file.tail.clear();
  return true;
}

namespace {

// Keeps the first and the last sampleBytes of what was read, got being the latest.
void sampleRead(FollowedFile &file, const uint8_t *got, size_t length) {
  if (file.head.size() < sampleBytes)
    file.head.append(reinterpret_cast<const char *>(got), std::min(length, sampleBytes - file.head.size()));
  if (length >= sampleBytes) {
    file.tail.assign(reinterpret_cast<const char *>(got + length - sampleBytes), sampleBytes);
    return;
  }
  file.tail.append(reinterpret_cast<const char *>(got), length);
  if (file.tail.size() > sampleBytes) file.tail.erase(0, file.tail.size() - sampleBytes);
}

// Whether the file holds the bytes at offset.
bool holds(int fd, const std::string &bytes, off_t offset) {
  std::string now(bytes.size(), '\0');
  size_t have = 0;
  while (have < now.size()) {
    ssize_t got = pread(fd, now.data() + have, now.size() - have, offset + off_t(have));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    have += size_t(got);
  }
  return now == bytes;
}

}  // namespace

ReadResult readFollowed(FollowedFile &file, uint8_t *buffer, size_t size) {
  ssize_t got = pread(file.fd, buffer, size, file.offset);
  if (got > 0) {
    // Bytes past what was read are taken only while what was read is still there: a
    // file written anew in between gives its new bytes from its start instead.
    if (!holds(file.fd, file.head, 0) || !holds(file.fd, file.tail, file.offset - off_t(file.tail.size())))
      return {ReadStatus::EndOfStream, 0, 0};
    file.offset += got;
    sampleRead(file, buffer, size_t(got));
    return {ReadStatus::Bytes, size_t(got), 0};
  }
  if (got == 0) return {ReadStatus::EndOfStream, 0, 0};
  return {errno == EINTR ? ReadStatus::Interrupted : ReadStatus::Failed, 0, errno};
}

FileChange checkFollowed(const FollowedFile &file) {
  struct stat named, open;
  if (stat(file.name.c_str(), &named) != 0) return FileChange::Gone;
  if (named.st_dev != file.device || named.st_ino != file.inode) return FileChange::Replaced;
  if (fstat(file.fd, &open) == 0 && open.st_size < file.offset) return FileChange::Replaced;  // truncated
  // Cut short and written longer between two looks: the bytes read are not there.
  if (!holds(file.fd, file.head, 0) || !holds(file.fd, file.tail, file.offset - off_t(file.tail.size())))
    return FileChange::Replaced;
  return FileChange::Same;
}

size_t bytesWaiting(int fd) {
  int count = 0;
  if (ioctl(fd, FIONREAD, &count) != 0 || count < 0) return 0;
  return size_t(count);
}

void closeFollowed(FollowedFile &file) {
  if (file.fd >= 0) close(file.fd);
  file.fd = -1;
  file.offset = 0;
  file.head.clear();
  file.tail.clear();
}

int openListener(const std::string &address, unsigned port) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(uint16_t(port));
  if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
    errno = EINVAL;
    return -1;
  }
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) return -1;
  int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(listener, reinterpret_cast<sockaddr *>(&where), sizeof where) != 0 || listen(listener, listenBacklog) != 0) {
    int error = errno;
    close(listener);
    errno = error;
    return -1;
  }
  return listener;
}

unsigned listenerPort(int listener) {
  sockaddr_in where{};
  socklen_t length = sizeof where;
  if (getsockname(listener, reinterpret_cast<sockaddr *>(&where), &length) != 0) return 0;
  return ntohs(where.sin_port);
}

int acceptConnection(int listener) {
  int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  return connection;
}
