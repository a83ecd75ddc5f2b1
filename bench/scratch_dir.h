// The temporary folder each benchmark process works in: it holds the ROM image the
// glyph tables are read from and every page file written, and goes when the run ends.
#pragma once

#include <string>

// Makes a fresh folder under the system temporary folder, writes the ROM image into
// it and makes it the current directory. Returns its path.
std::string enterScratchDir();

// Goes back to the directory the process started in and removes the folder.
void leaveScratchDir(const std::string &dir);
