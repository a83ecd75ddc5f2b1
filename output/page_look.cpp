#include "output/page_look.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "output/ink_dots.h"
#include "output/paper_sheet.h"

namespace {

constexpr uint8_t white = 0xFF;

// The colour of a pixel of the painted page; false when it is white.
bool dotPixel(const PageRaster &raster, unsigned x, unsigned y, uint8_t rgb[3]) {
  size_t row = size_t(y) * rasterRowBytes(raster.kind, raster.width);
  switch (raster.kind) {
    case PixelKind::BlackWhite:
      if (raster.bytes[row + x / 8] & (0x80u >> x % 8)) return false;
      rgb[0] = rgb[1] = rgb[2] = 0;
      return true;
    case PixelKind::Gray:
      rgb[0] = rgb[1] = rgb[2] = raster.bytes[row + x];
      break;
    case PixelKind::Rgb:
      std::memcpy(rgb, &raster.bytes[row + 3 * size_t(x)], 3);
      break;
    case PixelKind::Indexed:
      std::memcpy(rgb, &raster.palette[3 * size_t(raster.bytes[row + x])], 3);
      break;
  }
  return (rgb[0] & rgb[1] & rgb[2]) != white;
}

// Copies a row of the output from the rgb row, whole or its red channel alone.
void putRow(PageRaster &out, unsigned y, const uint8_t *rgb) {
  size_t rowBytes = rasterRowBytes(out.kind, out.width);
  uint8_t *row = out.bytes.data() + y * rowBytes;
  if (out.kind == PixelKind::Rgb) {
    std::memcpy(row, rgb, rowBytes);
    return;
  }
  for (unsigned x = 0; x < out.width; ++x) row[x] = rgb[3 * size_t(x)];
}

PageRaster blankLook(const PageLook &look, PixelKind kind) {
  PageRaster out;
  out.width = look.width;
  out.height = look.height;
  out.kind = kind;
  out.bytes.resize(rasterRowBytes(out.kind, out.width) * out.height);
  out.pixelsPerInchX = look.pixelsPerInchX;
  out.pixelsPerInchY = look.pixelsPerInchY;
  out.printLeft = look.printLeft;
  out.recordsResolution = true;
  if (kind == PixelKind::Indexed) out.palette = look.dots.palette;
  return out;
}

bool bandedPaper(const PageLook &look) { return look.paper == PaperStyle::GreenBar || look.paper == PaperStyle::BlueBar; }

// The painted page's pixels that are not white, over the paper, at 120 x 126 pixels
// an inch: the dots exactly as painted.
PageRaster dotsOnPaper(const PageLook &look, const PageJob &job) {
  const PageRaster &dots = job.raster;
  PageRaster out = blankLook(look, bandedPaper(look) || dots.kind == PixelKind::Rgb ? PixelKind::Rgb : PixelKind::Gray);
  std::vector<uint8_t> kinds(out.width), rgb(size_t(out.width) * 3);
  for (unsigned y = 0; y < out.height; ++y) {
    paintPaperRow(look.sheet, job.number, y, kinds.data());
    for (unsigned x = 0; x < out.width; ++x) std::memcpy(&rgb[3 * size_t(x)], look.sheet.colours[kinds[x]], 3);
    uint8_t dot[3];
    if (y < dots.height)
      for (unsigned x = 0; x < dots.width && look.printLeft + x < out.width; ++x)
        if (dotPixel(dots, x, y, dot)) std::memcpy(&rgb[3 * size_t(look.printLeft + x)], dot, 3);
    putRow(out, y, rgb.data());
  }
  return out;
}

// Paints the debug marks over the ink, each page pixel as the block of pixels it covers.
void paintMarks(const PageLook &look, PageRaster &out, const std::vector<MarkPixel> &marks) {
  double perPixelX = double(look.pixelsPerInchX) / look.geometry.pixelsPerInchX;
  double perPixelY = double(look.pixelsPerInchY) / look.geometry.pixelsPerInchY;
  for (const MarkPixel &mark : marks) {
    unsigned left = look.printLeft + unsigned(mark.x * perPixelX), top = unsigned(mark.y * perPixelY);
    unsigned right = std::max(left + 1, look.printLeft + unsigned((mark.x + 1) * perPixelX));
    unsigned bottom = std::max(top + 1, unsigned((mark.y + 1) * perPixelY));
    for (unsigned y = top; y < bottom && y < out.height; ++y)
      for (unsigned x = left; x < right && x < out.width; ++x)
        out.bytes[size_t(y) * out.width + x] = mark.blue != 0 ? blueMarkEntry : greenMarkEntry;
  }
}

// The page's strikes as ink dots on the paper, the debug marks on top: in gray, or with
// a palette when the paper, the ribbon or the marks have colour.
PageRaster inkOnPaper(const PageLook &look, const PageJob &job) {
  bool colour = bandedPaper(look) || look.ribbon != RibbonColour::Black || !job.marks.empty();
  PageRaster out = blankLook(look, colour ? PixelKind::Indexed : PixelKind::Gray);
  std::vector<uint8_t> amounts(size_t(out.width) * out.height, 0);
  addStrikeInk(look.dots, job.strikes, job.number, look.printLeft, amounts.data(), out.width, out.height);
  std::vector<uint8_t> kinds(out.width);
  for (unsigned y = 0; y < out.height; ++y) {
    paintPaperRow(look.sheet, job.number, y, kinds.data());
    size_t row = size_t(y) * out.width;
    inkOverPaper(look.dots, amounts.data() + row, kinds.data(), out.width, out.bytes.data() + row, out.kind);
  }
  paintMarks(look, out, job.marks);
  return out;
}

}  // namespace

