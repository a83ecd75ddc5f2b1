// PNG encoder cost against size: the pages of every workload encoded again, straight
// through Magick++, at a range of quality settings.
#pragma once

// Prints one Markdown table per workload: quality, zlib level, filter, ms, KB.
void printQualityTables();
