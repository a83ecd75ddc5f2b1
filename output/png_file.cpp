#include "output/png_file.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <cerrno>
#include <unistd.h>

#include "base/file_access.h"

namespace {

constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t bitDepth = 8;
constexpr uint8_t grayType = 0;  // colour types of the header
constexpr uint8_t rgbType = 2;
constexpr uint8_t paletteType = 3;
constexpr uint8_t filterNone = 0;  // row filters: each byte as it is,
constexpr uint8_t filterSub = 1;   //   less the one a pixel before,
constexpr uint8_t filterUp = 2;    //   or less the one a row above
constexpr uint8_t unitMetre = 1;   // pHYs: pixels per metre
constexpr double metresPerInch = 0.0254;
// libdeflate's fastest level: about three times as fast as zlib's, with smaller files;
// higher levels save a tenth of the bytes in twice the time or more.
constexpr int compressionLevel = 1;
constexpr size_t chunkBytes = 1 << 20;  // most bytes of one IDAT chunk
constexpr size_t mostPaletteEntries = 256;

void putWord(std::string &out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(value >> shift & 0xFF));
}

void putChunk(std::string &out, const char type[4], const char *data, size_t length) {
  putWord(out, uint32_t(length));
  size_t start = out.size();
  out.append(type, 4);
  out.append(data, length);
  uLong crc = crc32(0, reinterpret_cast<const Bytef *>(out.data() + start), uInt(out.size() - start));
  putWord(out, uint32_t(crc));
}

void putChunk(std::string &out, const char type[4], const std::string &data) {
  putChunk(out, type, data.data(), data.size());
}

std::string header(const PageRaster &raster) {
  std::string data;
  putWord(data, raster.width);
  putWord(data, raster.height);
  data += char(raster.kind == PixelKind::BlackWhite ? 1 : bitDepth);
  data += char(raster.kind == PixelKind::Rgb ? rgbType : raster.kind == PixelKind::Indexed ? paletteType : grayType);
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

// A filtered byte's weight in the choice of filter: its distance from 0, as signed.
unsigned weight(uint8_t filtered) { return filtered < 128 ? filtered : 256u - filtered; }

// Filters a row into out, its filter byte first, with the filter whose bytes weigh
// least, weighed at every choiceStep-th byte: the usual guess at what compresses best,
// at a small part of its cost. A row like the one above (blank paper) is all zeros
// filtered up. Palette entries are no levels to take from one another: they go as they
// are. above is null for the first row of a file, where up takes from zeros, and for
// the first row of a sheet's piece, where up is not chosen: the row above is in another
// piece.
void filterRow(const uint8_t *row, const uint8_t *above, size_t bytes, size_t pixelBytes, bool palette, uint8_t *out,
               bool pieceStart = false) {
  constexpr size_t choiceStep = 7;  // prime to the 3 bytes of a pixel, so every channel is weighed
  uint8_t filter = filterNone;
  if (above != nullptr && std::memcmp(row, above, bytes) == 0) {
    filter = filterUp;
  } else if (!palette) {
    unsigned long none = 0, sub = 0, up = 0;
    for (size_t i = pixelBytes; i < bytes; i += choiceStep) {
      none += weight(row[i]);
      sub += weight(uint8_t(row[i] - row[i - pixelBytes]));
      up += weight(uint8_t(row[i] - (above != nullptr ? above[i] : 0)));
    }
    filter = !pieceStart && up <= sub && up <= none ? filterUp : sub <= none ? filterSub : filterNone;
  }
  *out++ = filter;
  if (filter == filterNone) {
    std::memcpy(out, row, bytes);
  } else if (filter == filterSub) {
    std::memcpy(out, row, pixelBytes);
    for (size_t i = pixelBytes; i < bytes; ++i) out[i] = uint8_t(row[i] - row[i - pixelBytes]);
  } else if (above == nullptr) {
    std::memcpy(out, row, bytes);
  } else {
    for (size_t i = 0; i < bytes; ++i) out[i] = uint8_t(row[i] - above[i]);
  }
}

// The filtered rows, deflated into IDAT chunks.
void putImageData(std::string &out, const PageRaster &raster) {
  // A black and white row is packed 8 pixels a byte, as the file has it; filters then
  // work on whole bytes.
  size_t pixelBytes = raster.kind == PixelKind::Rgb ? 3 : 1, rowBytes = rasterRowBytes(raster.kind, raster.width);
  // Both buffers are written whole before they are read: they are left uninitialised.
  size_t filteredBytes = (rowBytes + 1) * raster.height;
  std::unique_ptr<uint8_t[]> filtered(new uint8_t[filteredBytes]);
  for (unsigned y = 0; y < raster.height; ++y) {
    const uint8_t *row = raster.bytes.data() + size_t(y) * rowBytes;
    filterRow(row, y > 0 ? row - rowBytes : nullptr, rowBytes, pixelBytes, raster.kind == PixelKind::Indexed,
              filtered.get() + size_t(y) * (rowBytes + 1));
  }
  std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(compressionLevel), libdeflate_free_compressor);
  if (compressor == nullptr) throw std::bad_alloc();
  size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filteredBytes);
  std::unique_ptr<char[]> deflated(new char[bound]);
  size_t length = libdeflate_zlib_compress(compressor.get(), filtered.get(), filteredBytes, deflated.get(), bound);
  if (length == 0) throw std::runtime_error("a page's pixels could not be compressed");
  for (size_t done = 0; done < length; done += chunkBytes)
    putChunk(out, "IDAT", deflated.get() + done, std::min(chunkBytes, length - done));
}

