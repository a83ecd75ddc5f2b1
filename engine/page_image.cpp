// The page image, painted through the image's pixel cache: one pixelColor call per
// pixel costs about a microsecond, which would make painting a dense page several
// times slower than encoding it. The pixels are exactly those one pixelColor per pixel
// would give with the same colours.
//
// It builds against Magick++ 6 and 7. What differs between them is kept to the seam
// right below: the type of a pixel in the cache and how to read and set its colour,
// and how to make an image direct-class again. The painter itself is the same for both.
#include "engine/page_image.h"

#include "engine/file_access.h"

#include <Magick++.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

using MagickCore::Quantum;

std::unique_ptr<Magick::Image> pageImage;  // the page, reused from page to page

#if MagickLibVersion < 0x700
// ImageMagick 6: the cache holds one PixelPacket per pixel.
using Pixel = MagickCore::PixelPacket *;

Pixel fetchPixels() { return pageImage->getPixels(0, 0, pageImage->columns(), pageImage->rows()); }
size_t pixelStride() { return 1; }
Quantum redOf(const MagickCore::PixelPacket *p) { return p->red; }
Quantum greenOf(const MagickCore::PixelPacket *p) { return p->green; }
Quantum blueOf(const MagickCore::PixelPacket *p) { return p->blue; }
void setColor(Pixel p, Quantum red, Quantum green, Quantum blue) {
  MagickCore::PixelPacket packet;
  packet.red = red;
  packet.green = green;
  packet.blue = blue;
  packet.opacity = OpaqueOpacity;
  *p = packet;
}

// The storage class alone changes: the pixels are kept as they are, and the colour
// map is no longer read.
void makeDirectClass() { pageImage->image()->storage_class = MagickCore::DirectClass; }
#else
// ImageMagick 7: the cache holds, per pixel, one Quantum per channel of the image, at
// offsets the image's channel map gives.
using Pixel = Quantum *;

const MagickCore::Image *layout = nullptr;  // the image whose channel map the pixels follow

Pixel fetchPixels() {
  Pixel pixels = pageImage->getPixels(0, 0, pageImage->columns(), pageImage->rows());
  layout = pageImage->constImage();
  return pixels;
}
size_t pixelStride() { return MagickCore::GetPixelChannels(layout); }
Quantum redOf(const Quantum *p) { return MagickCore::GetPixelRed(layout, p); }
Quantum greenOf(const Quantum *p) { return MagickCore::GetPixelGreen(layout, p); }
Quantum blueOf(const Quantum *p) { return MagickCore::GetPixelBlue(layout, p); }
void setColor(Pixel p, Quantum red, Quantum green, Quantum blue) {
  MagickCore::SetPixelRed(layout, red, p);
  MagickCore::SetPixelGreen(layout, green, p);
  MagickCore::SetPixelBlue(layout, blue, p);
}

// The storage class is set and the pixel cache follows it (a PseudoClass image has an
// index channel here); the pixels are not rebuilt from the colour map.
void makeDirectClass() {
  std::unique_ptr<MagickCore::ExceptionInfo, decltype(&MagickCore::DestroyExceptionInfo)> exception(
      MagickCore::AcquireExceptionInfo(), MagickCore::DestroyExceptionInfo);
  MagickCore::SetImageStorageClass(pageImage->image(), MagickCore::DirectClass, exception.get());
  Magick::throwException(exception.get(), pageImage->quiet());
}
#endif

#ifdef TAMBRIX_SKIP_PNG_ENCODING
// Fuzz builds: a page is synced and its file written, but holds no image data, since
// encoding would take most of the time of every input.
constexpr bool encodePages = false;
#else
constexpr bool encodePages = true;
#endif

// A colour as the cache stores it.
struct Ink {
  Quantum red, green, blue;
};

constexpr unsigned shadeCacheSize = 8;  // distinct gray shades remembered; the head has 7 pins

