// The page image, painted through the image's pixel cache: one pixelColor call per
// pixel costs about a microsecond, which would make painting a dense page several
// times slower than encoding it. The pixels are exactly those one pixelColor per pixel
// would give with the same colours.
//
// It builds against Magick++ 6 and 7. What differs between them is kept to the seam
// right below: the type of a pixel in the cache and how to read and set its colour,
// and how to make an image direct-class again. The painter itself is the same for both.
#include "engine/page_image.h"

#include <Magick++.h>
#include <malloc.h>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using MagickCore::Quantum;

#if MagickLibVersion < 0x700
// ImageMagick 6: the cache holds one PixelPacket per pixel.
using Pixel = MagickCore::PixelPacket *;
#else
// ImageMagick 7: the cache holds, per pixel, one Quantum per channel of the image, at
// offsets the image's channel map gives.
using Pixel = Quantum *;
#endif

// One page image and what the painter knows of it.
struct PageBuffer {
  std::unique_ptr<Magick::Image> image;      // the page, reused from page to page
  unsigned width = 0;                        // its pixels across
  Pixel pixels = nullptr;                    // its pixels while painting; null when not fetched
  const MagickCore::Image *layout = nullptr;  // the image whose channel map the pixels follow
  unsigned inkedTop = 0;                     // rows inkedTop .. inkedEnd - 1 may hold ink since the
  unsigned inkedEnd = 0;                     //   last clear; all other rows are white
  bool handedOver = false;                   // with an encoder, not to be painted or cleared
};

#if MagickLibVersion < 0x700
Pixel fetchPixels(PageBuffer &page) {
  return page.image->getPixels(0, 0, page.image->columns(), page.image->rows());
}
size_t pixelStride(const PageBuffer &) { return 1; }
Quantum redOf(const PageBuffer &, const MagickCore::PixelPacket *p) { return p->red; }
Quantum greenOf(const PageBuffer &, const MagickCore::PixelPacket *p) { return p->green; }
Quantum blueOf(const PageBuffer &, const MagickCore::PixelPacket *p) { return p->blue; }
void setColor(const PageBuffer &, Pixel p, Quantum red, Quantum green, Quantum blue) {
  MagickCore::PixelPacket packet;
  packet.red = red;
  packet.green = green;
  packet.blue = blue;
  packet.opacity = OpaqueOpacity;
  *p = packet;
}

// The storage class alone changes: the pixels are kept as they are, and the colour
// map is no longer read.
void makeDirectClass(PageBuffer &page) { page.image->image()->storage_class = MagickCore::DirectClass; }
#else
Pixel fetchPixels(PageBuffer &page) {
  Pixel pixels = page.image->getPixels(0, 0, page.image->columns(), page.image->rows());
  page.layout = page.image->constImage();
  return pixels;
}
size_t pixelStride(const PageBuffer &page) { return MagickCore::GetPixelChannels(page.layout); }
Quantum redOf(const PageBuffer &page, const Quantum *p) { return MagickCore::GetPixelRed(page.layout, p); }
Quantum greenOf(const PageBuffer &page, const Quantum *p) { return MagickCore::GetPixelGreen(page.layout, p); }
Quantum blueOf(const PageBuffer &page, const Quantum *p) { return MagickCore::GetPixelBlue(page.layout, p); }
void setColor(const PageBuffer &page, Pixel p, Quantum red, Quantum green, Quantum blue) {
  MagickCore::SetPixelRed(page.layout, red, p);
  MagickCore::SetPixelGreen(page.layout, green, p);
  MagickCore::SetPixelBlue(page.layout, blue, p);
}

// The storage class is set and the pixel cache follows it (a PseudoClass image has an
// index channel here); the pixels are not rebuilt from the colour map.
void makeDirectClass(PageBuffer &page) {
  std::unique_ptr<MagickCore::ExceptionInfo, decltype(&MagickCore::DestroyExceptionInfo)> exception(
      MagickCore::AcquireExceptionInfo(), MagickCore::DestroyExceptionInfo);
  MagickCore::SetImageStorageClass(page.image->image(), MagickCore::DirectClass, exception.get());
  Magick::throwException(exception.get(), page.image->quiet());
}
#endif

#ifdef TAMBRIX_SKIP_PNG_ENCODING
// Fuzz builds: a page is synced and its file written, but holds no image data, since
// encoding would take most of the time of every input.
constexpr bool encodePages = false;
#else
constexpr bool encodePages = true;
#endif

