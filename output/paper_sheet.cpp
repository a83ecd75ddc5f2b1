#include "output/paper_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "output/look_hash.h"

namespace {

// The tractor strips and their holes, in inches.
constexpr double stripWidthInches = 0.5;                 // each side
constexpr double holeDiameterInches = 5.0 / 32;
constexpr double holePitchInches = 0.5;                  // centre to centre, down the strip
constexpr double holeInsetInches = stripWidthInches / 2;  // from the paper's edge to a hole's centre
constexpr double holeFirstInches = holePitchInches / 2;   // from a fold to the first hole's centre
// The perforations: cuts of cutInches every perforationPitchInches, across lines of
// the given width (a fold's line is split between the sheets on either side of it).
constexpr double cutInches = 3.0 / 64;
constexpr double perforationPitchInches = 1.0 / 16;
constexpr double cutLineInches = 1.0 / 100;               // the line between a strip and the sheet
constexpr double foldLineInches = 1.0 / 100;              // the fold's line, half on each sheet
// Bands of green-bar and blue-bar paper: bandInches tinted, then bandInches white.
constexpr double bandInches = 0.5;
// The grain: a few short fibres along the paper (down the page), each fibreInches long.
// Sparse, and each the same over many rows, so that a page's file stays small: a row
// differs from the one above it only where a fibre starts or ends.
constexpr double fibreInches = 1.0 / 16;
constexpr double fibreShare = 0.08;      // of the paper's pixels, those on a fibre
constexpr unsigned grainTileSize = 256;  // pixels both ways; the grain repeats after as many
constexpr uint32_t grainSeed = 0x5eed6a1au;  // salt of the grain's hash

// Colours, red, green and blue.
constexpr uint8_t whiteColour[3] = {255, 255, 255};
constexpr uint8_t greenBand[3] = {218, 240, 221};  // the light green of green-bar paper
constexpr uint8_t blueBand[3] = {217, 230, 247};   // the light blue of blue-bar paper
constexpr uint8_t cutColour[3] = {178, 178, 178};  // a perforation's cut
constexpr uint8_t holeColour[3] = {120, 120, 120}; // what shows through a hole

unsigned toPixels(double inches, double pixelsPerInch) { return unsigned(std::lround(inches * pixelsPerInch)); }

// Whether the point, inches along a perforation, lies in a cut.
bool inCut(double inches) { return std::fmod(inches, perforationPitchInches) < cutInches; }

// The colour of every kind of paper.
void mixColours(PaperSheet &sheet) {
  const uint8_t *band = sheet.style == PaperStyle::BlueBar ? blueBand : greenBand;
  for (unsigned level = 0; level <= grainLevels; ++level)
    for (unsigned c = 0; c < 3; ++c) {
      sheet.colours[paperWhite + level][c] = uint8_t(whiteColour[c] - level);
      sheet.colours[paperBand + level][c] = uint8_t(band[c] - level);
    }
  std::memcpy(sheet.colours[paperCut], cutColour, 3);
  std::memcpy(sheet.colours[paperHole], holeColour, 3);
  for (unsigned edge = 1; edge <= holeEdges; ++edge)
    for (unsigned c = 0; c < 3; ++c)
      sheet.colours[paperCut + edge][c] =
          uint8_t(std::lround(whiteColour[c] + (holeColour[c] - whiteColour[c]) * double(edge) / (holeEdges + 1)));
}

// What each pixel column crosses.
void layColumns(PaperSheet &sheet) {
  sheet.columns.assign(sheet.width, SheetColumn::Sheet);
  if (sheet.style == PaperStyle::None) return;
  for (unsigned x = 0; x < sheet.width; ++x) {
    double inches = (x + 0.5) / sheet.pixelsPerInchX;
    double fromEdge = std::min(inches, paperWidthInches - inches);
    if (std::fabs(fromEdge - stripWidthInches) * sheet.pixelsPerInchX < std::max(0.5, cutLineInches / 2 * sheet.pixelsPerInchX))
      sheet.columns[x] = SheetColumn::Cut;
    else if (fromEdge < stripWidthInches)
      sheet.columns[x] = SheetColumn::Strip;
  }
}

// Short fibres down the paper, each a run of rows of one darkness, starting at a row
// of each column's own; listed by tile row.
void makeGrain(PaperSheet &sheet) {
  sheet.fibres.assign(grainTileSize, {});
  if (!sheet.grain) return;
  unsigned fibreRows = std::max(2u, toPixels(fibreInches, sheet.pixelsPerInchY));
  for (unsigned x = 0; x < grainTileSize; ++x) {
    unsigned start = lookHash(grainSeed, x, 0, 0) % fibreRows;
    for (unsigned y = 0; y < grainTileSize; ++y) {
      double u = lookUnit(lookHash(grainSeed, x, (y + start) / fibreRows, 1));
      if (u < fibreShare)
        sheet.fibres[y].push_back(Fibre{uint16_t(x), uint8_t(1 + unsigned(u / fibreShare * grainLevels))});
    }
  }
}

// The rows of paper before holes, folds and grain: white or banded, with the cut
// lines between strips and sheet cut or not.
void makeBaseRows(PaperSheet &sheet) {
  for (unsigned banded = 0; banded < 2; ++banded)
    for (unsigned cut = 0; cut < 2; ++cut) {
      std::vector<uint8_t> &row = sheet.baseRows[banded][cut];
      row.resize(sheet.width);
      for (unsigned x = 0; x < sheet.width; ++x) {
        SheetColumn column = sheet.columns[x];
        row[x] = column == SheetColumn::Sheet && banded != 0 ? paperBand
                 : column == SheetColumn::Cut && cut != 0    ? paperCut
                                                             : paperWhite;
      }
    }
}

// Darkens the row's white and banded pixels on a fibre.
void paintGrain(const PaperSheet &sheet, unsigned pageNumber, unsigned y, uint8_t *kinds) {
  const std::vector<Fibre> &fibres = sheet.fibres[(y + lookHash(grainSeed, pageNumber, 0, 2)) % grainTileSize];
  for (unsigned start = 0; start < sheet.width; start += grainTileSize)
    for (const Fibre &fibre : fibres) {
      unsigned x = start + fibre.x;
      if (x >= sheet.width) break;
      if (kinds[x] == paperWhite || kinds[x] == paperBand) kinds[x] = uint8_t(kinds[x] + fibre.darker);
    }
}

// Where the tinted bands are, inches down the paper from its start.
bool inBand(const PaperSheet &sheet, double inches) {
  if (sheet.style != PaperStyle::GreenBar && sheet.style != PaperStyle::BlueBar) return false;
  return std::fmod(inches, 2 * bandInches) < bandInches;
}

// The holes of both strips that reach into the row, inches down the paper.
void paintHoles(const PaperSheet &sheet, double downInches, uint8_t *kinds) {
  double centre = std::floor((downInches - holeFirstInches) / holePitchInches + 0.5) * holePitchInches + holeFirstInches;
  double radius = holeDiameterInches / 2, dy = downInches - centre;
  if (std::fabs(dy) > radius + 1 / sheet.pixelsPerInchY) return;
  for (double across : {holeInsetInches, paperWidthInches - holeInsetInches}) {
    unsigned first = unsigned(std::max(0.0, (across - radius) * sheet.pixelsPerInchX - 1));
    unsigned end = std::min(sheet.width, unsigned((across + radius) * sheet.pixelsPerInchX + 2));
    for (unsigned x = first; x < end; ++x) {
      double dx = (x + 0.5) / sheet.pixelsPerInchX - across;
      // Covered in part over the pixel at the rim: a smooth edge.
      double inside = std::clamp((radius - std::hypot(dx, dy)) * sheet.pixelsPerInchX + 0.5, 0.0, 1.0);
      long edge = std::lround(inside * (holeEdges + 1));
      if (edge > holeEdges) kinds[x] = paperHole;
      else if (edge > 0) kinds[x] = uint8_t(paperCut + edge);
    }
  }
}

// The fold's perforation, along a row at the top or bottom edge.
void paintFold(const PaperSheet &sheet, uint8_t *kinds) {
  for (unsigned x = 0; x < sheet.width; ++x)
    if (inCut((x + 0.5) / sheet.pixelsPerInchX)) kinds[x] = paperCut;
}

}  // namespace