bool paletteFits(const PageRaster &raster) {
  return raster.kind != PixelKind::Indexed || (!raster.palette.empty() && raster.palette.size() % 3 == 0 &&
                                               raster.palette.size() <= 3 * mostPaletteEntries);
}

// The signature and the chunks before the image data.
std::string fileHead(const PageRaster &raster) {
  std::string out(reinterpret_cast<const char *>(signature), sizeof signature);
  putChunk(out, "IHDR", header(raster));
  if (raster.kind == PixelKind::Indexed)
    putChunk(out, "PLTE", reinterpret_cast<const char *>(raster.palette.data()), raster.palette.size());
  putChunk(out, "pHYs", resolution(raster));
  return out;
}

// Writes the compressed bytes waiting as one IDAT chunk.
int flushChunk(PngStream &stream) {
  if (stream.chunk.empty()) return 0;
  std::string out;
  putChunk(out, "IDAT", stream.chunk);
  stream.chunk.clear();
  return writeAll(stream.fd, out.data(), out.size());
}

}  // namespace

// zlib's raw deflate stream of a piece, ended when the piece is finished or goes.
struct PngPieceDeflater {
  z_stream z{};
  bool open = false;
  ~PngPieceDeflater() {
    if (open) deflateEnd(&z);
  }
};

namespace {

constexpr int rawDeflateWindowBits = -15;  // zlib's deflate without its own head and checksum
constexpr int deflateMemoryLevel = 8;      // zlib's default
constexpr char zlibHead[2] = {0x78, 0x01};  // deflate, 32 KiB window, fastest level
// An empty last block: what ends the compressed data after the pieces.
constexpr char lastBlock[2] = {0x03, 0x00};

// Compresses the bytes into the piece; with flush, ends them on a byte.
void deflateInto(PngPiece &piece, const uint8_t *bytes, size_t length, bool flush) {
  z_stream &z = piece.deflater->z;
  z.next_in = const_cast<Bytef *>(bytes);
  z.avail_in = uInt(length);
  for (;;) {
    Bytef out[1 << 14];
    z.next_out = out;
    z.avail_out = sizeof out;
    int status = deflate(&z, flush ? Z_SYNC_FLUSH : Z_NO_FLUSH);
    if (status == Z_STREAM_ERROR) throw std::runtime_error("a sheet's pixels could not be compressed");
    piece.deflated.append(reinterpret_cast<const char *>(out), sizeof out - z.avail_out);
    if (z.avail_in == 0 && z.avail_out != 0) return;
  }
}

// Appends bytes of compressed data to the stream's chunk, writing full chunks out.
int appendData(PngStream &stream, const char *data, size_t length) {
  while (length > 0) {
    size_t taken = std::min(length, chunkBytes - stream.chunk.size());
    stream.chunk.append(data, taken);
    data += taken;
    length -= taken;
    if (stream.chunk.size() == chunkBytes)
      if (int error = flushChunk(stream); error != 0) return error;
  }
  return 0;
}

}  // namespace