constexpr int pageBufferThreshold = 64 << 20;  // bytes; allocations below come from the heap

// A colour as the cache stores it.
struct Ink {
  Quantum red, green, blue;
};

constexpr unsigned shadeCacheSize = 8;  // distinct gray shades remembered; the head has 7 pins

struct ShadeEntry {
  float shade;  // gray level, 0 black .. 1 white; negative = unused
  Ink ink;      // the same gray as the library stores it
};

unsigned imageWidth = 0;                   // pixels of every page image
unsigned imageHeight = 0;                  // pixels
std::vector<PageBuffer> buffers;           // the page images: one painted on, the others
                                           //   with encoders or free
unsigned current = 0;                      // the buffer painted on
ShadeEntry shadeCache[shadeCacheSize];     // recently used gray shades
unsigned nextShadeEntry = 0;               // entry the next new shade replaces
constexpr Ink markInks[2] = {{0, QuantumRange, 0}, {0, 0, QuantumRange}};  // indexed by MarkColor
constexpr Ink whiteInk = {QuantumRange, QuantumRange, QuantumRange};       // the paper

void forgetShades() {
  for (ShadeEntry &entry : shadeCache) entry.shade = -1.0f;
  nextShadeEntry = 0;
}

Pixel pixelAt(const PageBuffer &page, unsigned x, unsigned y) {
  return page.pixels + (size_t(y) * page.width + x) * pixelStride(page);
}

void setInk(const PageBuffer &page, Pixel p, const Ink &ink) { setColor(page, p, ink.red, ink.green, ink.blue); }

// The page's pixels, fetched once per page: the image must be DirectClass first, or a
// written page's colour map would bring the previous page back.
PageBuffer &pixelsFetched(PageBuffer &page) {
  if (page.pixels == nullptr) {
    page.image->modifyImage();
    page.image->classType(Magick::DirectClass);
    page.pixels = fetchPixels(page);
  }
  return page;
}

PageBuffer &paintedPage() { return pixelsFetched(buffers[current]); }

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
void noteInk(PageBuffer &page, unsigned top, unsigned end) {
  bool none = page.inkedTop >= page.inkedEnd;
  page.inkedTop = none ? top : std::min(page.inkedTop, top);
  page.inkedEnd = none ? end : std::max(page.inkedEnd, end);
}

void putPixel(unsigned x, unsigned y, const Ink &ink) {
  if (x >= imageWidth || y >= imageHeight) return;
  PageBuffer &page = paintedPage();
  setInk(page, pixelAt(page, x, y), ink);
  noteInk(page, y, y + 1);
}

// What the inked rows hold: colour, and the gray depth they need: 1 bit for black
// and white alone, 4 when every gray is one of the 16 levels 4 bits hold (an 8-bit
// level that is a multiple of 17), else 8.
struct InkScan {
  bool colour;
  unsigned grayBits;
};

// Adds a pixel's 8-bit levels to the scan.
void scanLevels(InkScan &scan, uint8_t red, uint8_t green, uint8_t blue) {
  if (red != green || red != blue) scan.colour = true;
  if (scan.grayBits < 8 && red != 0 && red != 0xFF) scan.grayBits = red % 17 != 0 ? 8 : 4;
}

uint8_t levelOf(Quantum quantum) { return MagickCore::ScaleQuantumToChar(quantum); }

InkScan scanInk(const PageBuffer &page) {
  InkScan scan{false, 1};
  if (page.pixels == nullptr || page.inkedTop >= page.inkedEnd) return scan;
  size_t stride = pixelStride(page);
  for (Pixel p = pixelAt(page, 0, page.inkedTop), end = pixelAt(page, 0, page.inkedEnd); p < end; p += stride) {
    scanLevels(scan, levelOf(redOf(page, p)), levelOf(greenOf(page, p)), levelOf(blueOf(page, p)));
    if (scan.colour && scan.grayBits == 8) break;
  }
  return scan;
}

// Tells the PNG encoder the depth of gray the page needs: 1 bit when it is black and
// white only, 8 when it holds a gray that 2 or 4 bits cannot hold (an 8-bit level that
// is not a multiple of 17). With colour, or only such coarse grays, the library
// chooses. It finds the same depth itself, but through a palette search for every
// pixel that takes about 40 % of the encoding of a worn-ribbon page, and leaves a
// colour map behind.
void setPngDepth(PageBuffer &page, const InkScan &scan) {
  if (!scan.colour && scan.grayBits != 4) {
    page.image->defineValue("png", "color-type", "0");  // gray
    page.image->defineValue("png", "bit-depth", std::to_string(scan.grayBits));
  } else {
    page.image->defineSet("png", "color-type", false);
    page.image->defineSet("png", "bit-depth", false);
  }
}

