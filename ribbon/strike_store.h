// The strike store: the ribbon's strike counters kept in "ribbon.dat" between runs.
#pragma once

// Reads the counters from "ribbon.dat", if there is one, and recomputes the pin shades.
void loadStrikeCounts();

// Replaces "ribbon.dat" with the counters; a file that cannot be written is skipped,
// and the old contents stay whole.
void saveStrikeCounts();
