// The page image, painted through the image's pixel cache: one pixelColor call per
// pixel costs about a microsecond, which would make painting a dense page several
// times slower than encoding it. Colours are converted by the library's own colour
// classes, so the pixels are exactly those one pixelColor per pixel would give.
#include "engine/page_image.h"

#include "engine/file_access.h"

#include <Magick++.h>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {

#ifdef TAMBRIX_SKIP_PNG_ENCODING
// Fuzz builds: a page is synced and its file written, but holds no image data, since
// encoding would take most of the time of every input.
constexpr bool encodePages = false;
#else
constexpr bool encodePages = true;
#endif

constexpr unsigned shadeCacheSize = 8;  // distinct gray shades remembered; the head has 7 pins

struct ShadeEntry {
  float shade;                 // gray level, 0 black .. 1 white; negative = unused
  Magick::PixelPacket packet;  // the same gray as the library stores it
};

std::unique_ptr<Magick::Image> pageImage;  // the page, reused from page to page
unsigned imageWidth = 0;                   // pixels
unsigned imageHeight = 0;                  // pixels
Magick::PixelPacket *pixels = nullptr;     // the page's pixels while painting; null when not fetched
unsigned inkedTop = 0;                     // rows inkedTop .. inkedEnd - 1 may hold ink since the
unsigned inkedEnd = 0;                     //   last clear; all other rows are white
ShadeEntry shadeCache[shadeCacheSize];     // recently used gray shades
unsigned nextShadeEntry = 0;               // entry the next new shade replaces
Magick::PixelPacket markPackets[2];        // green and blue, indexed by MarkColor
Magick::PixelPacket whitePacket;           // the paper

void forgetShades() {
  for (ShadeEntry &entry : shadeCache) entry.shade = -1.0f;
  nextShadeEntry = 0;
}

// The page's pixels, fetched once per page: the image must be DirectClass first, or a
// written page's colour map would bring the previous page back.
Magick::PixelPacket *pagePixels() {
  if (pixels == nullptr) {
    pageImage->modifyImage();
    pageImage->classType(Magick::DirectClass);
    pixels = pageImage->getPixels(0, 0, imageWidth, imageHeight);
  }
  return pixels;
}

const Magick::PixelPacket &grayPacket(float shade) {
  for (const ShadeEntry &entry : shadeCache)
    if (entry.shade == shade) return entry.packet;
  ShadeEntry &entry = shadeCache[nextShadeEntry];
  nextShadeEntry = (nextShadeEntry + 1) % shadeCacheSize;
  entry.shade = shade;
  entry.packet = Magick::ColorGray(shade);
  return entry.packet;
}

// Widens the range of rows that the next clear must whiten.
void noteInk(unsigned top, unsigned end) {
  bool none = inkedTop >= inkedEnd;
  inkedTop = none ? top : std::min(inkedTop, top);
  inkedEnd = none ? end : std::max(inkedEnd, end);
}

void putPixel(unsigned x, unsigned y, const Magick::PixelPacket &packet) {
  if (x >= imageWidth || y >= imageHeight) return;
  pagePixels()[size_t(y) * imageWidth + x] = packet;
  noteInk(y, y + 1);
}

// The depth of gray the page needs: 1 bit when it is black and white only, 8 when it
// holds a gray that 2 or 4 bits cannot hold (an 8-bit level that is not a multiple of
// 17), 0 when it holds colour or only such coarse grays. The library finds the same
// depth itself, but through a palette search for every pixel that takes about 40 % of
// the encoding of a worn-ribbon page, and leaves a colour map behind.
unsigned grayBitsNeeded() {
  if (pixels == nullptr || inkedTop >= inkedEnd) return 1;
  unsigned bits = 1;
  const Magick::PixelPacket *end = pixels + size_t(inkedEnd) * imageWidth;
  for (const Magick::PixelPacket *p = pixels + size_t(inkedTop) * imageWidth; p < end; ++p) {
    if (p->red != p->green || p->green != p->blue) return 0;
    if (bits < 8 && p->red != 0 && p->red != whitePacket.red)
      bits = MagickCore::ScaleQuantumToChar(p->red) % 17 != 0 ? 8 : 4;
  }
  return bits == 4 ? 0 : bits;
}

// The kind of raster the inked rows need: colour, gray, or black and white.
PixelKind rasterKindNeeded() {
  if (pixels == nullptr) return PixelKind::BlackWhite;
  PixelKind kind = PixelKind::BlackWhite;
  const Magick::PixelPacket *end = pixels + size_t(inkedEnd) * imageWidth;
  for (const Magick::PixelPacket *p = pixels + size_t(inkedTop) * imageWidth; p < end; ++p) {
    if (p->red != p->green || p->green != p->blue) return PixelKind::Rgb;
    if (p->red != 0 && p->red != whitePacket.red) kind = PixelKind::Gray;
  }
  return kind;
}

}  // namespace

void initImageLibrary(const char *argv0) {
  Magick::InitializeMagick(argv0);
  Magick::ResourceLimits::thread(1);
  markPackets[int(MarkColor::Green)] = Magick::ColorRGB(0, 1, 0);
  markPackets[int(MarkColor::Blue)] = Magick::ColorRGB(0, 0, 1);
  whitePacket = Magick::ColorMono(true);
}