// Encodes the page as PNG, its ink as scanned.
std::string encodePng(PageBuffer &page, const InkScan &scan) {
  setPngDepth(page, scan);
  Magick::Blob blob;
  if (encodePages) page.image->write(&blob);
  page.pixels = nullptr;  // the encoder may have changed the cache
  return std::string(static_cast<const char *>(blob.data()), blob.length());
}

// Packs a gray raster of black and white alone into bits. Eight pixels at a time: the
// top bit of each of their bytes is the pixel's bit, and one multiplication gathers the
// eight top bits into one byte, the first pixel's lowest; loaded the other way round,
// the first pixel's comes out on top.
void packBlackWhite(PageRaster &raster) {
  size_t rowBytes = (size_t(raster.width) + 7) / 8;
  std::vector<uint8_t> bits(rowBytes * raster.height, 0xFF);  // white, padding included
  constexpr uint64_t topBits = 0x8080808080808080u, gather = 0x0002040810204081u;
  for (unsigned y = 0; y < raster.height; ++y) {
    const uint8_t *gray = raster.bytes.data() + size_t(y) * raster.width;
    uint8_t *out = bits.data() + y * rowBytes;
    unsigned x = 0;
    if constexpr (std::endian::native == std::endian::little)
      for (; x + 8 <= raster.width; x += 8) {
        uint64_t eight;
        std::memcpy(&eight, gray + x, 8);
        *out++ = uint8_t((__builtin_bswap64(eight) & topBits) * gather >> 56);
      }
    for (; x < raster.width; ++x)
      if (gray[x] == 0) bits[y * rowBytes + x / 8] &= uint8_t(~(0x80u >> x % 8));
  }
  raster.bytes = std::move(bits);
  raster.kind = PixelKind::BlackWhite;
}

// Whitens what was inked on the page since its last clear.
void clearBuffer(PageBuffer &page) {
  // A page the library wrote through its palette is PseudoClass with a colour map
  // (ImageMagick 6 leaves it so, 7 does not). Converting it back to DirectClass would
  // first rebuild every pixel from the map, and they are all about to be white.
  page.image->modifyImage();
  // An encoder could also leave a written page gray, without the green and blue
  // channels that we paint; this costs nothing when the page is RGB.
  page.image->colorSpace(MagickCore::sRGBColorspace);
  makeDirectClass(page);
  page.pixels = fetchPixels(page);
  size_t stride = pixelStride(page);
  for (Pixel p = pixelAt(page, 0, page.inkedTop), end = pixelAt(page, 0, page.inkedEnd); p < end; p += stride)
    setInk(page, p, whiteInk);
  page.inkedTop = page.inkedEnd = 0;
}

std::unique_ptr<Magick::Image> whitePage(unsigned width, unsigned height) {
  auto image = std::make_unique<Magick::Image>(Magick::Geometry(width, height), Magick::ColorMono(true));
  // A fresh image is 16 bits deep: gray pages would be written as 16-bit gray and
  // pages with debug colours as 48-bit RGB, and the format would drift with the pages.
  image->depth(8);
  image->magick("PNG");
  // zlib level 7 with adaptive filtering: within a few per cent of the smallest files
  // on every kind of page, and lower levels save no measurable time.
  image->quality(75);
  // No time stamps, so the same input always gives the same bytes.
  image->defineValue("png", "exclude-chunks", "date,time");
  return image;
}

}  // namespace

