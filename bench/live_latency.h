// How soon a live job's files are in place once its idle time has run out.
#pragma once

// Prints the table: jobs of a few pages piped to a live run in this process's child,
// and for each, the time from the end of its idle time to its PDF being in place.
void printLiveLatencyTable();
