// Page rasters encoded as PNG files. Each encoding thread has a page image of its own,
// white between pages: a raster's inked pixels are written straight into its pixel
// cache (one pixelColor call per pixel costs about a microsecond, which would take
// longer than the encoding), the image is encoded, and the same pixels are whitened.
//
// It builds against Magick++ 6 and 7. What differs between them is kept to the seam
// right below: the type of a pixel in the cache and how to set its colour, and how to
// make an image direct-class again. The rest is the same for both.
#include "output/page_image.h"

#include <Magick++.h>
#include <malloc.h>
#include <bit>
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

// An encoding thread's page image.
struct EncoderImage {
  std::unique_ptr<Magick::Image> image;       // white between pages
  unsigned width = 0;                         // its pixels across
  Pixel pixels = nullptr;                     // its pixels; null when not fetched
  const MagickCore::Image *layout = nullptr;  // the image whose channel map the pixels follow
};

// The calling thread's image, made anew for another size: per thread by nature, as each
// encoder thread (or a run's own thread) encodes its pages on an image of its own.
thread_local EncoderImage threadImage;

#if MagickLibVersion < 0x700
Pixel fetchPixels(EncoderImage &page) {
  return page.image->getPixels(0, 0, page.image->columns(), page.image->rows());
}
size_t pixelStride(const EncoderImage &) { return 1; }
void setColor(const EncoderImage &, Pixel p, Quantum red, Quantum green, Quantum blue) {
  MagickCore::PixelPacket packet;
  packet.red = red;
  packet.green = green;
  packet.blue = blue;
  packet.opacity = OpaqueOpacity;
  *p = packet;
}

// The storage class alone changes: the pixels are kept as they are, and the colour
// map is no longer read.
void makeDirectClass(EncoderImage &page) { page.image->image()->storage_class = MagickCore::DirectClass; }
#else
Pixel fetchPixels(EncoderImage &page) {
  Pixel pixels = page.image->getPixels(0, 0, page.image->columns(), page.image->rows());
  page.layout = page.image->constImage();
  return pixels;
}
size_t pixelStride(const EncoderImage &page) { return MagickCore::GetPixelChannels(page.layout); }
void setColor(const EncoderImage &page, Pixel p, Quantum red, Quantum green, Quantum blue) {
  MagickCore::SetPixelRed(page.layout, red, p);
  MagickCore::SetPixelGreen(page.layout, green, p);
  MagickCore::SetPixelBlue(page.layout, blue, p);
}

// The storage class is set and the pixel cache follows it (a PseudoClass image has an
// index channel here); the pixels are not rebuilt from the colour map.
void makeDirectClass(EncoderImage &page) {
  std::unique_ptr<MagickCore::ExceptionInfo, decltype(&MagickCore::DestroyExceptionInfo)> exception(
      MagickCore::AcquireExceptionInfo(), MagickCore::DestroyExceptionInfo);
  MagickCore::SetImageStorageClass(page.image->image(), MagickCore::DirectClass, exception.get());
  Magick::throwException(exception.get(), page.image->quiet());
}
#endif

constexpr int pageBufferThreshold = 64 << 20;  // bytes; allocations below come from the heap
constexpr uint8_t white = 0xFF;

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

Pixel pixelAt(const EncoderImage &page, unsigned x, unsigned y) {
  return page.pixels + (size_t(y) * page.width + x) * pixelStride(page);
}

// The image's pixels, fetched once: the image must be DirectClass first, or a written
// page's colour map would bring the previous page back.
void fetchForPainting(EncoderImage &page) {
  if (page.pixels != nullptr) return;
  page.image->modifyImage();
  page.image->classType(Magick::DirectClass);
  page.pixels = fetchPixels(page);
}