void startPageLook(PageLook &look, const RunSettings &settings) {
  look = PageLook();
  look.look = settings.look;
  look.paper = settings.paper;
  look.ribbon = settings.ribbonColour;
  look.changesPages = settings.look != LookStyle::Dots || settings.paper != PaperStyle::None;
  bool ink = settings.look == LookStyle::Ink;
  look.geometry = pageGeometryOf(settings.model);
  look.pageHeight = settings.pageHeight;
  look.pixelsPerInchX = ink ? settings.inkDpi : look.geometry.pixelsPerInchX;
  look.pixelsPerInchY = ink ? settings.inkDpi : look.geometry.pixelsPerInchY;
  if (!look.changesPages) {  // pages go out as painted: no paper to lay out
    look.width = look.geometry.width;
    look.height = settings.pageHeight;
    return;
  }
  startPaperSheet(look.sheet, settings.paper, look.pixelsPerInchX, look.pixelsPerInchY,
                  double(settings.pageHeight) / look.geometry.pixelsPerInchY, ink);
  look.width = look.sheet.width;
  look.height = look.sheet.height;
  look.printLeft = look.sheet.printLeft;
  if (ink) startInkDots(look.dots, look.geometry, settings.inkDpi, settings.ribbonColour, look.sheet.colours);
}

PageRaster renderPageLook(const PageLook &look, const PageJob &job) {
  if (job.raster.height != look.pageHeight) {
    // A page of another length than the run's (a printer can set its form length):
    // its own sheet, the dots as they are.
    PageLook own;
    own.changesPages = look.changesPages;
    own.look = look.look;
    own.paper = look.paper;
    own.ribbon = look.ribbon;
    own.geometry = look.geometry;
    own.pageHeight = job.raster.height;
    own.pixelsPerInchX = look.pixelsPerInchX;
    own.pixelsPerInchY = look.pixelsPerInchY;
    startPaperSheet(own.sheet, own.paper, own.pixelsPerInchX, own.pixelsPerInchY,
                    double(own.pageHeight) / own.geometry.pixelsPerInchY, own.look == LookStyle::Ink);
    own.width = own.sheet.width;
    own.height = own.sheet.height;
    own.printLeft = own.sheet.printLeft;
    own.dots = look.dots;
    return own.look == LookStyle::Ink ? inkOnPaper(own, job) : dotsOnPaper(own, job);
  }
  return look.look == LookStyle::Ink ? inkOnPaper(look, job) : dotsOnPaper(look, job);
}
