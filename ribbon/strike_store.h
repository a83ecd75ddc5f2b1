// The strike store: the ribbon's strike counters kept in "ribbon.dat" between runs.
#pragma once

// The name of the store, in the working directory.
constexpr const char *strikeStoreName = "ribbon.dat";

// Reads the counters from "ribbon.dat", if there is one, and hands them to the print
// engine, which recomputes the pin shades. A missing or unreadable store is a new ribbon.
void loadStrikeCounts();

// Replaces "ribbon.dat" with the engine's counters. Returns 0, or the errno value of
// the step that failed; the old contents then stay whole.
int saveStrikeCounts();