struct ShadeEntry {
  float shade;  // gray level, 0 black .. 1 white; negative = unused
  Ink ink;      // the same gray as the library stores it
};

unsigned imageWidth = 0;                   // pixels
unsigned imageHeight = 0;                  // pixels
Pixel pixels = nullptr;                    // the page's pixels while painting; null when not fetched
unsigned inkedTop = 0;                     // rows inkedTop .. inkedEnd - 1 may hold ink since the
unsigned inkedEnd = 0;                     //   last clear; all other rows are white
ShadeEntry shadeCache[shadeCacheSize];     // recently used gray shades
unsigned nextShadeEntry = 0;               // entry the next new shade replaces
constexpr Ink markInks[2] = {{0, QuantumRange, 0}, {0, 0, QuantumRange}};  // indexed by MarkColor
constexpr Ink whiteInk = {QuantumRange, QuantumRange, QuantumRange};       // the paper

void forgetShades() {
  for (ShadeEntry &entry : shadeCache) entry.shade = -1.0f;
  nextShadeEntry = 0;
}

Pixel pixelAt(unsigned x, unsigned y) { return pixels + (size_t(y) * imageWidth + x) * pixelStride(); }

void setInk(Pixel p, const Ink &ink) { setColor(p, ink.red, ink.green, ink.blue); }

// The page's pixels, fetched once per page: the image must be DirectClass first, or a
// written page's colour map would bring the previous page back.
Pixel pagePixels() {
  if (pixels == nullptr) {
    pageImage->modifyImage();
    pageImage->classType(Magick::DirectClass);
    pixels = fetchPixels();
  }
  return pixels;
}

// A gray is painted as a whole 8-bit level, the shade's level rounded down: the level
// the library writes for its own gray colour on builds with integer quantums, which cut
// a quantum down to 8 bits where builds with float quantums round it. A quantum that
// is a whole level is written as that level by both.
const Ink &grayInk(float shade) {
  for (const ShadeEntry &entry : shadeCache)
    if (entry.shade == shade) return entry.ink;
  ShadeEntry &entry = shadeCache[nextShadeEntry];
  nextShadeEntry = (nextShadeEntry + 1) % shadeCacheSize;
  entry.shade = shade;
  double level = std::clamp(std::floor(double(shade) * 255.0), 0.0, 255.0);
  Quantum gray = Quantum(level * (QuantumRange / 255));  // QuantumRange is a multiple of 255
  entry.ink = Ink{gray, gray, gray};
  return entry.ink;
}

// Widens the range of rows that the next clear must whiten.
void noteInk(unsigned top, unsigned end) {
  bool none = inkedTop >= inkedEnd;
  inkedTop = none ? top : std::min(inkedTop, top);
  inkedEnd = none ? end : std::max(inkedEnd, end);
}

void putPixel(unsigned x, unsigned y, const Ink &ink) {
  if (x >= imageWidth || y >= imageHeight) return;
  pagePixels();
  setInk(pixelAt(x, y), ink);
  noteInk(y, y + 1);
}

// What the inked rows hold: colour, and the gray depth they need: 1 bit for black
// and white alone, 4 when every gray is one of the 16 levels 4 bits hold (an 8-bit
// level that is a multiple of 17), else 8.
struct InkScan {
  bool colour;
  unsigned grayBits;
};

InkScan scanInk() {
  InkScan scan{false, 1};
  if (pixels == nullptr || inkedTop >= inkedEnd) return scan;
  size_t stride = pixelStride();
  for (Pixel p = pixelAt(0, inkedTop), end = pixelAt(0, inkedEnd); p < end; p += stride) {
    Quantum red = redOf(p);
    if (red != greenOf(p) || red != blueOf(p)) scan.colour = true;
    if (scan.grayBits < 8 && red != 0 && red != whiteInk.red)
      scan.grayBits = MagickCore::ScaleQuantumToChar(red) % 17 != 0 ? 8 : 4;
    if (scan.colour && scan.grayBits == 8) break;
  }
  return scan;
}

