#include "output/png_file.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t bitDepth = 8;
constexpr uint8_t grayType = 0;  // colour types of the header
constexpr uint8_t rgbType = 2;
constexpr uint8_t filterSub = 1;  // row filters: each byte less the one a pixel before,
constexpr uint8_t filterUp = 2;   //   or less the one a row above
constexpr uint8_t unitMetre = 1;  // pHYs: pixels per metre
constexpr double metresPerInch = 0.0254;
// zlib level 2: its fast matcher finds the long runs of paper and the periodic grain;
// higher levels make files a few per cent smaller in several times the time.
constexpr int compressionLevel = 2;
constexpr size_t chunkBytes = 1 << 18;  // most bytes of one IDAT chunk

void putWord(std::string &out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(value >> shift & 0xFF));
}

void putChunk(std::string &out, const char type[4], const std::string &data) {
  putWord(out, uint32_t(data.size()));
  size_t start = out.size();
  out.append(type, 4);
  out += data;
  uLong crc = crc32(0, reinterpret_cast<const Bytef *>(out.data() + start), uInt(out.size() - start));
  putWord(out, uint32_t(crc));
}

std::string header(const PageRaster &raster) {
  std::string data;
  putWord(data, raster.width);
  putWord(data, raster.height);
  data += char(bitDepth);
  data += char(raster.kind == PixelKind::Rgb ? rgbType : grayType);
  data.append(3, '\0');  // deflate, adaptive filtering, not interlaced
  return data;
}

std::string resolution(const PageRaster &raster) {
  std::string data;
  putWord(data, uint32_t(raster.pixelsPerInchX / metresPerInch + 0.5));
  putWord(data, uint32_t(raster.pixelsPerInchY / metresPerInch + 0.5));
  data += char(unitMetre);
  return data;
}

// Filters a row, its filter byte first, with the filter of the two whose bytes add up
// to less: the usual guess at what compresses best.
void filterRow(const uint8_t *row, const uint8_t *above, size_t bytes, size_t pixelBytes, uint8_t *out) {
  unsigned long subCost = 0, upCost = 0;
  for (size_t i = 0; i < bytes; ++i) {
    uint8_t sub = uint8_t(row[i] - (i >= pixelBytes ? row[i - pixelBytes] : 0));
    uint8_t up = uint8_t(row[i] - (above != nullptr ? above[i] : 0));
    subCost += sub < 128 ? sub : 256 - sub;
    upCost += up < 128 ? up : 256 - up;
  }
  bool useUp = upCost <= subCost;
  out[0] = useUp ? filterUp : filterSub;
  for (size_t i = 0; i < bytes; ++i)
    out[i + 1] = useUp ? uint8_t(row[i] - (above != nullptr ? above[i] : 0))
                       : uint8_t(row[i] - (i >= pixelBytes ? row[i - pixelBytes] : 0));
}

// Deflates the filtered rows into IDAT chunks.
void putImageData(std::string &out, const PageRaster &raster) {
  size_t pixelBytes = raster.kind == PixelKind::Rgb ? 3 : 1, rowBytes = raster.width * pixelBytes;
  z_stream stream{};
  if (deflateInit(&stream, compressionLevel) != Z_OK) throw std::runtime_error("zlib cannot start deflating");
  std::vector<uint8_t> filtered(rowBytes + 1);
  std::string chunk(chunkBytes, '\0');
  stream.next_out = reinterpret_cast<Bytef *>(chunk.data());
  stream.avail_out = uInt(chunk.size());
  for (unsigned y = 0; y <= raster.height; ++y) {
    bool last = y == raster.height;
    if (!last) {
      const uint8_t *row = raster.bytes.data() + y * rowBytes;
      filterRow(row, y > 0 ? row - rowBytes : nullptr, rowBytes, pixelBytes, filtered.data());
      stream.next_in = filtered.data();
      stream.avail_in = uInt(filtered.size());
    }
    for (;;) {
      int status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) {
        deflateEnd(&stream);
        throw std::runtime_error("zlib failed while deflating a page");
      }
      bool full = stream.avail_out == 0, done = last && status == Z_STREAM_END;
      if (full || done) {
        putChunk(out, "IDAT", chunk.substr(0, chunk.size() - stream.avail_out));
        stream.next_out = reinterpret_cast<Bytef *>(chunk.data());
        stream.avail_out = uInt(chunk.size());
      }
      if (done || (!last && stream.avail_in == 0 && !full)) break;
    }
  }
  deflateEnd(&stream);
}

}  // namespace

std::string encodeLookPng(const PageRaster &raster) {
  if ((raster.kind != PixelKind::Gray && raster.kind != PixelKind::Rgb) || raster.width == 0 || raster.height == 0 ||
      raster.bytes.size() != rasterRowBytes(raster.kind, raster.width) * raster.height)
    throw std::invalid_argument("a page raster that does not fit its size");
  std::string out(reinterpret_cast<const char *>(signature), sizeof signature);
  putChunk(out, "IHDR", header(raster));
  putChunk(out, "pHYs", resolution(raster));
  putImageData(out, raster);
  putChunk(out, "IEND", std::string());
  return out;
}
