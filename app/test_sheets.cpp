// The test sheets of the character ROM: a raw dump, a labelled glyph list and a code
// chart of both character sets. They print through the same engine as any input.
#include <cstdio>

#include "app/run_options.h"
#include "mechanism/character_rom.h"
#include "mechanism/print_head.h"

constexpr unsigned regionSize = 256;        // bytes of a ROM region
constexpr unsigned slotsPerRegion = 32;     // glyph slots shown of each region
constexpr unsigned listedSlots = 40;        // slots shown per region in the glyph list
constexpr unsigned listedRegions = 8;       // regions 0x800 .. 0xF00
constexpr unsigned firstListedRegion = 0x800;
constexpr uint8_t space = 32;

// Regions whose slots 0-31 the ROM dump shows side by side.
static const unsigned dumpedRegions[5] = {0x800, 0x900, 0xA00, 0xB00, 0xD00};

static void printText(const char *text) {
  for (const char *c = text; *c != '\0'; ++c) printCharacter(uint8_t(*c));
}

static void printNumber(const char *format, unsigned number) {
  char text[16];
  std::snprintf(text, sizeof text, format, number);
  printText(text);
}

static void printRomDump() {
  for (unsigned i = 0; i < romSize; ++i) printColumn(characterRom[i]);
  newLine();
  newLine();
  for (unsigned region : dumpedRegions) {
    for (unsigned i = 0; i < slotsPerRegion * glyphWidth; ++i) printColumn(characterRom[region + i]);
    newLine();
  }
}

static void printGlyphList() {
  for (unsigned r = 0; r < listedRegions; ++r) {
    unsigned region = firstListedRegion + r * regionSize;
    for (unsigned slot = 0; slot < listedSlots; ++slot) {
      unsigned offset = region + slot * glyphWidth;
      printNumber("%04u", offset);
      printCharacter(space);
      for (unsigned i = 0; i < glyphWidth; ++i) printColumn(characterRom[offset + i]);
      newLine();
    }
    newLine();
  }
}

// One code in both sets: its number, its graphic glyph and its business glyph.
static void printChartEntry(unsigned code) {
  clearModes(Business);
  printNumber("%03u", code);
  printCharacter(space);
  printCharacter(uint8_t(code));
  printCharacter(space);
  setModes(Business);
  printCharacter(uint8_t(code));
}

static void printCodeChart() {
  for (unsigned code = 32; code <= 127; ++code) {
    printChartEntry(code);
    printCharacter(space);
    printChartEntry(code + 128);
    newLine();
  }
}

void printTestSheet(int32_t testMode) {
  switch (testMode) {
    case 1:
      printRomDump();
      break;
    case 2:
      printGlyphList();
      break;
    case 3:
      printCodeChart();
      break;
    default:
      break;
  }
}
