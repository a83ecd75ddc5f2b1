#include "mechanism/page_canvas.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t white = 0xFF;
constexpr uint8_t markLevels[2][3] = {{0, white, 0}, {0, 0, white}};  // red, green, blue by MarkColor

constexpr size_t mostBlanks = 4;  // pages of earlier runs kept whitened; the oldest goes first
constexpr size_t mostSpares = 4;  // bytes of pages given back, kept to be used again

uint8_t levelOf(float shade) { return uint8_t(std::clamp(std::floor(double(shade) * 255.0), 0.0, 255.0)); }

// A vector of size bytes, each value, made from a spare when one is big enough: a
// page-sized allocation per page would fault its memory in anew under some
// allocators.
std::vector<uint8_t> pageBytes(PagePool &pool, size_t size, uint8_t value) {
  std::vector<uint8_t> bytes;
  // The smallest spare that is big enough: a large one taken for a small page would be
  // missing for the next large one.
  auto fits = pool.spares.end();
  for (auto spare = pool.spares.begin(); spare != pool.spares.end(); ++spare)
    if (spare->capacity() >= size && (fits == pool.spares.end() || spare->capacity() < fits->capacity())) fits = spare;
  if (fits != pool.spares.end()) {
    std::swap(*fits, pool.spares.back());
    bytes = std::move(pool.spares.back());
    pool.spares.pop_back();
  }
  bytes.assign(size, value);
  return bytes;
}

// Keeps page bytes no longer needed as a spare. With as many spares as are kept, the
// bytes replace the smallest of them if larger: small pages of one run must not crowd
// out the large ones of the next.
void keepSpare(PagePool &pool, std::vector<uint8_t> &&bytes) {
  if (pool.spares.size() < mostSpares) {
    pool.spares.push_back(std::move(bytes));
  } else {
    auto smallest = std::min_element(pool.spares.begin(), pool.spares.end(), [](const auto &a, const auto &b) {
      return a.capacity() < b.capacity();
    });
    if (smallest->capacity() < bytes.capacity()) *smallest = std::move(bytes);
  }
}

// Widens the range of rows that the next page must whiten.
void noteInk(PageCanvas &c, unsigned top, unsigned end) {
  bool none = c.page.inkedTop >= c.page.inkedEnd;
  c.page.inkedTop = none ? top : std::min(c.page.inkedTop, top);
  c.page.inkedEnd = none ? end : std::max(c.page.inkedEnd, end);
}

void putPixel(PageCanvas &c, unsigned x, unsigned y, const uint8_t levels[3]) {
  if (x >= c.page.width || y >= c.page.height) return;
  size_t index = size_t(y) * c.page.width + x;
  if (c.page.rgb) {
    uint8_t *p = &c.page.bytes[3 * index];
    p[0] = levels[0];
    p[1] = levels[1];
    p[2] = levels[2];
  } else {
    c.page.bytes[index] = levels[0];
  }
  noteInk(c, y, y + 1);
}

// From gray to colour, for the page's first debug mark.
void widenToRgb(PageCanvas &c) {
  std::vector<uint8_t> rgb = pageBytes(c.pool, c.page.bytes.size() * 3, white);
  size_t end = size_t(c.page.inkedEnd) * c.page.width;  // the other rows are white
  for (size_t i = size_t(c.page.inkedTop) * c.page.width; i < end; ++i)
    rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = c.page.bytes[i];
  keepSpare(c.pool, std::move(c.page.bytes));
  c.page.bytes = std::move(rgb);
  c.page.rgb = true;
}

// Whether each of the eight bytes is 0 or 255: a byte is when it equals its top bit
// copied into all eight bits.
bool blackOrWhite(uint64_t eight) {
  uint64_t tops = (eight & 0x8080808080808080u) >> 7;
  return (eight ^ tops * 0xFF) == 0;
}

bool isGray(uint8_t level) { return level != 0 && level != white; }

// Whether the inked rows of a colour page hold a pixel in colour. Eight pixels at a
// time: in their 24 bytes, each byte is compared with the next by three loads, each
// xor-ed with itself a byte further on, and only the pairs within a pixel count.
bool hasColour(const PageCanvas &c) {
  const uint8_t *p = c.page.bytes.data() + size_t(c.page.inkedTop) * c.page.width * 3;
  const uint8_t *end = c.page.bytes.data() + size_t(c.page.inkedEnd) * c.page.width * 3;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t within[3] = {0xFFFF00FFFF00FFFFu, 0xFF00FFFF00FFFF00u, 0x00FFFF00FFFF00FFu};
    auto differ = [&](const uint8_t *eight) {
      uint64_t w[3];  // loaded one by one: a sanitizer build makes a 24-byte memcpy a call
      std::memcpy(&w[0], eight, 8);
      std::memcpy(&w[1], eight + 8, 8);
      std::memcpy(&w[2], eight + 16, 8);
      return ((w[0] ^ (w[0] >> 8 | w[1] << 56)) & within[0]) | ((w[1] ^ (w[1] >> 8 | w[2] << 56)) & within[1]) |
             ((w[2] ^ w[2] >> 8) & within[2]);
    };
    for (; end - p >= 96; p += 96)  // 32 pixels a test
      if ((differ(p) | differ(p + 24) | differ(p + 48) | differ(p + 72)) != 0) return true;
    for (; end - p >= 24; p += 24)
      if (differ(p) != 0) return true;
  }
  for (; p < end; p += 3)
    if (p[0] != p[1] || p[0] != p[2]) return true;
  return false;
}

