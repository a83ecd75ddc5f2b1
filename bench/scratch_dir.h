// The temporary folder each benchmark process works in: it holds what a run reads and
// every page file written, and goes when the run ends.
#pragma once

#include <string>

// Makes a fresh folder under the system temporary folder and makes it the current
// directory. Returns its path.
std::string enterScratchDir();

// Goes back to the directory the process started in and removes the folder.
void leaveScratchDir(const std::string &dir);
