// Opening files for reading and writing files whole. Every file the run writes is
// written here first without its name, and given its name only once it is complete,
// so that neither a failure nor a stop ever leaves a partial file under a name of ours.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>

// A file the run could not read or write; what() names the file and the reason.
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The FileError of a file that could not be written: "tambrix: unable to write <what>
// `<name>': <reason of error>".
FileError writeError(const char *what, const std::string &name, int error);

// Opens the named file for binary reading; null when it cannot be opened or is a
// directory, which is never a file of ours, with errno saying why (EISDIR for a
// directory).
FILE *openForReading(const std::string &name);

// The folder the running program was started from, found through /proc/self/exe;
// empty when that cannot be read.
std::string programDirectory();

// Writes all the bytes to fd at its offset, again after an interruption; returns 0 or
// the errno value of the write that failed.
int writeAll(int fd, const char *bytes, size_t length);

// A file being written, not yet under its name. Where the file system allows it, it
// has no name at all, so that even a process killed outright leaves nothing behind;
// elsewhere it is "<name>.XXXXXX" beside the name it will get.
struct TemporaryFile {
  int fd = -1;       // open for writing; -1 when there is none
  std::string name;  // its temporary name; empty while it has none
};

// Creates an empty temporary file in the folder of name, with the mode a new file
// would get; returns 0, or the errno value of the failure.
int createTemporaryBeside(const std::string &name, TemporaryFile &temporary);

// Writes all the bytes to the temporary file; returns 0 or the errno value.
int writeTemporary(const TemporaryFile &temporary, const void *data, size_t length);

// Creates a temporary file beside name holding the bytes; returns 0, or the errno
// value of the step that failed, and then no file is left.
int writeTemporaryBeside(const std::string &name, const void *data, size_t length, TemporaryFile &temporary);

// Puts the temporary file in place under name, replacing what was there only now, and
// closes it; when durable, its bytes reach the disk first. Without replace, a name
// that is taken fails with EEXIST and its file stays as it was. Returns 0, or the
// errno value of the failure, and then the temporary file is gone and name untouched.
int commitTemporary(TemporaryFile &temporary, const std::string &name, bool durable = false, bool replace = true);

// Closes and removes the temporary file, if there is one.
void discardTemporary(TemporaryFile &temporary);

// Writes the bytes to a temporary file beside name and puts it in place, so an
// existing file is replaced only by a complete one. When durable, the bytes reach the
// disk first, so not even a system crash can leave the file empty. Returns 0, or the
// errno value of the step that failed (the old file, if any, is untouched).
int replaceFileWhole(const std::string &name, const void *data, size_t length, bool durable);

// Whether a file could be written under name: its folder exists and takes new files,
// and name is no folder. Returns 0, or the errno value a write would meet.
int checkWritable(const std::string &name);

// What a path names: the file itself when it exists, else where it would be.
struct FileIdentity {
  bool exists = false;  // the path names an existing file (links followed)
  dev_t device = 0;     // its device and inode, when it exists
  ino_t inode = 0;
  std::string path;     // absolute, with links, "." and ".." resolved as far as the
                        //   path exists
};

// What path names. folderIdentity, when given, is what the folder part of path names,
// found before: a path that does not exist is then placed in it without looking again.
FileIdentity identify(const std::string &path, const FileIdentity *folderIdentity = nullptr);

// Whether two identities are one file: the same device and inode, or the same
// resolved path.
bool sameFile(const FileIdentity &a, const FileIdentity &b);
