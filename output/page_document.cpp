#include "output/page_document.h"

#include "base/file_access.h"
#include "base/page_geometry.h"
#include "base/utf8.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

// Page geometry: the raster's pixels in PDF points.
constexpr double pointsPerInch = 72;
constexpr double firstPageWidthPoints = 8 * pointsPerInch;    // each page sets its own size
constexpr double firstPageHeightPoints = 12 * pointsPerInch;

constexpr const char *creatorName = "tambrix";

// The size of the invisible text, as a multiple of the cell width. Text extraction
// (poppler's, and the viewers built on it) takes a gap of about 0.9 font sizes or more
// between words for a column break; at 4/3 a one-cell space, in either width, keeps the
// words on one line. The glyphs are then taller than the cell and centred on it.
constexpr double textSizePerCellWidth = 4.0 / 3;

constexpr uint32_t rgbWhite = 0xFFFFFF;  // a pixel of a cairo RGB24 image
constexpr uint32_t rgbBlack = 0x000000;

// The character whose advance is a font's cell width: a digit in the text font, a
// block symbol in the symbol font, which has no digits.
static const char *const advanceCharacters[fontCount] = {"0", "\xF0\x9F\xAD\xB0"};  // U+1FB70

// Keeps the first failure.
static void fail(Document &document, int error) {
  if (document.error == 0) document.error = error;
}

// Takes a cairo status as an errno value; a write error was kept when it happened.
static void failOnStatus(Document &document, cairo_status_t status) {
  if (status == CAIRO_STATUS_SUCCESS) return;
  fail(document, status == CAIRO_STATUS_NO_MEMORY ? ENOMEM : EIO);
}

// cairo's output: appends to the temporary file, or drops the bytes once abandoned.
static cairo_status_t writePdfBytes(void *context, const unsigned char *data, unsigned length) {
  Document &document = *static_cast<Document *>(context);
  if (document.file == nullptr) return CAIRO_STATUS_SUCCESS;
  if (std::fwrite(data, 1, length, document.file) == length) return CAIRO_STATUS_SUCCESS;
  fail(document, errno != 0 ? errno : EIO);
  return CAIRO_STATUS_WRITE_ERROR;
}

// Creates the temporary file beside path, and a stream of its own to write to it.
static int createTemporary(Document &document, const std::string &path) {
  if (int error = createTemporaryBeside(path, document.temporary); error != 0) return error;
  int fd = dup(document.temporary.fd);
  if (fd >= 0) document.file = fdopen(fd, "wb");
  if (document.file != nullptr) return 0;
  int error = errno;
  if (fd >= 0) close(fd);
  discardTemporary(document.temporary);
  return error;
}

// Loads one font of the invisible text and its measures at a size of 1.
static int loadFont(const char *file, const char *advanceCharacter, TextFont &font) {
  if (access(file, R_OK) != 0) return errno;
  FcPattern *pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FILE, reinterpret_cast<const FcChar8 *>(file));
  FcPatternAddInteger(pattern, FC_INDEX, 0);
  font.face = cairo_ft_font_face_create_for_pattern(pattern);
  FcPatternDestroy(pattern);
  cairo_matrix_t unit;
  cairo_matrix_init_identity(&unit);
  cairo_font_options_t *options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  font.unit = cairo_scaled_font_create(font.face, &unit, &unit, options);
  cairo_font_options_destroy(options);
  cairo_font_extents_t extents;
  cairo_scaled_font_extents(font.unit, &extents);
  cairo_text_extents_t cell;
  cairo_scaled_font_text_extents(font.unit, advanceCharacter, &cell);
  font.advance = cell.x_advance;
  font.ascent = extents.ascent;
  font.descent = extents.descent;
  if (cairo_scaled_font_status(font.unit) != CAIRO_STATUS_SUCCESS || font.advance <= 0) return EIO;
  return 0;
}

static void releaseFont(TextFont &font) {
  if (font.unit != nullptr) cairo_scaled_font_destroy(font.unit);
  if (font.face != nullptr) cairo_font_face_destroy(font.face);
  font = TextFont();
}

