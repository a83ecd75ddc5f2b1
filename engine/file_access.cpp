#include "engine/file_access.h"

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

int replaceFileWhole(const std::string &name, const void *data, size_t length, bool durable) {
  std::string temporary = name + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return errno;
  // mkstemp makes the file private; give it the mode a newly created file would get.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  int error = writeAll(fd, static_cast<const char *>(data), length, durable);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), name.c_str()) != 0) error = errno;
  if (error != 0) unlink(temporary.c_str());
  return error;
}