// Packs a gray raster into bits when it is black and white alone, and then puts its
// gray bytes in gray; false, the raster untouched, at its first other gray. Eight
// pixels at a time: the top bit of each of their bytes is the pixel's bit, and one
// multiplication gathers the eight top bits into one byte, the first pixel's lowest;
// loaded the other way round, the first pixel's comes out on top.
bool packBlackWhite(PageCanvas &c, PageRaster &raster, std::vector<uint8_t> &gray) {
  size_t rowBytes = rasterRowBytes(PixelKind::BlackWhite, raster.width);
  std::vector<uint8_t> bits = pageBytes(c.pool, rowBytes * raster.height, white);  // padding included
  constexpr uint64_t topBits = 0x8080808080808080u, gather = 0x0002040810204081u;
  bool grays = false;
  auto pack = [&](uint64_t eight, uint8_t *out) {
    grays = grays || !blackOrWhite(eight);
    *out = uint8_t((__builtin_bswap64(eight) & topBits) * gather >> 56);
  };
  bool flat = std::endian::native == std::endian::little && raster.width % 32 == 0;
  if (flat) {
    // Rows of whole bytes with no padding: the inked rows are one run of bytes, taken
    // 32 pixels at a time, and a run of white ones is passed over with one test.
    const uint8_t *in = raster.bytes.data() + size_t(c.page.inkedTop) * raster.width;
    const uint8_t *end = raster.bytes.data() + size_t(c.page.inkedEnd) * raster.width;
    uint8_t *out = bits.data() + size_t(c.page.inkedTop) * rowBytes;
    for (; in != end && !grays; in += 32, out += 4) {
      uint64_t eight[4];
      std::memcpy(&eight[0], in, 8);
      std::memcpy(&eight[1], in + 8, 8);
      std::memcpy(&eight[2], in + 16, 8);
      std::memcpy(&eight[3], in + 24, 8);
      if ((eight[0] & eight[1] & eight[2] & eight[3]) == ~uint64_t(0)) continue;  // their bits are set already
      for (unsigned i = 0; i < 4; ++i) pack(eight[i], out + i);
    }
  }
  for (unsigned y = c.page.inkedTop; y < c.page.inkedEnd && !grays && !flat; ++y) {
    const uint8_t *row = raster.bytes.data() + size_t(y) * raster.width;
    uint8_t *out = bits.data() + y * rowBytes;
    unsigned x = 0;
    if constexpr (std::endian::native == std::endian::little)
      for (; x + 8 <= raster.width && !grays; x += 8) {
        uint64_t eight;
        std::memcpy(&eight, row + x, 8);
        if (eight != ~uint64_t(0)) pack(eight, out);  // white pixels' bits are set already
        ++out;
      }
    for (; x < raster.width && !grays; ++x) {
      grays = isGray(row[x]);
      if (row[x] == 0) bits[y * rowBytes + x / 8] &= uint8_t(~(0x80u >> x % 8));
    }
  }
  if (grays) {
    keepSpare(c.pool, std::move(bits));
    return false;
  }
  std::swap(raster.bytes, bits);
  raster.kind = PixelKind::BlackWhite;
  gray = std::move(bits);
  return true;
}

// Whitens the canvas's inked rows in bytes of a page of its size, gray or in colour.
void whitenInkedRows(const PageCanvas &c, std::vector<uint8_t> &bytes, bool rgb) {
  size_t rowBytes = size_t(c.page.width) * (rgb ? 3 : 1);
  std::fill(bytes.begin() + std::ptrdiff_t(c.page.inkedTop * rowBytes),
            bytes.begin() + std::ptrdiff_t(c.page.inkedEnd * rowBytes), white);
}

}  // namespace