// Loads the text font, which the document needs, and the symbol font, which it does
// without when it cannot be read.
static int loadTextFonts(Document &document) {
  if (int error = loadFont(textFontFile, advanceCharacters[textFont], document.fonts[textFont]); error != 0)
    return error;
  if (loadFont(symbolFontFile, advanceCharacters[symbolFont], document.fonts[symbolFont]) != 0)
    releaseFont(document.fonts[symbolFont]);
  return 0;
}

// Releases everything and forgets the document, and its temporary file if it is not
// in place.
static void closeDocument(Document &document) {
  if (document.pdf != nullptr) cairo_surface_destroy(document.pdf);
  for (TextFont &font : document.fonts) releaseFont(font);
  if (document.file != nullptr) std::fclose(document.file);
  discardTemporary(document.temporary);
  document = Document();
}

int openDocument(Document &document, const std::string &path, bool replace) {
  abandonDocument(document);
  int error = createTemporary(document, path);
  if (error == 0) error = loadTextFonts(document);
  if (error != 0) {
    abandonDocument(document);
    return error;
  }
  document.path = path;
  document.replace = replace;
  document.pdf = cairo_pdf_surface_create_for_stream(writePdfBytes, &document, firstPageWidthPoints, firstPageHeightPoints);
  // Left to itself cairo dates the document, and no two runs would give the same bytes.
  cairo_pdf_surface_set_metadata(document.pdf, CAIRO_PDF_METADATA_CREATE_DATE, "");
  cairo_pdf_surface_set_metadata(document.pdf, CAIRO_PDF_METADATA_CREATOR, creatorName);
  failOnStatus(document, cairo_surface_status(document.pdf));
  return 0;
}

// Bytes a raster of its size and kind must have.
static size_t rasterSize(const PageRaster &raster) { return rasterRowBytes(raster.kind, raster.width) * raster.height; }

// Whether a raster of palette entries has a palette that holds every entry.
static bool paletteHoldsEntries(const PageRaster &raster) {
  if (raster.kind != PixelKind::Indexed) return true;
  size_t entries = raster.palette.size() / 3;
  for (uint8_t entry : raster.bytes)
    if (entry >= entries) return false;
  return true;
}

// One raster row as cairo RGB24 pixels, each kind in a loop of its own.
static void convertRow(const PageRaster &raster, const uint8_t *row, uint32_t *out) {
  unsigned width = raster.width;
  const uint8_t *palette = raster.palette.data();
  switch (raster.kind) {
    case PixelKind::BlackWhite:
      for (unsigned x = 0; x < width; ++x) out[x] = (row[x / 8] & (0x80 >> x % 8)) ? rgbWhite : rgbBlack;
      break;
    case PixelKind::Gray:
      for (unsigned x = 0; x < width; ++x) out[x] = row[x] * 0x010101u;
      break;
    case PixelKind::Rgb:
      for (unsigned x = 0; x < width; ++x, row += 3) out[x] = uint32_t(row[0]) << 16 | row[1] << 8 | row[2];
      break;
    case PixelKind::Indexed:
      for (unsigned x = 0; x < width; ++x) {
        const uint8_t *entry = palette + 3 * size_t(row[x]);
        out[x] = uint32_t(entry[0]) << 16 | entry[1] << 8 | entry[2];
      }
      break;
  }
}

// A page's raster, and its pixels as the PDF library takes them.
struct RasterSource {
  const PageRaster *raster;          // the page's pixels
  cairo_surface_t *image = nullptr;  // the raster as a cairo RGB24 image, once the library asked
};