void startPaperSheet(PaperSheet &sheet, PaperStyle style, unsigned pixelsPerInchX, unsigned pixelsPerInchY, double pageInches,
                     bool grain) {
  sheet = PaperSheet();
  sheet.style = style;
  sheet.pixelsPerInchX = pixelsPerInchX;
  sheet.pixelsPerInchY = pixelsPerInchY;
  sheet.pageInches = pageInches;
  bool paper = style != PaperStyle::None;
  sheet.width = toPixels(paper ? paperWidthInches : printWidthInches, pixelsPerInchX);
  sheet.height = std::max(1u, toPixels(sheet.pageInches, pixelsPerInchY));
  sheet.printLeft = paper ? toPixels(printLeftInches, pixelsPerInchX) : 0;
  sheet.grain = grain && paper;
  mixColours(sheet);
  layColumns(sheet);
  makeGrain(sheet);
  makeBaseRows(sheet);
}

void paintPaperRow(const PaperSheet &sheet, unsigned pageNumber, unsigned y, uint8_t *kinds) {
  // Inches down the strip of paper, from a fold an even number of inches before: holes
  // and bands go on from one sheet to the next.
  double sheetStart = std::fmod((pageNumber - 1) * sheet.pageInches, 2 * bandInches);
  double down = sheetStart + (y + 0.5) / sheet.pixelsPerInchY;
  const std::vector<uint8_t> &base = sheet.baseRows[inBand(sheet, down)][inCut(down)];
  std::memcpy(kinds, base.data(), base.size());
  if (sheet.style == PaperStyle::None) return;
  paintGrain(sheet, pageNumber, y, kinds);
  unsigned foldRows = std::max(1u, toPixels(foldLineInches / 2, sheet.pixelsPerInchY));
  if (y < foldRows || y + foldRows >= sheet.height) paintFold(sheet, kinds);
  paintHoles(sheet, down, kinds);
}