std::string encodeLookPng(const PageRaster &raster) {
  if (raster.width == 0 || raster.height == 0 ||
      raster.bytes.size() != rasterRowBytes(raster.kind, raster.width) * raster.height || !paletteFits(raster))
    throw std::invalid_argument("a page raster that does not fit its size");
  std::string out = fileHead(raster);
  putImageData(out, raster);
  putChunk(out, "IEND", std::string());
  return out;
}

void startPngPiece(PngPiece &piece, const PageRaster &format) {
  piece = PngPiece();
  piece.format = format;
  piece.format.bytes.clear();
  piece.filtered.resize(rasterRowBytes(format.kind, format.width) + 1);
  piece.deflater = std::make_shared<PngPieceDeflater>();
  if (deflateInit2(&piece.deflater->z, compressionLevel, Z_DEFLATED, rawDeflateWindowBits, deflateMemoryLevel,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::bad_alloc();
  piece.deflater->open = true;
}

void addPngPieceRows(PngPiece &piece, const uint8_t *rows, unsigned count) {
  const PageRaster &format = piece.format;
  size_t rowBytes = rasterRowBytes(format.kind, format.width), pixelBytes = format.kind == PixelKind::Rgb ? 3 : 1;
  for (unsigned y = 0; y < count; ++y, rows += rowBytes) {
    bool first = piece.rows == 0;
    filterRow(rows, first ? nullptr : piece.above.data(), rowBytes, pixelBytes, format.kind == PixelKind::Indexed,
              piece.filtered.data(), first);
    deflateInto(piece, piece.filtered.data(), piece.filtered.size(), false);
    piece.adler = uint32_t(adler32(piece.adler, piece.filtered.data(), uInt(piece.filtered.size())));
    piece.filteredBytes += piece.filtered.size();
    piece.above.assign(rows, rows + rowBytes);
    ++piece.rows;
  }
}

void finishPngPiece(PngPiece &piece) {
  deflateInto(piece, nullptr, 0, true);
  piece.deflater.reset();
  piece.above = std::vector<uint8_t>();
  piece.filtered = std::vector<uint8_t>();
}

int startPngStream(PngStream &stream, const PageRaster &format, int fd) {
  if (format.width == 0 || !paletteFits(format)) throw std::invalid_argument("a sheet format no PNG file can have");
  stream = PngStream();
  stream.format = format;
  stream.format.bytes.clear();
  stream.format.height = 1;  // for now: the header is written again with the height at the end
  stream.fd = fd;
  stream.chunk.assign(zlibHead, sizeof zlibHead);
  std::string head = fileHead(stream.format);
  return writeAll(fd, head.data(), head.size());
}

int addPngPiece(PngStream &stream, const PngPiece &piece) {
  if (piece.format.width != stream.format.width || piece.format.kind != stream.format.kind || piece.deflater)
    throw std::invalid_argument("a piece of other rows than its sheet's");
  if (stream.rows + piece.rows > mostPngRows) throw std::length_error("a sheet longer than a PNG file may be");
  stream.adler = uint32_t(adler32_combine(stream.adler, piece.adler, z_off_t(piece.filteredBytes)));
  stream.rows += piece.rows;
  return appendData(stream, piece.deflated.data(), piece.deflated.size());
}

int finishPngStream(PngStream &stream) {
  if (stream.rows == 0) throw std::invalid_argument("a sheet without a row");
  std::string end(lastBlock, sizeof lastBlock);
  putWord(end, stream.adler);
  if (int error = appendData(stream, end.data(), end.size()); error != 0) return error;
  if (int error = flushChunk(stream); error != 0) return error;
  end.clear();
  putChunk(end, "IEND", std::string());
  if (int error = writeAll(stream.fd, end.data(), end.size()); error != 0) return error;
  stream.format.height = unsigned(stream.rows);
  std::string ihdr;
  putChunk(ihdr, "IHDR", header(stream.format));
  if (pwrite(stream.fd, ihdr.data(), ihdr.size(), sizeof signature) != ssize_t(ihdr.size())) return errno != 0 ? errno : EIO;
  return 0;
}
