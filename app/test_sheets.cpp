// The test sheets of the character ROM: a raw dump, a labelled glyph list and a code
// chart of both character sets. They print through the same engine as any input.
#include <cstdio>

#include "app/run_options.h"
#include "mechanism/character_rom.h"
#include "interpreter/printer.h"
#include "mechanism/print_head.h"

constexpr unsigned regionSize = 256;        // bytes of a ROM region
constexpr unsigned slotsPerRegion = 32;     // glyph slots shown of each region
constexpr unsigned listedSlots = 40;        // slots shown per region in the glyph list
constexpr unsigned listedRegions = 8;       // regions 0x800 .. 0xF00
constexpr unsigned firstListedRegion = 0x800;
constexpr uint8_t space = 32;

// Regions whose slots 0-31 the ROM dump shows side by side.
static const unsigned dumpedRegions[5] = {0x800, 0x900, 0xA00, 0xB00, 0xD00};

static void printText(Printer &p, const char *text) {
  for (const char *c = text; *c != '\0'; ++c) printCharacter(p.mechanism, uint8_t(*c));
}

static void printNumber(Printer &p, const char *format, unsigned number) {
  char text[16];
  std::snprintf(text, sizeof text, format, number);
  printText(p, text);
}

static void printRomDump(Printer &p) {
  for (unsigned i = 0; i < romSize; ++i) printColumn(p.mechanism, p.mechanism.glyphs.rom[i]);
  newLine(p.mechanism);
  newLine(p.mechanism);
  for (unsigned region : dumpedRegions) {
    for (unsigned i = 0; i < slotsPerRegion * glyphWidth; ++i) printColumn(p.mechanism, p.mechanism.glyphs.rom[region + i]);
    newLine(p.mechanism);
  }
}

static void printGlyphList(Printer &p) {
  for (unsigned r = 0; r < listedRegions; ++r) {
    unsigned region = firstListedRegion + r * regionSize;
    for (unsigned slot = 0; slot < listedSlots; ++slot) {
      unsigned offset = region + slot * glyphWidth;
      printNumber(p, "%04u", offset);
      printCharacter(p.mechanism, space);
      for (unsigned i = 0; i < glyphWidth; ++i) printColumn(p.mechanism, p.mechanism.glyphs.rom[offset + i]);
      newLine(p.mechanism);
    }
    newLine(p.mechanism);
  }
}

// One code in both sets: its number, its graphic glyph and its business glyph.
static void printChartEntry(Printer &p, unsigned code) {
  clearModes(p.mechanism, Business);
  printNumber(p, "%03u", code);
  printCharacter(p.mechanism, space);
  printCharacter(p.mechanism, uint8_t(code));
  printCharacter(p.mechanism, space);
  setModes(p.mechanism, Business);
  printCharacter(p.mechanism, uint8_t(code));
}

static void printCodeChart(Printer &p) {
  for (unsigned code = 32; code <= 127; ++code) {
    printChartEntry(p, code);
    printCharacter(p.mechanism, space);
    printChartEntry(p, code + 128);
    newLine(p.mechanism);
  }
}

void printTestSheet(Printer &p, int32_t testMode) {
  switch (testMode) {
    case 1:
      printRomDump(p);
      break;
    case 2:
      printGlyphList(p);
      break;
    case 3:
      printCodeChart(p);
      break;
    default:
      break;
  }
}