bool describeException(const std::exception_ptr &error, std::string &report) {
  try {
    std::rethrow_exception(error);
  } catch (const Magick::WarningCoder &e) {
    report = std::string("Coder Warning: ") + e.what();
  } catch (const Magick::Warning &e) {
    report = std::string("Warning: ") + e.what();
  } catch (const std::exception &e) {  // the library's errors, FileError and the rest
    report = std::string("Error: ") + e.what();
  } catch (...) {
    return false;
  }
  return true;
}

void makePageImage(unsigned width, unsigned height) {
  if (pageImage != nullptr && width == imageWidth && height == imageHeight) {
    clearPageImage();
    return;
  }
  dropPageImage();
  pageImage = std::make_unique<Magick::Image>(Magick::Geometry(width, height, 0, 0, false, false),
                                              Magick::ColorMono(true));
  // A fresh image is 16 bits deep: gray pages would be written as 16-bit gray and
  // pages with debug colours as 48-bit RGB, and the format would drift with the pages.
  pageImage->depth(8);
  pageImage->magick("PNG");
  // zlib level 7 with adaptive filtering: within a few per cent of the smallest files
  // on every kind of page, and lower levels save no measurable time.
  pageImage->quality(75);
  // No time stamps, so the same input always gives the same bytes.
  pageImage->defineValue("png", "exclude-chunks", "date,time");
  imageWidth = width;
  imageHeight = height;
}

void paintDot(unsigned x, unsigned y, float shade) {
  const Magick::PixelPacket &packet = grayPacket(shade);
  if (x < imageWidth - 1 && y < imageHeight - 1) {  // the whole square is on the page
    Magick::PixelPacket *top = pagePixels() + size_t(y) * imageWidth + x;
    top[0] = packet;
    top[1] = packet;
    top[imageWidth] = packet;
    top[imageWidth + 1] = packet;
    noteInk(y, y + 2);
    return;
  }
  putPixel(x, y, packet);
  putPixel(x + 1, y, packet);
  putPixel(x + 1, y + 1, packet);
  putPixel(x, y + 1, packet);
}

void paintMark(unsigned x, unsigned y, MarkColor color) { putPixel(x, y, markPackets[int(color)]); }

void writePageFile(const std::string &name) {
  if (unsigned bits = grayBitsNeeded(); bits != 0) {
    pageImage->defineValue("png", "color-type", "0");  // gray
    pageImage->defineValue("png", "bit-depth", std::to_string(bits));
  } else {  // the library chooses
    pageImage->defineSet("png", "color-type", false);
    pageImage->defineSet("png", "bit-depth", false);
  }
  if (pixels != nullptr) {
    pageImage->syncPixels();
    pixels = nullptr;
  }
  Magick::Blob blob;
  if (encodePages) pageImage->write(&blob);
  // The bytes are written by name ourselves: the library would read characters such
  // as %, [ ] or a "name:" head of the file name as its own syntax.
  int error = replaceFileWhole(name, blob.data(), blob.length(), false);
  if (error != 0)
    throw FileError("tambrix: unable to write page file `" + name + "': " + std::strerror(error));
}

PageRaster pageRaster() {
  PageRaster raster;
  raster.width = imageWidth;
  raster.height = imageHeight;
  raster.kind = rasterKindNeeded();
  const Magick::PixelPacket *page = pagePixels();
  if (raster.kind == PixelKind::BlackWhite) {
    size_t rowBytes = (imageWidth + 7) / 8;
    raster.bytes.assign(rowBytes * imageHeight, 0xFF);
    for (unsigned y = inkedTop; y < inkedEnd; ++y)
      for (unsigned x = 0; x < imageWidth; ++x)
        if (page[size_t(y) * imageWidth + x].red == 0) raster.bytes[y * rowBytes + x / 8] &= uint8_t(~(0x80 >> x % 8));
    return raster;
  }
  unsigned channels = raster.kind == PixelKind::Gray ? 1 : 3;
  raster.bytes.resize(size_t(imageWidth) * imageHeight * channels);
  uint8_t *out = raster.bytes.data();
  for (const Magick::PixelPacket *p = page, *end = page + size_t(imageWidth) * imageHeight; p < end; ++p) {
    *out++ = MagickCore::ScaleQuantumToChar(p->red);
    if (channels == 3) {
      *out++ = MagickCore::ScaleQuantumToChar(p->green);
      *out++ = MagickCore::ScaleQuantumToChar(p->blue);
    }
  }
  return raster;
}

void clearPageImage() {
  // A page the library wrote through its palette is PseudoClass with a colour map.
  // Converting it back to DirectClass would first rebuild every pixel from the map, and
  // they are all about to be white.
  pageImage->modifyImage();
  pageImage->image()->storage_class = MagickCore::DirectClass;
  pixels = pageImage->getPixels(0, 0, imageWidth, imageHeight);
  if (inkedTop < inkedEnd)
    std::fill(pixels + size_t(inkedTop) * imageWidth, pixels + size_t(inkedEnd) * imageWidth, whitePacket);
  inkedTop = inkedEnd = 0;
}

void dropPageImage() {
  pixels = nullptr;
  pageImage.reset();
  imageWidth = 0;
  imageHeight = 0;
  inkedTop = inkedEnd = 0;
  forgetShades();
}
