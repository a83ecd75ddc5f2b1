// The strike store: the ribbon's strike counters kept between runs, in a file of each
// model's own in the working directory ("ribbon.dat" for the MPS801), one number a pin.
#pragma once

#include <cstdint>

#include "base/page_geometry.h"

// The MPS801's store, in the working directory.
constexpr const char *strikeStoreName = "ribbon.dat";

// Reads the first pins counters from the store, if there is one; a missing or
// unreadable store is a new ribbon, all zeros, and so are the pins past pins.
void loadStrikeCounts(const char *store, unsigned pins, int32_t (&counts)[maxPins]);

// Adds the strikes of this run (the counters now less those loaded) to what the store
// holds now, under a lock on the working folder, and replaces it whole: a run alone
// in its folder stores its own counters, and runs that overlap keep one another's
// strikes. Returns 0, or the errno value of the step that failed; the old contents
// then stay whole.
int saveStrikeCounts(const char *store, unsigned pins, const int32_t (&atLoad)[maxPins], const int32_t (&now)[maxPins]);