void initImageLibrary(const char *argv0) {
  // Page-sized buffers (PDF rasters and images, the encoders' working memory) are made
  // and freed for every page. Taken from the heap they are reused; above the default
  // threshold each would be a fresh mapping whose pages fault in anew on every page,
  // which took a quarter of the time of a PDF run.
  mallopt(M_MMAP_THRESHOLD, pageBufferThreshold);
  mallopt(M_TRIM_THRESHOLD, 2 * pageBufferThreshold);
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

void makePageImages(unsigned width, unsigned height, unsigned count) {
  if (width != imageWidth || height != imageHeight) dropPageImages();
  imageWidth = width;
  imageHeight = height;
  for (PageBuffer &page : buffers) {
    page.handedOver = false;
    if (page.inkedTop < page.inkedEnd) clearBuffer(page);
  }
  while (buffers.size() < count) buffers.push_back(PageBuffer{whitePage(width, height), width});
  buffers.resize(count);
  current = 0;
}

void paintDot(unsigned x, unsigned y, float shade) {
  const Ink &ink = grayInk(shade);
  if (x < imageWidth - 1 && y < imageHeight - 1) {  // the whole square is on the page
    PageBuffer &page = paintedPage();
    Pixel top = pixelAt(page, x, y), bottom = pixelAt(page, x, y + 1);
    size_t stride = pixelStride(page);
    setInk(page, top, ink);
    setInk(page, top + stride, ink);
    setInk(page, bottom, ink);
    setInk(page, bottom + stride, ink);
    noteInk(page, y, y + 2);
    return;
  }
  putPixel(x, y, ink);
  putPixel(x + 1, y, ink);
  putPixel(x + 1, y + 1, ink);
  putPixel(x, y + 1, ink);
}

void paintMark(unsigned x, unsigned y, MarkColor color) { putPixel(x, y, markInks[int(color)]); }

bool freePageImageLeft() {
  for (const PageBuffer &page : buffers)
    if (!page.handedOver && &page != &buffers[current]) return true;
  return false;
}

unsigned handOverPage() {
  unsigned painted = current;
  PageBuffer &page = buffers[painted];
  if (page.pixels != nullptr) page.image->syncPixels();  // the pointer stays good for reading
  page.handedOver = true;
  for (unsigned i = 0; i < buffers.size(); ++i)
    if (!buffers[i].handedOver) {
      current = i;
      break;
    }
  // The one image there is (a single buffer) is painted on again once released.
  return painted;
}

std::string encodePagePng(unsigned image) {
  PageBuffer &page = buffers[image];
  return encodePng(page, scanInk(page));
}

std::string encodeRasterPng(unsigned width, unsigned height, PixelKind kind, const uint8_t *bytes) {
  // The thread's own page image, white between calls, made anew for another size.
  thread_local PageBuffer aside;
  if (aside.image == nullptr || aside.width != width || aside.image->rows() != height)
    aside = PageBuffer{whitePage(width, height), width};
  PageBuffer &page = pixelsFetched(aside);
  // Only what is not white is painted: the image is white already. Every level in a
  // raster is a whole 8-bit level, as painted, so it goes back to the same quantum.
  auto quantum = [](uint8_t level) { return Quantum(level * (QuantumRange / 255)); };
  constexpr uint8_t white = 0xFF;
  InkScan scan{kind == PixelKind::Rgb, 1};
  if (kind == PixelKind::BlackWhite) {
    size_t rowBytes = (size_t(width) + 7) / 8;
    const Ink black{0, 0, 0};
    for (unsigned y = 0; y < height; ++y)
      for (size_t i = 0; i < rowBytes; ++i) {
        uint8_t byte = bytes[y * rowBytes + i];
        if (byte == white) continue;
        for (unsigned bit = 0; bit < 8 && i * 8 + bit < width; ++bit)
          if ((byte & (0x80u >> bit)) == 0) setInk(page, pixelAt(page, unsigned(i * 8 + bit), y), black);
        noteInk(page, y, y + 1);
      }
  } else {
    bool rgb = kind == PixelKind::Rgb;
    size_t channels = rgb ? 3 : 1;
    const uint8_t *p = bytes;
    for (unsigned y = 0; y < height; ++y)
      for (unsigned x = 0; x < width; ++x, p += channels) {
        uint8_t red = p[0], green = rgb ? p[1] : red, blue = rgb ? p[2] : red;
        if ((red & green & blue) == white) continue;
        scanLevels(scan, red, green, blue);
        setColor(page, pixelAt(page, x, y), quantum(red), quantum(green), quantum(blue));
        noteInk(page, y, y + 1);
      }
  }
  page.image->syncPixels();
  std::string png;
  try {
    png = encodePng(page, scan);
  } catch (...) {
    clearBuffer(page);
    throw;
  }
  clearBuffer(page);
  return png;
}

void raiseReportedException(const std::string &report) {
  auto after = [&report](const std::string &head, std::string &text) {
    if (report.compare(0, head.size(), head) != 0) return false;
    text = report.substr(head.size());
    return true;
  };
  std::string text;
  if (after("Coder Warning: ", text)) throw Magick::WarningCoder(text);
  if (after("Warning: ", text)) throw Magick::Warning(text);
  if (after("Error: ", text)) throw Magick::Error(text);
  throw Magick::Error(report);
}

PageRaster pageRaster(unsigned image) {
  const PageBuffer &page = buffers[image];
  InkScan scan = scanInk(page);
  PageRaster raster;
  raster.width = imageWidth;
  raster.height = imageHeight;
  raster.kind = scan.colour ? PixelKind::Rgb : scan.grayBits == 1 ? PixelKind::BlackWhite : PixelKind::Gray;
  if (raster.kind == PixelKind::BlackWhite) {
    size_t rowBytes = (imageWidth + 7) / 8;
    raster.bytes.assign(rowBytes * imageHeight, 0xFF);  // white, but for the inked rows' black
    size_t stride = pixelStride(page);
    for (unsigned y = page.inkedTop; y < page.inkedEnd; ++y) {
      Pixel p = pixelAt(page, 0, y);
      for (unsigned x = 0; x < imageWidth; ++x, p += stride)
        if (redOf(page, p) == 0) raster.bytes[y * rowBytes + x / 8] &= uint8_t(~(0x80u >> x % 8));
    }
    return raster;
  }
  bool rgb = raster.kind == PixelKind::Rgb;
  raster.bytes.assign(size_t(imageWidth) * imageHeight * (rgb ? 3 : 1), 0xFF);  // white outside the inked rows
  size_t stride = pixelStride(page);
  uint8_t *out = raster.bytes.data() + size_t(page.inkedTop) * imageWidth * (rgb ? 3 : 1);
  for (Pixel p = pixelAt(page, 0, page.inkedTop), end = pixelAt(page, 0, page.inkedEnd); p < end; p += stride) {
    *out++ = MagickCore::ScaleQuantumToChar(redOf(page, p));
    if (!rgb) continue;
    *out++ = MagickCore::ScaleQuantumToChar(greenOf(page, p));
    *out++ = MagickCore::ScaleQuantumToChar(blueOf(page, p));
  }
  return raster;
}

PageRaster takePageRaster(unsigned image) {
  PageBuffer &page = buffers[image];
  PageRaster raster;
  raster.width = imageWidth;
  raster.height = imageHeight;
  raster.kind = PixelKind::Gray;  // until a colour turns up
  raster.bytes.assign(size_t(imageWidth) * imageHeight, 0xFF);
  InkScan scan{false, 1};
  if (page.pixels != nullptr) {
    size_t stride = pixelStride(page);
    size_t first = size_t(page.inkedTop) * imageWidth, end = size_t(page.inkedEnd) * imageWidth;
    Pixel p = pixelAt(page, 0, page.inkedTop);
    for (size_t i = first; i < end; ++i, p += stride) {
      Quantum red = redOf(page, p), green = greenOf(page, p), blue = blueOf(page, p);
      if (red == whiteInk.red && green == whiteInk.green && blue == whiteInk.blue) continue;  // most of a page
      uint8_t levels[3] = {levelOf(red), levelOf(green), levelOf(blue)};
      bool gray = red == green && red == blue;
      if (!gray && !scan.colour) {  // the first colour: the pixels so far were gray
        std::vector<uint8_t> rgb(raster.bytes.size() * 3, 0xFF);
        for (size_t j = first; j < i; ++j) rgb[3 * j] = rgb[3 * j + 1] = rgb[3 * j + 2] = raster.bytes[j];
        raster.bytes = std::move(rgb);
        raster.kind = PixelKind::Rgb;
      }
      scanLevels(scan, levels[0], levels[1], levels[2]);
      if (scan.colour)
        std::memcpy(&raster.bytes[3 * i], levels, 3);
      else
        raster.bytes[i] = levels[0];
      setInk(page, p, whiteInk);
    }
  }
  page.inkedTop = page.inkedEnd = 0;
  if (!scan.colour && scan.grayBits == 1) packBlackWhite(raster);
  return raster;
}

void clearHandedOverPage(unsigned image) { clearBuffer(buffers[image]); }

void releasePage(unsigned image) {
  PageBuffer &page = buffers[image];
  if (page.inkedTop < page.inkedEnd) clearBuffer(page);
  page.handedOver = false;
  if (buffers[current].handedOver) current = image;
}

void dropPageImages() {
  buffers.clear();
  current = 0;
  imageWidth = 0;
  imageHeight = 0;
  forgetShades();
}
