#include "mechanism/character_rom.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/file_access.h"
#include "mechanism/glyph_text.h"

// Region starts of the ROM image; slot n of a region is the glyph at start + 6 n.
// font/make_font.cpp keeps the same map of used slots for drawing our own font: a
// change here goes there too.
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
constexpr const char *installedFontName = "../share/tambrix/PRINTER/mps801.fake";  // from the program's folder

namespace {

// The character each glyph shows in text, 0 for none, from the font's own list.
std::array<char32_t, romSize> makeTextOfGlyph() {
  std::array<char32_t, romSize> text{};
  for (unsigned i = 0; i < glyphTextCount; ++i) text[glyphTexts[i].glyph] = glyphTexts[i].text;
  return text;
}

const std::array<char32_t, romSize> textOfGlyph = makeTextOfGlyph();

}  // namespace

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

// The ROM files to look for, in order.
static std::vector<std::string> romCandidates() {
  std::vector<std::string> names = {realRomName, fakeRomName};
  std::string folder = programDirectory();
  if (!folder.empty()) names.push_back((std::filesystem::path(folder) / installedFontName).lexically_normal().string());
  return names;
}

RomSearch loadCharacterRom(GlyphTables &tables) {
  RomSearch search{romCandidates(), -1};
  for (size_t i = 0; i < search.tried.size(); ++i) {
    FILE *file = openForReading(search.tried[i]);
    if (file == nullptr) continue;
    std::fread(tables.rom, 1, romSize, file);
    std::fclose(file);
    search.used = int(i);
    search.tried.resize(i + 1);
    break;
  }
  return search;
}

static void mapRun(Glyph *table, unsigned firstCode, Glyph region) {
  for (unsigned i = 0; i < 32; ++i) table[firstCode + i] = Glyph(region + glyphWidth * i);
}

RomSearch buildGlyphTables(GlyphTables &tables) {
  RomSearch search = loadCharacterRom(tables);
  Glyph *graphicTable = tables.graphic, *businessTable = tables.business;
  for (unsigned code = 0; code < codeCount; ++code) graphicTable[code] = businessTable[code] = spaceGlyph;
  for (const CodeRun &run : commonRuns) {
    mapRun(graphicTable, run.firstCode, run.region);
    mapRun(businessTable, run.firstCode, run.region);
  }
  graphicTable[255] = piGlyph;
  for (unsigned i = 1; i <= 26; ++i) {
    businessTable[64 + i] = Glyph(lowerCaseRegion + glyphWidth * i);  // a-z at 65-90
    businessTable[96 + i] = Glyph(capitalRegion + glyphWidth * i);    // A-Z at 97-122
    businessTable[192 + i] = Glyph(capitalRegion + glyphWidth * i);   // A-Z again at 193-218
  }
  for (const CodeGlyph &single : businessSingles) businessTable[single.code] = single.glyph;
  return search;
}

char32_t glyphText(Glyph glyph) { return glyph < romSize ? textOfGlyph[glyph] : 0; }
