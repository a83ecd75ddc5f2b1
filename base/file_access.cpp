#include "base/file_access.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

// Writes all bytes to fd; returns 0 or the errno value of the failed write.
static int writeAll(int fd, const char *bytes, size_t length, bool durable) {
  while (length > 0) {
    ssize_t written = write(fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : ENOSPC;
    bytes += written;
    length -= size_t(written);
  }
  return !durable || fsync(fd) == 0 ? 0 : errno;
}

FILE *openForReading(const std::string &name) {
  FILE *file = std::fopen(name.c_str(), "rb");
  struct stat info;
  if (file != nullptr && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

std::string programDirectory() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.parent_path().string();
}

namespace {
// The process's file creation mask, read once while the program is still one thread:
// reading it means setting it, which would race with files other threads create.
const mode_t creationMask = [] {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}();
}  // namespace

int createTemporaryBeside(const std::string &name, std::string &temporary) {
  temporary = name + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return -1;
  // mkstemp makes the file private; give it the mode a newly created file would get.
  fchmod(fd, 0666 & ~creationMask);
  return fd;
}

int writeTemporaryBeside(const std::string &name, const void *data, size_t length, bool durable,
                         std::string &temporary) {
  int fd = createTemporaryBeside(name, temporary);
  if (fd < 0) return errno;
  int error = writeAll(fd, static_cast<const char *>(data), length, durable);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) unlink(temporary.c_str());
  return error;
}

int commitTemporary(const std::string &temporary, const std::string &name) {
  if (std::rename(temporary.c_str(), name.c_str()) == 0) return 0;
  int error = errno;
  unlink(temporary.c_str());
  return error;
}

int replaceFileWhole(const std::string &name, const void *data, size_t length, bool durable) {
  std::string temporary;
  int error = writeTemporaryBeside(name, data, length, durable, temporary);
  return error != 0 ? error : commitTemporary(temporary, name);
}
