#include "engine/character_rom.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "engine/print_head.h"

// Region starts of the ROM image; slot n of a region is the glyph at start + 6 n.
constexpr Glyph punctuationRegion = 0x800;  // codes 32-63; slot 0 is the space
constexpr Glyph capitalRegion = 0x900;      // codes 64-95
constexpr Glyph blockRegion = 0xA00;        // codes 160-191, again at 224-255
constexpr Glyph lineRegion = 0xB00;         // codes 96-127, again at 192-223
constexpr Glyph lowerCaseRegion = 0xD00;    // business set letters and two fills

constexpr Glyph spaceGlyph = punctuationRegion;
constexpr Glyph piGlyph = 0xBB4;            // code 126 of the graphic set
constexpr Glyph checkerFillGlyph = 0xDB4;   // business 126, 222, 255
constexpr Glyph hatchDownGlyph = 0xDBA;     // business 127, 223
constexpr Glyph hatchUpGlyph = 0xBD2;       // business 169, 233
constexpr Glyph checkMarkGlyph = 0xBCC;     // business 186, 250

constexpr const char *realRomName = "PRINTER/mps801.bin";
constexpr const char *fakeRomName = "PRINTER/mps801.fake";

uint8_t characterRom[romSize];
Glyph graphicGlyphs[codeCount];
Glyph businessGlyphs[codeCount];

// A run of 32 codes that both sets map to consecutive slots of one region.
struct CodeRun {
  unsigned firstCode;
  Glyph region;
};

static const CodeRun commonRuns[6] = {
    {32, punctuationRegion},  // digits and punctuation
    {64, capitalRegion},      // @, capitals, brackets and arrows
    {96, lineRegion},         // line and box graphics
    {160, blockRegion},       // block graphics
    {192, lineRegion},        // the graphics of 96-127 again
    {224, blockRegion},       // the graphics of 160-191 again
};

// Single codes of the business set that point at glyphs of their own.
struct CodeGlyph {
  unsigned code;
  Glyph glyph;
};

static const CodeGlyph businessSingles[9] = {
    {126, checkerFillGlyph}, {222, checkerFillGlyph}, {255, checkerFillGlyph},
    {127, hatchDownGlyph},   {223, hatchDownGlyph},   {169, hatchUpGlyph},
    {233, hatchUpGlyph},     {186, checkMarkGlyph},   {250, checkMarkGlyph},
};

void resetCharacterRom() {
  std::memset(characterRom, 0, sizeof characterRom);
  std::memset(graphicGlyphs, 0, sizeof graphicGlyphs);
  std::memset(businessGlyphs, 0, sizeof businessGlyphs);
}

// Opens a ROM image for reading; a directory of that name does not count.
static FILE *openRomFile(const char *name) {
  FILE *file = std::fopen(name, "rb");
  struct stat info;
  if (file != nullptr && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

void loadCharacterRom() {
  FILE *file = openRomFile(realRomName);
  if (file == nullptr) {
    if (debugLevel & DebugTrace) std::printf("Real ROM not found, looking for fake ROM...\n");
    file = openRomFile(fakeRomName);
  }
  if (file == nullptr) {
    std::printf(
        "Could not open printer ROM files 'PRINTER/mps801.bin' or 'PRINTER/mps801.fake'. "
        "Character data is missing, text will be INVISIBLE.\n");
    return;
  }
  std::fread(characterRom, 1, romSize, file);
  std::fclose(file);
}

static void mapRun(Glyph *table, unsigned firstCode, Glyph region) {
  for (unsigned i = 0; i < 32; ++i) table[firstCode + i] = Glyph(region + glyphWidth * i);
}

void buildGlyphTables() {
  loadCharacterRom();
  for (unsigned code = 0; code < codeCount; ++code) graphicGlyphs[code] = businessGlyphs[code] = spaceGlyph;
  for (const CodeRun &run : commonRuns) {
    mapRun(graphicGlyphs, run.firstCode, run.region);
    mapRun(businessGlyphs, run.firstCode, run.region);
  }
  graphicGlyphs[255] = piGlyph;
  for (unsigned i = 1; i <= 26; ++i) {
    businessGlyphs[64 + i] = Glyph(lowerCaseRegion + glyphWidth * i);  // a-z at 65-90
    businessGlyphs[96 + i] = Glyph(capitalRegion + glyphWidth * i);    // A-Z at 97-122
    businessGlyphs[192 + i] = Glyph(capitalRegion + glyphWidth * i);   // A-Z again at 193-218
  }
  for (const CodeGlyph &single : businessSingles) businessGlyphs[single.code] = single.glyph;
}

void printCharacter(uint8_t code) {
  Glyph glyph = (modeWord & Business) ? businessGlyphs[code] : graphicGlyphs[code];
  if (debugLevel & DebugMarks) markCharacterCell();
  unsigned repeat = (modeWord & DoubleWidth) ? 2 : 1;
  for (unsigned column = 0; column < glyphWidth; ++column)
    for (unsigned i = 0; i < repeat; ++i) printColumn(characterRom[glyph + column]);
}
