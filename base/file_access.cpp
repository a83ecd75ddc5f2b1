#include "base/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr int temporaryNameTries = 100;  // names tried before a link beside the target gives up

// The process's file creation mask, read once while the program is still one thread:
// reading it means setting it, which would race with files other threads create.
const mode_t creationMask = [] {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}();

// The folder a file of that name goes in.
std::string folderOf(const std::string &name) {
  std::string folder = fs::path(name).parent_path().string();
  return folder.empty() ? std::string(".") : folder;
}

// The name by which the nameless file fd can be linked into a folder.
std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Links the nameless file to a new unique name beside name; returns 0 with the name in
// linked, or the errno value.
int linkBeside(int fd, const std::string &name, std::string &linked) {
  for (int attempt = 0; attempt < temporaryNameTries; ++attempt) {
    linked = name + "." + std::to_string(getpid()) + "-" + std::to_string(attempt);
    if (linkat(AT_FDCWD, descriptorPath(fd).c_str(), AT_FDCWD, linked.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// The kernel's name of the file open as fd: absolute, with every link, "." and ".."
// resolved. Empty when it has none that is a path (a pipe, say) or /proc is missing.
std::string handleName(int fd) {
  char link[32], target[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t length = readlink(link, target, sizeof target);
  if (length <= 0 || size_t(length) >= sizeof target || target[0] != '/') return std::string();
  return std::string(target, size_t(length));
}

}  // namespace

int writeAll(int fd, const char *bytes, size_t length) {
  while (length > 0) {
    ssize_t written = write(fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : ENOSPC;
    bytes += written;
    length -= size_t(written);
  }
  return 0;
}

FileError writeError(const char *what, const std::string &name, int error) {
  return FileError(std::string("tambrix: unable to write ") + what + " `" + name + "': " + std::strerror(error));
}

FILE *openForReading(const std::string &name) {
  FILE *file = std::fopen(name.c_str(), "rb");
  struct stat info;
  if (file != nullptr && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

std::string programDirectory() {
  std::error_code error;
  fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.parent_path().string();
}

int createTemporaryBeside(const std::string &name, TemporaryFile &temporary) {
  discardTemporary(temporary);
  int fd = open(folderOf(name).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd >= 0) {
    temporary.fd = fd;
    return 0;
  }
  // Kernels and file systems without nameless files say so in one of these ways; any
  // other failure is the folder's.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  std::string named = name + ".XXXXXX";
  fd = mkstemp(named.data());
  if (fd < 0) return errno;
  // mkstemp makes the file private; give it the mode a newly created file would get.
  fchmod(fd, 0666 & ~creationMask);
  temporary.fd = fd;
  temporary.name = named;
  return 0;
}

int writeTemporary(const TemporaryFile &temporary, const void *data, size_t length) {
  return writeAll(temporary.fd, static_cast<const char *>(data), length);
}

int writeTemporaryBeside(const std::string &name, const void *data, size_t length, TemporaryFile &temporary) {
  int error = createTemporaryBeside(name, temporary);
  if (error == 0) error = writeTemporary(temporary, data, length);
  if (error != 0) discardTemporary(temporary);
  return error;
}

int commitTemporary(TemporaryFile &temporary, const std::string &name, bool durable, bool replace) {
  int error = temporary.fd < 0 ? EBADF : 0;
  if (error == 0 && durable && fsync(temporary.fd) != 0) error = errno;
  if (error == 0 && temporary.name.empty()) {
    // A nameless file is linked under its name when nothing is there; a file to be
    // replaced gets a name beside it first, and is renamed over it.
    if (linkat(AT_FDCWD, descriptorPath(temporary.fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      close(temporary.fd);
      temporary = TemporaryFile();
      return 0;
    }
    error = errno == EEXIST && replace ? linkBeside(temporary.fd, name, temporary.name) : errno;
    if (error != 0) temporary.name.clear();
  }
  if (error == 0 && !replace) {  // a named temporary file: linked, which fails where rename replaces
    error = link(temporary.name.c_str(), name.c_str()) == 0 ? 0 : errno;
    if (error == 0) {
      discardTemporary(temporary);  // its name goes; the file stays under name
      temporary = TemporaryFile();
      return 0;
    }
  }
  if (error == 0 && close(temporary.fd) != 0) error = errno;
  temporary.fd = -1;
  if (error == 0 && std::rename(temporary.name.c_str(), name.c_str()) != 0) error = errno;
  if (error != 0) discardTemporary(temporary);
  temporary = TemporaryFile();
  return error;
}

void discardTemporary(TemporaryFile &temporary) {
  if (temporary.fd >= 0) close(temporary.fd);
  if (!temporary.name.empty()) unlink(temporary.name.c_str());
  temporary = TemporaryFile();
}

int replaceFileWhole(const std::string &name, const void *data, size_t length, bool durable) {
  TemporaryFile temporary;
  int error = writeTemporaryBeside(name, data, length, temporary);
  return error != 0 ? error : commitTemporary(temporary, name, durable);
}

int checkWritable(const std::string &name) {
  struct stat info;
  if (stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return EISDIR;
  TemporaryFile probe;
  int error = createTemporaryBeside(name, probe);
  discardTemporary(probe);
  return error;
}

FileIdentity identify(const std::string &path, const FileIdentity *folderIdentity) {
  FileIdentity identity;
  if (path.empty()) return identity;
  // An existing file is opened as a bare handle and named by the kernel: four calls
  // however deep the path, where resolving it part by part takes a call per part. One
  // that exists but cannot be opened even so is looked at by its name.
  struct stat info;
  int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  bool found = fd >= 0 ? fstat(fd, &info) == 0 : errno != ENOENT && errno != ENOTDIR && stat(path.c_str(), &info) == 0;
  if (found) {
    identity.exists = true;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
  }
  if (fd >= 0) {
    identity.path = handleName(fd);
    close(fd);
    if (found && !identity.path.empty()) return identity;
  }
  if (!identity.exists) {  // most often a file still to be written in a folder that exists
    size_t slash = path.find_last_of('/');
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!last.empty() && last != "." && last != ".." && (folder == "/" || folder.back() != '/')) {
      FileIdentity parent = folderIdentity != nullptr ? *folderIdentity : identify(folder);
      if (parent.exists && !parent.path.empty()) {
        identity.path = parent.path == "/" ? "/" + last : parent.path + "/" + last;
        return identity;
      }
    }
  }
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return identity;
  fs::path resolved = fs::weakly_canonical(absolute, error);
  identity.path = error ? absolute.lexically_normal().string() : resolved.string();
  return identity;
}

bool sameFile(const FileIdentity &a, const FileIdentity &b) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return a.path == b.path;
}