// Calls paint(x, y, red, green, blue) with the 8-bit levels of every pixel of the
// raster that is not white. White bytes are passed over eight at a time: most of a
// page is paper.
template <class Paint>
void forEachInked(unsigned width, unsigned height, PixelKind kind, const uint8_t *bytes, Paint paint) {
  bool bits = kind == PixelKind::BlackWhite, rgb = kind == PixelKind::Rgb;
  size_t channels = rgb ? 3 : 1;
  size_t rowBytes = rasterRowBytes(kind, width);
  constexpr uint64_t eightWhite = ~uint64_t(0);
  for (unsigned y = 0; y < height; ++y) {
    const uint8_t *row = bytes + y * rowBytes;
    size_t i = 0;
    while (i < rowBytes) {
      uint64_t eight = 0;
      if (rowBytes - i >= 8) std::memcpy(&eight, row + i, 8);
      if (eight == eightWhite) {
        i += 8;
      } else if (bits) {
        // The byte's black pixels, its lowest bit (the rightmost pixel) first.
        for (unsigned black = uint8_t(~row[i]); black != 0; black &= black - 1) {
          unsigned x = unsigned(i * 8 + 7) - unsigned(std::countr_zero(black));
          if (x < width) paint(x, y, 0, 0, 0);  // past it, a row's padding
        }
        ++i;
      } else {
        size_t x = i / channels;
        const uint8_t *p = row + x * channels;
        uint8_t red = p[0], green = rgb ? p[1] : red, blue = rgb ? p[2] : red;
        if ((red & green & blue) != white) paint(unsigned(x), y, red, green, blue);
        i = (x + 1) * channels;
      }
    }
  }
}

// A level as the cache stores it: every level painted is a whole 8-bit level, which
// builds with integer and with float quantums alike write back as that level.
Quantum quantumOf(uint8_t level) { return Quantum(level * (QuantumRange / 255)); }  // QuantumRange is a multiple of 255

// Tells the PNG encoder the depth of gray the page needs: 1 bit when it is black and
// white only, 8 when it holds a gray that 2 or 4 bits cannot hold (an 8-bit level that
// is not a multiple of 17). With colour, or only such coarse grays, the library
// chooses. It finds the same depth itself, but through a palette search for every
// pixel that takes about 40 % of the encoding of a worn-ribbon page, and leaves a
// colour map behind.
void setPngDepth(EncoderImage &page, bool colour, unsigned grayBits) {
  if (!colour && grayBits != 4) {
    page.image->defineValue("png", "color-type", "0");  // gray
    page.image->defineValue("png", "bit-depth", std::to_string(grayBits));
  } else {
    page.image->defineSet("png", "color-type", false);
    page.image->defineSet("png", "bit-depth", false);
  }
}

// Whitens the pixels the raster inked, once the page is encoded.
void whitenAfterEncoding(EncoderImage &page, PixelKind kind, const uint8_t *bytes) {
  // A page the library wrote through its palette is PseudoClass with a colour map
  // (ImageMagick 6 leaves it so, 7 does not). Converting it back to DirectClass would
  // first rebuild every pixel from the map, and they are about to be white or are.
  page.image->modifyImage();
  // An encoder could also leave a written page gray, without the green and blue
  // channels that we paint; this costs nothing when the page is RGB.
  page.image->colorSpace(MagickCore::sRGBColorspace);
  makeDirectClass(page);
  page.pixels = fetchPixels(page);
  forEachInked(page.width, unsigned(page.image->rows()), kind, bytes, [&page](unsigned x, unsigned y, uint8_t, uint8_t, uint8_t) {
    setColor(page, pixelAt(page, x, y), QuantumRange, QuantumRange, QuantumRange);
  });
}

}  // namespace

void initImageLibrary(const char *argv0) {
  // Page-sized buffers (rasters, the encoders' working memory) are made and freed for
  // every page. Taken from the heap they are reused; above the default threshold each
  // would be a fresh mapping whose pages fault in anew on every page, which took a
  // quarter of the time of a PDF run.
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

std::string encodeRasterPng(unsigned width, unsigned height, PixelKind kind, const uint8_t *bytes) {
  EncoderImage &page = threadImage;
  if (page.image == nullptr || page.width != width || page.image->rows() != height)
    page = EncoderImage{whitePage(width, height), width};
  fetchForPainting(page);
  bool colour = kind == PixelKind::Rgb;  // a raster is in colour only when it holds some
  unsigned grayBits = 1;
  forEachInked(width, height, kind, bytes, [&](unsigned x, unsigned y, uint8_t red, uint8_t green, uint8_t blue) {
    if (grayBits < 8 && red != 0 && red != white) grayBits = red % 17 != 0 ? 8 : 4;
    setColor(page, pixelAt(page, x, y), quantumOf(red), quantumOf(green), quantumOf(blue));
  });
  page.image->syncPixels();
  setPngDepth(page, colour, grayBits);
  Magick::Blob blob;
  try {
    page.image->write(&blob);
    whitenAfterEncoding(page, kind, bytes);
  } catch (...) {
    page = EncoderImage{};  // in whatever state the library left it: the next page gets a new one
    throw;
  }
  return std::string(static_cast<const char *>(blob.data()), blob.length());
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
