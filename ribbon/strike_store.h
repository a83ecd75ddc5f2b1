// The strike store: the ribbon's strike counters kept in "ribbon.dat" between runs.
#pragma once

#include <cstdint>

#include "base/page_geometry.h"

// The name of the store, in the working directory.
constexpr const char *strikeStoreName = "ribbon.dat";

// Reads the counters from "ribbon.dat", if there is one; a missing or unreadable
// store is a new ribbon, all zeros.
void loadStrikeCounts(int32_t (&counts)[pinCount]);

// Adds the strikes of this run (the counters now less those loaded) to what
// "ribbon.dat" holds now, under a lock on the working folder, and replaces it whole:
// a run alone in its folder stores its own counters, and runs that overlap keep one
// another's strikes. Returns 0, or the errno value of the step that failed; the old
// contents then stay whole.
int saveStrikeCounts(const int32_t (&atLoad)[pinCount], const int32_t (&now)[pinCount]);
