// Replacing a file so that it is never left half written.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to a new temporary file beside name and renames it over name, so an
// existing file is replaced only by a complete one. When durable, the bytes reach the
// disk before the rename, so not even a system crash can leave the file empty. Returns
// 0, or the errno value of the step that failed (the old file, if any, is untouched).
int replaceFileWhole(const std::string &name, const void *data, size_t length, bool durable);
