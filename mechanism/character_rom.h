// Character ROM and glyph tables: the dot patterns of the printer's character
// generator, read from a ROM image file, and the two character sets that map each
// code to a glyph in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr unsigned romSize = 4096;   // bytes of a ROM image; a longer file is cut here
constexpr unsigned glyphWidth = 6;   // columns of a glyph, one byte each
constexpr unsigned codeCount = 256;  // character codes

// A glyph is named by the offset of its first byte in the ROM image.
using Glyph = uint16_t;

// A printer's character generator: its ROM image and the two sets' tables.
struct GlyphTables {
  uint8_t rom[romSize] = {};           // the ROM image; zero where no file filled it
  Glyph graphic[codeCount] = {};       // glyph of each code in the graphic set
  Glyph business[codeCount] = {};      // glyph of each code in the business set
};

// The ROM files looked for, in order, and the one read.
struct RomSearch {
  std::vector<std::string> tried;  // "PRINTER/mps801.bin", "PRINTER/mps801.fake", then the installed font
  int used;                        // index in tried of the file read; -1 when none could be read
};

// Fills the ROM image from "PRINTER/mps801.bin", else "PRINTER/mps801.fake" in the
// working directory, else from our font installed with the program
// (../share/tambrix/PRINTER/mps801.fake from the program's folder). With none it
// stays zero.
RomSearch loadCharacterRom(GlyphTables &tables);

// Loads the ROM, then fills both glyph tables; returns what the search found.
RomSearch buildGlyphTables(GlyphTables &tables);

// The character the glyph shows in text, 0 for none.
char32_t glyphText(Glyph glyph);
