// Opening files for reading and replacing them whole: the one place the run touches
// files by name.
#pragma once

#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>

// A file the run could not write; what() names the file and the reason.
struct FileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Opens the named file for binary reading; null when it cannot be opened or is a
// directory, which is never a file of ours.
FILE *openForReading(const std::string &name);

// The folder the running program was started from, found through /proc/self/exe;
// empty when that cannot be read.
std::string programDirectory();

// Creates a new empty file "<name>.XXXXXX" beside name, with the mode a new file would
// get, and puts its name in temporary; returns its descriptor, or -1 with errno set.
int createTemporaryBeside(const std::string &name, std::string &temporary);

// Writes the bytes to a new temporary file beside name, and to the disk when durable;
// returns 0 with its name in temporary, or the errno value of the step that failed
// (and then no file is left).
int writeTemporaryBeside(const std::string &name, const void *data, size_t length, bool durable,
                         std::string &temporary);

// Renames the temporary file over name, replacing what was there only now; returns 0,
// or the errno value of the failure, and then removes the temporary file.
int commitTemporary(const std::string &temporary, const std::string &name);

// Writes the bytes to a new temporary file beside name and renames it over name, so an
// existing file is replaced only by a complete one. When durable, the bytes reach the
// disk before the rename, so not even a system crash can leave the file empty. Returns
// 0, or the errno value of the step that failed (the old file, if any, is untouched).
int replaceFileWhole(const std::string &name, const void *data, size_t length, bool durable);