// The raster as cairo RGB24 pixels, made when the PDF library first asks for them,
// as it writes the page, and kept until the page is written: it asks many times.
// Made by the library itself rather than over pixels of our own, it is not copied
// again. A fresh image for each page leaves the heap no more broken up than one kept
// for the next: over 1000 pages the peak grows as over 100. cairo writes an image whose
// pixels are all black or white with 1 bit a pixel, one of grays only as 8-bit gray,
// any other as RGB.
static cairo_surface_t *acquireRasterImage(cairo_pattern_t *, void *context, cairo_surface_t *, const cairo_rectangle_int_t *) {
  RasterSource &source = *static_cast<RasterSource *>(context);
  if (source.image != nullptr) return cairo_surface_reference(source.image);
  const PageRaster &raster = *source.raster;
  source.image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(raster.width), int(raster.height));
  if (cairo_surface_status(source.image) != CAIRO_STATUS_SUCCESS) return cairo_surface_reference(source.image);
  cairo_surface_flush(source.image);
  unsigned char *pixels = cairo_image_surface_get_data(source.image);
  int stride = cairo_image_surface_get_stride(source.image);
  size_t rowBytes = rasterRowBytes(raster.kind, raster.width);
  for (unsigned y = 0; y < raster.height; ++y)
    convertRow(raster, raster.bytes.data() + y * rowBytes, reinterpret_cast<uint32_t *>(pixels + size_t(y) * stride));
  cairo_surface_mark_dirty(source.image);
  return cairo_surface_reference(source.image);
}

static void releaseRasterImage(cairo_pattern_t *, void *, cairo_surface_t *image) { cairo_surface_destroy(image); }

// The character in UTF-8; nothing for a value that is no character.
static std::string toUtf8(char32_t c) {
  std::string text;
  appendUtf8(text, c);
  return text;
}

// The font's glyph index for a character, 0 when it has none (or is not loaded).
static unsigned long glyphIn(const TextFont &font, const std::string &utf8) {
  if (font.unit == nullptr) return 0;
  cairo_glyph_t *glyphs = nullptr;
  int count = 0;
  cairo_scaled_font_text_to_glyphs(font.unit, 0, 0, utf8.data(), int(utf8.size()), &glyphs, &count, nullptr,
                                   nullptr, nullptr);
  unsigned long index = count == 1 ? glyphs[0].index : 0;
  cairo_glyph_free(glyphs);
  return index;
}

// The glyph of a character: from the text font, else from the symbol font; index 0
// when neither has it.
static FontGlyph glyphOf(Document &document, char32_t character) {
  auto known = document.glyphs.find(character);
  if (known != document.glyphs.end()) return known->second;
  std::string utf8 = toUtf8(character);
  FontGlyph glyph;
  for (unsigned font = 0; font < fontCount && character != 0 && !utf8.empty() && glyph.index == 0; ++font)
    glyph = FontGlyph{font, glyphIn(document.fonts[font], utf8)};
  return document.glyphs[character] = glyph;
}

// Whether two cells share a baseline and size, so that one run of glyphs shows both.
static bool sameRun(const TextCell &a, const TextCell &b) {
  return a.y == b.y && a.width == b.width && a.height == b.height;
}

// Glyphs of one font on one baseline, with their text, ready to be shown.
struct GlyphRun {
  std::string utf8;
  std::vector<cairo_glyph_t> glyphs;
  std::vector<cairo_text_cluster_t> clusters;
};

// Shows the run's glyphs in the font, each scaled to span a cell width pixels wide.
static void showGlyphRun(cairo_t *cr, GlyphRun &run, const TextFont &font, unsigned width) {
  if (run.glyphs.empty()) return;
  cairo_set_font_face(cr, font.face);
  cairo_matrix_t size;
  cairo_matrix_init_scale(&size, width / font.advance, width * textSizePerCellWidth);
  cairo_set_font_matrix(cr, &size);
  cairo_show_text_glyphs(cr, run.utf8.data(), int(run.utf8.size()), run.glyphs.data(), int(run.glyphs.size()),
                         run.clusters.data(), int(run.clusters.size()), cairo_text_cluster_flags_t(0));
  run = GlyphRun();
}