// The depth of gray the page needs: 1 bit when it is black and white only, 8 when it
// holds a gray that 2 or 4 bits cannot hold (an 8-bit level that is not a multiple of
// 17), 0 when it holds colour or only such coarse grays. The library finds the same
// depth itself, but through a palette search for every pixel that takes about 40 % of
// the encoding of a worn-ribbon page, and leaves a colour map behind.
unsigned grayBitsNeeded() {
  InkScan scan = scanInk();
  return scan.colour || scan.grayBits == 4 ? 0 : scan.grayBits;
}

}  // namespace

void initImageLibrary(const char *argv0) {
  Magick::InitializeMagick(argv0);
  Magick::ResourceLimits::thread(1);
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
  pageImage = std::make_unique<Magick::Image>(Magick::Geometry(width, height), Magick::ColorMono(true));
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
  const Ink &ink = grayInk(shade);
  if (x < imageWidth - 1 && y < imageHeight - 1) {  // the whole square is on the page
    pagePixels();
    Pixel top = pixelAt(x, y), bottom = pixelAt(x, y + 1);
    size_t stride = pixelStride();
    setInk(top, ink);
    setInk(top + stride, ink);
    setInk(bottom, ink);
    setInk(bottom + stride, ink);
    noteInk(y, y + 2);
    return;
  }
  putPixel(x, y, ink);
  putPixel(x + 1, y, ink);
  putPixel(x + 1, y + 1, ink);
  putPixel(x, y + 1, ink);
}

void paintMark(unsigned x, unsigned y, MarkColor color) { putPixel(x, y, markInks[int(color)]); }

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
  InkScan scan = scanInk();
  PageRaster raster;
  raster.width = imageWidth;
  raster.height = imageHeight;
  raster.kind = scan.colour ? PixelKind::Rgb : scan.grayBits == 1 ? PixelKind::BlackWhite : PixelKind::Gray;
  pagePixels();
  size_t stride = pixelStride();
  if (raster.kind == PixelKind::BlackWhite) {
    size_t rowBytes = (imageWidth + 7) / 8;
    raster.bytes.assign(rowBytes * imageHeight, 0xFF);  // white, but for the inked rows' black
    for (unsigned y = inkedTop; y < inkedEnd; ++y) {
      Pixel p = pixelAt(0, y);
      for (unsigned x = 0; x < imageWidth; ++x, p += stride)
        if (redOf(p) == 0) raster.bytes[y * rowBytes + x / 8] &= uint8_t(~(0x80u >> x % 8));
    }
    return raster;
  }
  bool rgb = raster.kind == PixelKind::Rgb;
  raster.bytes.resize(size_t(imageWidth) * imageHeight * (rgb ? 3 : 1));
  uint8_t *out = raster.bytes.data();
  for (Pixel p = pixelAt(0, 0), end = pixelAt(0, imageHeight); p < end; p += stride) {
    *out++ = MagickCore::ScaleQuantumToChar(redOf(p));
    if (!rgb) continue;
    *out++ = MagickCore::ScaleQuantumToChar(greenOf(p));
    *out++ = MagickCore::ScaleQuantumToChar(blueOf(p));
  }
  return raster;
}

void clearPageImage() {
  // A page the library wrote through its palette is PseudoClass with a colour map
  // (ImageMagick 6 leaves it so, 7 does not). Converting it back to DirectClass would
  // first rebuild every pixel from the map, and they are all about to be white.
  pageImage->modifyImage();
  // An encoder could also leave a written page gray, without the green and blue
  // channels that we paint; this costs nothing when the page is RGB.
  pageImage->colorSpace(MagickCore::sRGBColorspace);
  makeDirectClass();
  pixels = fetchPixels();
  size_t stride = pixelStride();
  for (Pixel p = pixelAt(0, inkedTop), end = pixelAt(0, inkedEnd); p < end; p += stride) setInk(p, whiteInk);
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