void finishPageCanvas(PageCanvas &c) {
  // Whitening the inked rows is cheaper than a whole page made white again, which is
  // what a run of another size or kind pays.
  if (!c.page.bytes.empty()) {
    whitenInkedRows(c, c.page.bytes, c.page.rgb);
    c.page.inkedTop = c.page.inkedEnd = 0;
    if (c.pool.blanks.size() == mostBlanks) {
      keepSpare(c.pool, std::move(c.pool.blanks.front().bytes));
      c.pool.blanks.erase(c.pool.blanks.begin());
    }
    c.pool.blanks.push_back(std::move(c.page));
  }
  c.page = Canvas();
}

void startPage(PageCanvas &c, unsigned width, unsigned height, bool colour) {
  auto fits = std::find_if(c.pool.blanks.begin(), c.pool.blanks.end(), [&](const Canvas &blank) {
    return blank.width == width && blank.height == height && blank.rgb == colour;
  });
  if (c.page.bytes.empty() && fits != c.pool.blanks.end()) {
    c.page = std::move(*fits);
    c.pool.blanks.erase(fits);
  } else if (width == c.page.width && height == c.page.height && c.page.rgb == colour) {  // reused
    whitenInkedRows(c, c.page.bytes, c.page.rgb);
  } else {
    keepSpare(c.pool, std::move(c.page.bytes));  // a page of another size or kind
    c.page = Canvas();
    c.page.width = width;
    c.page.height = height;
    c.page.rgb = colour;
    c.page.bytes = pageBytes(c.pool, size_t(width) * height * (colour ? 3 : 1), white);
  }
  c.page.inkedTop = c.page.inkedEnd = 0;
}

void paintDot(PageCanvas &c, unsigned x, unsigned y, float shade) {
  uint8_t level = levelOf(shade);
  unsigned width = c.page.width;
  if (x + 1 < width && y + 1 < c.page.height) {  // the whole square is on the page
    if (c.page.rgb) {
      uint8_t *top = &c.page.bytes[3 * (size_t(y) * width + x)], *bottom = top + 3 * size_t(width);
      top[0] = top[1] = top[2] = top[3] = top[4] = top[5] = level;
      bottom[0] = bottom[1] = bottom[2] = bottom[3] = bottom[4] = bottom[5] = level;
    } else {
      uint8_t *top = &c.page.bytes[size_t(y) * width + x];
      top[0] = top[1] = top[width] = top[width + 1] = level;
    }
    noteInk(c, y, y + 2);
    return;
  }
  const uint8_t levels[3] = {level, level, level};
  putPixel(c, x, y, levels);
  putPixel(c, x + 1, y, levels);
  putPixel(c, x + 1, y + 1, levels);
  putPixel(c, x, y + 1, levels);
}

void paintColumn(PageCanvas &c, unsigned x, unsigned y, uint8_t pins, const float (&shades)[maxPins]) {
  pins &= uint8_t((1u << pinCount) - 1);
  if (pins == 0) return;
  if (x >= c.page.width || c.page.width - x < dotSize || y >= c.page.height || c.page.height - y < columnHeight) {
    // partly off the page
    for (unsigned pin = 0; pin < pinCount; ++pin)
      if (pins & (1u << pin)) paintDot(c, x, y + dotSize * pin, shades[pin]);
    return;
  }
  // The whole column is on the page: no pixel needs a test of its own, and a row of a
  // square is written in one or two stores of 2 and 4 bytes, which a memcpy of a
  // power-of-two size becomes.
  bool rgb = c.page.rgb;
  size_t rowBytes = size_t(c.page.width) * (rgb ? 3 : 1);
  uint8_t *top = c.page.bytes.data() + size_t(y) * rowBytes + size_t(x) * (rgb ? 3 : 1);
  for (unsigned left = pins; left != 0; left &= left - 1) {  // the pins fired, top down
    unsigned pin = unsigned(std::countr_zero(left));
    if (shades[pin] != c.shadeOfPin[pin]) {
      c.shadeOfPin[pin] = shades[pin];
      c.levelOfPin[pin] = levelOf(shades[pin]);
    }
    uint8_t level = c.levelOfPin[pin], *row = top + dotSize * pin * rowBytes;
    uint16_t two = uint16_t(level * 0x0101u);
    if (rgb) {
      uint32_t four = level * 0x01010101u;
      std::memcpy(row, &four, 4);
      std::memcpy(row + 4, &two, 2);
      std::memcpy(row + rowBytes, &four, 4);
      std::memcpy(row + rowBytes + 4, &two, 2);
    } else {
      std::memcpy(row, &two, 2);
      std::memcpy(row + rowBytes, &two, 2);
    }
  }
  unsigned first = unsigned(std::countr_zero(pins)), last = 31 - unsigned(std::countl_zero(uint32_t(pins)));
  noteInk(c, y + dotSize * first, y + dotSize * (last + 1));
}

// Pixels of each row of a round dot: the middle two rows whole, the outer two without
// their corners.
constexpr unsigned roundDotStart[4] = {1, 0, 0, 1}, roundDotEnd[4] = {3, 4, 4, 3};