// Shows a run of cells of one size and baseline, each glyph scaled to span its cell
// and centred on it vertically; the glyphs of each font go out together in the order
// of the cells.
static void showTextRun(Document &document, cairo_t *cr, const TextCell *first, const TextCell *end) {
  if (first->width == 0) return;
  double fontSize = first->width * textSizePerCellWidth;
  double middle = first->y + first->height / 2.0;
  GlyphRun run;
  unsigned runFont = textFont;
  for (const TextCell *cell = first; cell != end; ++cell) {
    FontGlyph glyph = glyphOf(document, cell->text);
    if (glyph.index == 0) continue;
    if (glyph.font != runFont) showGlyphRun(cr, run, document.fonts[runFont], first->width);
    runFont = glyph.font;
    const TextFont &font = document.fonts[runFont];
    std::string character = toUtf8(cell->text);
    run.utf8 += character;
    run.glyphs.push_back({glyph.index, double(cell->x), middle + (font.ascent - font.descent) / 2 * fontSize});
    run.clusters.push_back({int(character.size()), 1});
  }
  showGlyphRun(cr, run, document.fonts[runFont], first->width);
}

// Shows the cells' characters, in runs of cells that share baseline and size.
static void showText(Document &document, cairo_t *cr, const std::vector<TextCell> &cells) {
  size_t first = 0;
  while (first < cells.size()) {
    size_t end = first + 1;
    while (end < cells.size() && sameRun(cells[first], cells[end])) ++end;
    showTextRun(document, cr, cells.data() + first, cells.data() + end);
    first = end;
  }
}

void addDocumentPage(Document &document, const PageRaster &raster, const std::vector<TextCell> &cells,
                     unsigned cellsPerInchX, unsigned cellsPerInchY) {
  if (document.pdf == nullptr || document.error != 0) return;
  if (raster.width == 0 || raster.height == 0 || raster.bytes.size() != rasterSize(raster) ||
      !paletteHoldsEntries(raster))
    return fail(document, EINVAL);
  double pointsPerPixelX = pointsPerInch / raster.pixelsPerInchX, pointsPerPixelY = pointsPerInch / raster.pixelsPerInchY;
  cairo_pdf_surface_set_size(document.pdf, raster.width * pointsPerPixelX, raster.height * pointsPerPixelY);
  cairo_t *cr = cairo_create(document.pdf);
  // cairo has no invisible text, and drops text painted fully transparent; so the text
  // goes under the image, which is opaque and hides it. Viewers still select it, and
  // text extraction still finds it. The cells are in page pixels from the print line.
  cairo_translate(cr, raster.printLeft * pointsPerPixelX, 0);
  cairo_scale(cr, pointsPerInch / cellsPerInchX, pointsPerInch / cellsPerInchY);
  showText(document, cr, cells);
  cairo_identity_matrix(cr);
  cairo_scale(cr, pointsPerPixelX, pointsPerPixelY);
  RasterSource source{&raster};
  cairo_pattern_t *image = cairo_pattern_create_raster_source(&source, CAIRO_CONTENT_COLOR, int(raster.width), int(raster.height));
  cairo_raster_source_pattern_set_acquire(image, acquireRasterImage, releaseRasterImage);
  cairo_pattern_set_filter(image, CAIRO_FILTER_NEAREST);  // written as /Interpolate false
  cairo_set_source(cr, image);
  cairo_paint(cr);
  cairo_show_page(cr);  // the image is made and written here, while the raster is still there
  failOnStatus(document, cairo_status(cr));
  cairo_destroy(cr);
  cairo_pattern_destroy(image);
  if (source.image != nullptr) cairo_surface_destroy(source.image);
  failOnStatus(document, cairo_surface_status(document.pdf));
}

int finishDocument(Document &document) {
  if (document.pdf == nullptr) return EINVAL;
  cairo_surface_finish(document.pdf);
  failOnStatus(document, cairo_surface_status(document.pdf));
  if (std::fflush(document.file) != 0) fail(document, errno);
  if (std::fclose(document.file) != 0) fail(document, errno);
  document.file = nullptr;
  if (document.error == 0) fail(document, commitTemporary(document.temporary, document.path, true, document.replace));
  int error = document.error;
  closeDocument(document);
  return error;
}

void abandonDocument(Document &document) {
  if (document.file != nullptr) {
    std::fclose(document.file);
    document.file = nullptr;  // cairo's last bytes go nowhere
  }
  closeDocument(document);
}
