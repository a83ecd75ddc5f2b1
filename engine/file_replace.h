// Replacing a file so that it is never left half written.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to a new temporary file beside name and renames it over name, so an
// existing file is replaced only by a complete one. Returns 0, or the errno value of
// the step that failed (the old file, if any, is then untouched).
int replaceFileWhole(const std::string &name, const void *data, size_t length);