void paintRoundDot(PageCanvas &c, int x, int y, float shade) {
  const unsigned *rowStart = roundDotStart, *rowEnd = roundDotEnd;
  uint8_t level = levelOf(shade);
  unsigned width = c.page.width;
  if (x >= 0 && y >= 0 && unsigned(x) + 4 <= width && unsigned(y) + 4 <= c.page.height && !c.page.rgb) {  // on the page, in gray
    uint8_t *top = &c.page.bytes[size_t(y) * width + unsigned(x)];
    for (unsigned row = 0; row < 4; ++row)
      for (unsigned i = rowStart[row]; i < rowEnd[row]; ++i) top[size_t(row) * width + i] = level;
    noteInk(c, unsigned(y), unsigned(y) + 4);
    return;
  }
  const uint8_t levels[3] = {level, level, level};
  for (unsigned row = 0; row < 4; ++row)
    for (unsigned i = rowStart[row]; i < rowEnd[row]; ++i) {
      long px = long(x) + long(i), py = long(y) + long(row);
      if (px >= 0 && py >= 0) putPixel(c, unsigned(std::min(px, long(UINT32_MAX))), unsigned(std::min(py, long(UINT32_MAX))), levels);
    }
}

void resizePage(PageCanvas &c, unsigned height) {
  if (height == c.page.height) return;
  // Rows are stored top to bottom: the page's first rows stay where they are.
  c.page.bytes.resize(size_t(c.page.width) * height * (c.page.rgb ? 3 : 1), white);
  c.page.height = height;
  c.page.inkedTop = std::min(c.page.inkedTop, height);
  c.page.inkedEnd = std::min(c.page.inkedEnd, height);
}

void paintMark(PageCanvas &c, unsigned x, unsigned y, MarkColor color) {
  if (x >= c.page.width || y >= c.page.height) return;
  if (!c.page.rgb) widenToRgb(c);
  putPixel(c, x, y, markLevels[int(color)]);
}

void paintMarkLine(PageCanvas &c, unsigned x, unsigned y, unsigned length, bool down, MarkColor color) {
  unsigned end = down ? std::min(c.page.height, y + length) : std::min(c.page.width, x + length);
  if (x >= c.page.width || y >= c.page.height || end <= (down ? y : x)) return;
  if (!c.page.rgb) widenToRgb(c);
  const uint8_t *levels = markLevels[int(color)];
  size_t step = down ? 3 * size_t(c.page.width) : 3;
  uint8_t *p = c.page.bytes.data() + 3 * (size_t(y) * c.page.width + x);
  uint16_t firstTwo;  // a pixel in two stores, not three
  std::memcpy(&firstTwo, levels, 2);
  for (unsigned i = down ? y : x; i < end; ++i, p += step) {
    std::memcpy(p, &firstTwo, 2);
    p[2] = levels[2];
  }
  noteInk(c, y, down ? end : y + 1);
}

PageRaster takePage(PageCanvas &c) {
  PageRaster raster;
  raster.width = c.page.width;
  raster.height = c.page.height;
  raster.pixelsPerInchX = c.pixelsPerInchX;
  raster.pixelsPerInchY = c.pixelsPerInchY;
  bool colour = c.page.rgb && hasColour(c);
  if (c.page.rgb && !colour) {  // no colour left (no mark, or all painted over): gray
    std::vector<uint8_t> gray = pageBytes(c.pool, c.page.bytes.size() / 3, white);
    size_t end = size_t(c.page.inkedEnd) * c.page.width;  // the other rows are white
    for (size_t i = size_t(c.page.inkedTop) * c.page.width; i < end; ++i) gray[i] = c.page.bytes[3 * i];
    keepSpare(c.pool, std::move(c.page.bytes));
    c.page.bytes = std::move(gray);
    c.page.rgb = false;
  }
  raster.kind = colour ? PixelKind::Rgb : PixelKind::Gray;
  raster.bytes = std::move(c.page.bytes);
  // The next page: the gray bytes of a black and white page whitened where it was
  // inked, or fresh ones; in colour after a page in colour, as a run with debug marks
  // has them on every page.
  std::vector<uint8_t> next;
  if (colour)
    next = pageBytes(c.pool, size_t(c.page.width) * c.page.height * 3, white);
  else if (packBlackWhite(c, raster, next))
    whitenInkedRows(c, next, false);
  else
    next = pageBytes(c.pool, size_t(c.page.width) * c.page.height, white);
  c.page.bytes = std::move(next);
  c.page.rgb = colour;
  c.page.inkedTop = c.page.inkedEnd = 0;
  return raster;
}

void recyclePage(PageCanvas &c, PageRaster &&raster) {
  keepSpare(c.pool, std::move(raster.bytes));
  raster = PageRaster();
}
