#include "output/ink_dots.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/page_geometry.h"
#include "output/look_hash.h"

namespace {

constexpr double mmPerInch = 25.4;
// The dot's edge: its ink fades from full to none over this part of its radius on
// either side of the nominal edge, where a fresh ribbon's ink is half dark.
constexpr double edgeSoftness = 0.3;
// How much a dot's ink differs from the next, up or down: a fabric ribbon holds its
// ink unevenly.
constexpr double darknessVariation = 0.1;
// Ink at a fresh dot's centre, in full strikes: enough that the lightest of a fresh
// ribbon's dots is still black there.
constexpr double centreInk = 1 / (1 - darknessVariation);
constexpr unsigned stampPlaces = 4;       // places of a dot's centre within a pixel, each way
constexpr unsigned stampSamples = 4;      // samples a stamp pixel's coverage is averaged from, each way
constexpr unsigned fullCoverage = 4096;   // a stamp pixel wholly inside the dot
constexpr uint32_t darknessSeed = 0x1dc0ffeeu;  // salt of the dots' hash
constexpr unsigned fullSeen = 256;        // the paper seen whole, in the seen tables
// A dot's ink is one of these steps a strike, up to the most ink a dot can have; the
// lightest of a fresh ribbon's dots, one strike exactly, is a step of its own.
constexpr unsigned inkStepsPerStrike = 48;
constexpr double mostDotInk = centreInk * (1 + darknessVariation);  // in strikes
constexpr unsigned inkSteps = unsigned(mostDotInk * inkStepsPerStrike) + 2;  // 0 .. the most, rounded up

// A strike's ink of each colour, red, green and blue, as the part of the paper's light
// it lets through: black lets none through, blue mostly blue.
constexpr double ribbonInks[3][3] = {
    {0.0, 0.0, 0.0},     // black
    {0.12, 0.20, 0.58},  // blue
    {0.36, 0.16, 0.50},  // purple
};

constexpr uint8_t markColours[2][3] = {{0, 255, 0}, {0, 0, 255}};  // green tick, blue cell line

// How much of the dot's ink reaches a point r dot radii from its centre: 1 well inside,
// 1/2 at the nominal edge, none past the soft edge.
double coverageAt(double r) {
  double t = std::clamp((1 + edgeSoftness - r) / (2 * edgeSoftness), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// One stamp: the coverage of each of its pixels by a dot centred px and py pixels right
// of and below the centre of the stamp's middle pixel, px and py being fractions of a pixel.
void makeStamp(InkDots &dots, double px, double py, double radius, uint16_t *stamp) {
  unsigned size = dots.stampSize;
  double centreX = dots.stampHalf + 0.5 + px, centreY = dots.stampHalf + 0.5 + py;
  for (unsigned y = 0; y < size; ++y)
    for (unsigned x = 0; x < size; ++x) {
      double sum = 0;
      for (unsigned sy = 0; sy < stampSamples; ++sy)
        for (unsigned sx = 0; sx < stampSamples; ++sx) {
          double dx = x + (sx + 0.5) / stampSamples - centreX, dy = y + (sy + 0.5) / stampSamples - centreY;
          sum += coverageAt(std::hypot(dx, dy) / radius);
        }
      stamp[size_t(y) * size + x] = uint16_t(std::lround(sum / (stampSamples * stampSamples) * fullCoverage));
    }
}

// What the paper shows, per channel, through an amount of ink: each full strike lets
// the ink's part through, one strike over the other; within a strike the ink covers
// its part of the paper evenly.
void makeSeenTables(InkDots &dots, RibbonColour colour) {
  const double *ink = ribbonInks[int(colour)];
  for (unsigned c = 0; c < 3; ++c)
    for (unsigned amount = 0; amount <= mostInk; ++amount) {
      double strikes = double(amount) / inkPerStrike, whole = std::floor(strikes);
      double seen = std::pow(ink[c], whole) * (1 - (strikes - whole) * (1 - ink[c]));
      dots.seen[c][amount] = uint16_t(std::lround(seen * fullSeen));
    }
}

// How dark an amount of ink looks on white paper: 0 none .. 1 black, by the luma of
// what the paper shows through it.
double darknessOf(const InkDots &dots, unsigned amount) {
  constexpr double luma[3] = {0.299, 0.587, 0.114};  // the weights of red, green and blue in a gray
  double seen = 0;
  for (unsigned c = 0; c < 3; ++c) seen += luma[c] * dots.seen[c][amount] / fullSeen;
  return 1 - seen;
}

// The palette's step of every amount of ink: steps evenly spread in darkness, from
// none (no ink at all) to the darkest the ink can be; and the amount each step shows.
void makeLevels(InkDots &dots) {
  double darkest = darknessOf(dots, mostInk);
  for (unsigned amount = 0; amount <= mostInk; ++amount) {
    long level = darkest > 0 ? std::lround(darknessOf(dots, amount) / darkest * (inkLevels - 1)) : 0;
    dots.levelOf[amount] = uint8_t(amount == 0 ? 0 : std::clamp(level, 1l, long(inkLevels - 1)));
  }
}

// The palette entry of each kind of paper under each amount of ink.
void makeEntries(InkDots &dots) {
  for (unsigned kind = 0; kind < paperKinds; ++kind)
    for (unsigned amount = 0; amount <= mostInk; ++amount)
      dots.entries[kind][amount] = uint8_t(kind * inkLevels + dots.levelOf[amount]);
}

// The amount of ink a palette step shows: the amount whose darkness is nearest the
// step's.
unsigned amountOfLevel(const InkDots &dots, unsigned level) {
  double darkest = darknessOf(dots, mostInk), wanted = darkest * level / (inkLevels - 1);
  unsigned best = 0;
  for (unsigned amount = 1; amount <= mostInk; ++amount)
    if (std::fabs(darknessOf(dots, amount) - wanted) < std::fabs(darknessOf(dots, best) - wanted)) best = amount;
  return level == 0 ? 0 : best;
}

// The palette: every kind of paper under every step of ink, then the marks.
void makePalette(InkDots &dots, const uint8_t (&paperColours)[paperKinds][3]) {
  dots.palette.assign(size_t(paletteEntries) * 3, 0);
  for (unsigned level = 0; level < inkLevels; ++level) {
    unsigned amount = amountOfLevel(dots, level);
    for (unsigned kind = 0; kind < paperKinds; ++kind)
      for (unsigned c = 0; c < 3; ++c)
        dots.palette[3 * (kind * inkLevels + level) + c] =
            uint8_t((paperColours[kind][c] * dots.seen[c][amount] + fullSeen / 2) / fullSeen);
  }
  for (unsigned mark = 0; mark < 2; ++mark)
    std::memcpy(&dots.palette[3 * size_t(greenMarkEntry + mark)], markColours[mark], 3);
}

// Adds the ink of one dot centred at (x, y) pixels, with the stamp of its step of ink.
// Only the stamp's rows and columns on the page are walked, each row from its first
// inked pixel to its last.
void stampDot(const InkDots &dots, double x, double y, unsigned step, uint8_t *amounts, unsigned width, unsigned height) {
  // The centre in quarter pixels: the whole pixel, and the place within it.
  long quarterX = std::lround(x * stampPlaces), quarterY = std::lround(y * stampPlaces);
  long cx = quarterX >= 0 ? quarterX / long(stampPlaces) : (quarterX - long(stampPlaces) + 1) / long(stampPlaces);
  long cy = quarterY >= 0 ? quarterY / long(stampPlaces) : (quarterY - long(stampPlaces) + 1) / long(stampPlaces);
  unsigned place = unsigned(quarterY - cy * long(stampPlaces)) * stampPlaces + unsigned(quarterX - cx * long(stampPlaces));
  unsigned size = dots.stampSize;
  const uint8_t *stamp = dots.inkStamps.data() + (size_t(step) * stampPlaces * stampPlaces + place) * size * size;
  const uint8_t *spans = dots.stampSpans.data() + size_t(place) * size * 2;
  long left = cx - long(dots.stampHalf), top = cy - long(dots.stampHalf);
  long firstRow = std::max(0l, -top), endRow = std::min(long(size), long(height) - top);
  for (long sy = firstRow; sy < endRow; ++sy) {
    long first = std::max(long(spans[2 * sy]), -left), end = std::min(long(spans[2 * sy + 1]), long(width) - left);
    uint8_t *out = amounts + size_t(top + sy) * width + (left + first);
    const uint8_t *in = stamp + size_t(sy) * size + first;
    for (long i = 0; i < end - first; ++i) out[i] = uint8_t(std::min(unsigned(out[i]) + in[i], mostInk));
  }
}

// Where each row of each stamp is inked: its first pixel and the one past its last.
void findSpans(InkDots &dots) {
  unsigned size = dots.stampSize, stamps = stampPlaces * stampPlaces;
  dots.stampSpans.assign(size_t(stamps) * size * 2, 0);
  for (unsigned s = 0; s < stamps; ++s)
    for (unsigned y = 0; y < size; ++y) {
      const uint16_t *row = dots.stamps.data() + (size_t(s) * size + y) * size;
      unsigned first = 0, end = size;
      while (first < size && row[first] == 0) ++first;
      while (end > first && row[end - 1] == 0) --end;
      dots.stampSpans[(size_t(s) * size + y) * 2] = uint8_t(first);
      dots.stampSpans[(size_t(s) * size + y) * 2 + 1] = uint8_t(end);
    }
}

// The stamps of every step of ink: amounts of ink, prepared once for the run, so that a
// dot only adds its stamp to the page.
void makeInkStamps(InkDots &dots) {
  size_t stampPixels = size_t(dots.stampSize) * dots.stampSize, perStep = stampPixels * stampPlaces * stampPlaces;
  dots.inkStamps.assign(perStep * inkSteps, 0);
  for (unsigned step = 0; step < inkSteps; ++step)
    for (size_t i = 0; i < perStep; ++i) {
      double amount = double(dots.stamps[i]) / fullCoverage * step / inkStepsPerStrike * inkPerStrike;
      dots.inkStamps[step * perStep + i] = uint8_t(std::min(std::lround(amount), long(mostInk)));
    }
}

// What the paper of each kind shows in gray through each amount of ink.
void makeGrays(InkDots &dots, const uint8_t (&paperColours)[paperKinds][3]) {
  for (unsigned kind = 0; kind < paperKinds; ++kind)
    for (unsigned amount = 0; amount <= mostInk; ++amount)
      dots.grays[kind][amount] = uint8_t((paperColours[kind][0] * dots.seen[0][amount] + fullSeen / 2) / fullSeen);
}

}  // namespace

void startInkDots(InkDots &dots, const PageGeometry &geometry, unsigned pixelsPerInch, RibbonColour colour,
                  const uint8_t (&paperColours)[paperKinds][3]) {
  dots = InkDots();
  dots.pixelsPerInch = pixelsPerInch;
  dots.perPagePixelX = double(pixelsPerInch) / geometry.pixelsPerInchX;
  dots.perPagePixelY = double(pixelsPerInch) / geometry.pixelsPerInchY;
  dots.dotCentre = geometry.dotPixels / 2.0;
  double radius = geometry.dotMm / mmPerInch * pixelsPerInch / 2;
  // The centre lies up to a pixel right of and below the middle pixel's centre.
  dots.stampHalf = unsigned(std::ceil(radius * (1 + edgeSoftness) + 0.5));
  dots.stampSize = 2 * dots.stampHalf + 1;
  size_t stampPixels = size_t(dots.stampSize) * dots.stampSize;
  dots.stamps.assign(stampPixels * stampPlaces * stampPlaces, 0);
  for (unsigned py = 0; py < stampPlaces; ++py)
    for (unsigned px = 0; px < stampPlaces; ++px)
      makeStamp(dots, double(px) / stampPlaces, double(py) / stampPlaces, radius,
                dots.stamps.data() + (py * stampPlaces + px) * stampPixels);
  findSpans(dots);
  makeInkStamps(dots);
  makeSeenTables(dots, colour);
  makeGrays(dots, paperColours);
  makeLevels(dots);
  makeEntries(dots);
  makePalette(dots, paperColours);
}

void addStrikeInk(const InkDots &dots, const std::vector<Strike> &strikes, unsigned pageNumber, unsigned printLeft, uint8_t *amounts,
                  unsigned width, unsigned height) {
  double perPixelX = dots.perPagePixelX, perPixelY = dots.perPagePixelY;
  for (const Strike &strike : strikes) {
    // A dot's centre is the centre of its square of page pixels. Pixel centres lie at
    // half pixels.
    double x = printLeft + (strike.x + dots.dotCentre) * perPixelX - 0.5, y = (strike.y + dots.dotCentre) * perPixelY - 0.5;
    double variation = 1 + darknessVariation * (2 * lookUnit(lookHash(darknessSeed + pageNumber, strike.x, strike.y, strike.pin)) - 1);
    double ink = (1 - std::clamp(double(strike.shade), 0.0, 1.0)) * variation * centreInk;
    unsigned step = unsigned(std::min(std::lround(ink * inkStepsPerStrike), long(inkSteps - 1)));
    if (step != 0) stampDot(dots, x, y, step, amounts, width, height);
  }
}

void inkOverPaper(const InkDots &dots, const uint8_t *amounts, const uint8_t *kinds, unsigned width, uint8_t *out, PixelKind kind) {
  if (kind == PixelKind::Gray) {
    for (unsigned x = 0; x < width; ++x) out[x] = dots.grays[kinds[x]][amounts[x]];
    return;
  }
  for (unsigned x = 0; x < width; ++x) out[x] = dots.entries[kinds[x]][amounts[x]];
}
