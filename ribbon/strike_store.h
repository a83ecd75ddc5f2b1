// The strike store: the ribbon's strike counters kept in "ribbon.dat" between runs.
#pragma once

// The name of the store, in the working directory.
constexpr const char *strikeStoreName = "ribbon.dat";

// Forgets the counts loaded.
void resetStrikeStore();

// Reads the counters from "ribbon.dat", if there is one, and hands them to the print
// engine, which recomputes the pin shades. A missing or unreadable store is a new ribbon.
void loadStrikeCounts();

// Adds the strikes of this run (the engine's counters less those loaded) to what
// "ribbon.dat" holds now, under a lock on the working folder, and replaces it whole:
// a run alone in its folder stores its own counters, and runs that overlap keep one
// another's strikes. Returns 0, or the errno value of the step that failed; the old
// contents then stay whole.
int saveStrikeCounts();
