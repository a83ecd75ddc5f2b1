// The C interface of the printing core: a printer record behind an opaque pointer,
// fed like the program feeds its own, its pages handed to the embedder as 8-bit
// pixels. No exception leaves a function of this file.
#include "embed/tambrix.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/file_access.h"
#include "base/page_raster.h"
#include "interpreter/interpreter.h"
#include "interpreter/printer.h"
#include "interpreter/printer_model.h"
#include "mechanism/character_rom.h"
#include "mechanism/page_canvas.h"
#include "mechanism/print_head.h"

struct tambrix_printer {
  Printer printer;                   // the whole printer, as the program has it
  RunSettings settings;              // the settings every job starts with
  tambrix_page_callback onPage;      // where finished pages go
  void *context;                     //   and what goes with them
  std::vector<unsigned char> gray;   // a black and white page as 8-bit levels
  std::vector<tambrix_cell> cells;   // a page's cells as the interface has them
};

namespace {

constexpr const char *defaultModelName = "mps801";  // the model of a printer whose settings name none

// Hands an ejected page to the embedder, then its memory back to the canvas.
void handOver(void *context, PageJob &&job) {
  tambrix_printer &t = *static_cast<tambrix_printer *>(context);
  const PageRaster &raster = job.raster;
  tambrix_page page{};
  page.number = job.number;
  page.width = raster.width;
  page.height = raster.height;
  page.dpi_x = raster.pixelsPerInchX;
  page.dpi_y = raster.pixelsPerInchY;
  page.channels = raster.kind == PixelKind::Rgb ? 3 : 1;
  page.stride = size_t(raster.width) * page.channels;
  page.pixels = raster.bytes.data();
  if (raster.kind == PixelKind::BlackWhite) {
    size_t rowBytes = rasterRowBytes(raster.kind, raster.width);
    t.gray.resize(size_t(raster.width) * raster.height);
    for (unsigned y = 0; y < raster.height; ++y) {
      const uint8_t *row = &raster.bytes[size_t(y) * rowBytes];
      unsigned char *out = &t.gray[size_t(y) * raster.width];
      for (unsigned x = 0; x < raster.width; ++x) out[x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
    }
    page.pixels = t.gray.data();
  }
  t.cells.clear();
  t.cells.reserve(job.cells.size());
  for (const TextCell &cell : job.cells)
    t.cells.push_back(tambrix_cell{cell.x, cell.y, cell.width, cell.height, (unsigned long)cell.text});
  page.cells = t.cells.data();
  page.cell_count = t.cells.size();
  if (t.onPage != nullptr) t.onPage(t.context, &page);
  recyclePage(t.printer.mechanism.canvas, std::move(job.raster));
}

// Puts the printer in its power-on state with the strike counts given, and starts a
// stream: as the program begins a run.
void powerOn(tambrix_printer &t, const int32_t (&strikes)[maxPins]) {
  MechanismSinks sinks;
  sinks.context = &t;
  sinks.page = handOver;
  Printer &p = t.printer;
  startPrinter(p, t.settings, sinks);
  p.mechanism.keepText = true;  // the cells go out with every page
  setStrikeCounts(p.mechanism, strikes);
  createPage(p.mechanism);
  ejectPage(p.mechanism);  // nothing is printed yet: this only readies the first page's rows
  startStream(p);
}

// Reads the named ROM image or font file over the ROM the search found; false when it
// cannot be read.
bool readRom(GlyphTables &glyphs, const char *name) {
  FILE *file = openForReading(name);
  if (file == nullptr) return false;
  std::memset(glyphs.rom, 0, sizeof glyphs.rom);
  std::fread(glyphs.rom, 1, romSize, file);
  bool read = !std::ferror(file);
  std::fclose(file);
  return read;
}

// Reads the named 9-pin font file; false when it cannot be read or is no font of ours.
bool readEscpFontFile(EscpFont &font, const char *name) {
  FILE *file = openForReading(name);
  if (file == nullptr) return false;
  std::vector<uint8_t> bytes(1u << 20);
  size_t length = std::fread(bytes.data(), 1, bytes.size(), file);
  bool read = !std::ferror(file);
  std::fclose(file);
  return read && readEscpFont(font, bytes.data(), length);
}

tambrix_status settingsFrom(const tambrix_settings &given, RunSettings &settings) {
  const PrinterModelInfo *model = findPrinterModel(given.model != nullptr ? given.model : defaultModelName);
  if (model == nullptr) return TAMBRIX_ERROR_UNKNOWN_MODEL;
  const PageGeometry &geometry = pageGeometryOf(model->model);
  if (given.page_height < geometry.minPageHeight || given.page_height > geometry.maxPageHeight)
    return TAMBRIX_ERROR_INVALID_ARGUMENT;
  if (given.half_life > UINT32_MAX) return TAMBRIX_ERROR_INVALID_ARGUMENT;
  settings.model = model->model;
  settings.pageHeight = given.page_height;
  settings.streamKind = given.raw ? StreamKind::Raw : StreamKind::TextFile;
  settings.businessDefault = given.business != 0;
  settings.debugLevel = given.debug_marks ? DebugMarks : 0;
  settings.halfLife = uint32_t(given.half_life);
  settings.pageFiles = false;
  return TAMBRIX_OK;
}

// Runs the step, turning whatever it throws into a status.
template <typename Step>
tambrix_status guarded(Step step) noexcept {
  try {
    return step();
  } catch (const std::bad_alloc &) {
    return TAMBRIX_ERROR_NO_MEMORY;
  } catch (...) {
    return TAMBRIX_ERROR_INTERNAL;
  }
}

}  // namespace

extern "C" {

void tambrix_default_settings(tambrix_settings *settings) {
  if (settings == nullptr) return;
  *settings = tambrix_settings{};
  settings->model = defaultModelName;
  settings->page_height = defaultPageHeight;
}

tambrix_status tambrix_create(const tambrix_settings *settings, tambrix_page_callback on_page, void *context,
                              tambrix_printer **printer) {
  if (printer != nullptr) *printer = nullptr;
  if (settings == nullptr || on_page == nullptr || printer == nullptr) return TAMBRIX_ERROR_INVALID_ARGUMENT;
  return guarded([&] {
    RunSettings run;
    if (tambrix_status status = settingsFrom(*settings, run); status != TAMBRIX_OK) return status;
    tambrix_printer *made = new tambrix_printer{};
    made->settings = run;
    made->onPage = on_page;
    made->context = context;
    try {
      bool found = false;
      if (run.model == PrinterModel::Escp) {
        found = settings->rom_file != nullptr ? readEscpFontFile(made->printer.escp.font, settings->rom_file)
                                              : loadEscpFont(made->printer.escp.font).used >= 0;
      } else {
        RomSearch search = buildGlyphTables(made->printer.mechanism.glyphs);
        found = settings->rom_file != nullptr ? readRom(made->printer.mechanism.glyphs, settings->rom_file)
                                              : search.used >= 0;
      }
      if (!found) {
        delete made;
        return TAMBRIX_ERROR_NO_FONT;
      }
      const int32_t fresh[maxPins] = {};
      powerOn(*made, fresh);
    } catch (...) {
      delete made;
      throw;
    }
    *printer = made;
    return TAMBRIX_OK;
  });
}

tambrix_status tambrix_feed(tambrix_printer *printer, const void *bytes, size_t length) {
  if (printer == nullptr || (bytes == nullptr && length > 0)) return TAMBRIX_ERROR_INVALID_ARGUMENT;
  return guarded([&] {
    if (length > 0) interpretBytes(printer->printer, static_cast<const uint8_t *>(bytes), length);
    return TAMBRIX_OK;
  });
}

tambrix_status tambrix_end_job(tambrix_printer *printer) {
  if (printer == nullptr) return TAMBRIX_ERROR_INVALID_ARGUMENT;
  return guarded([&] {
    Printer &p = printer->printer;
    endStream(p);
    ejectPage(p.mechanism);
    int32_t strikes[maxPins];
    std::memcpy(strikes, p.mechanism.ribbon.strikeCounts, sizeof strikes);
    powerOn(*printer, strikes);
    return TAMBRIX_OK;
  });
}

size_t tambrix_pin_count(const tambrix_printer *printer) { return printer == nullptr ? 0 : printer->printer.mechanism.geometry.pins; }

tambrix_status tambrix_get_strikes(const tambrix_printer *printer, long *counts, size_t count) {
  if (printer == nullptr || counts == nullptr || count != printer->printer.mechanism.geometry.pins) return TAMBRIX_ERROR_INVALID_ARGUMENT;
  for (size_t pin = 0; pin < count; ++pin) {
    // Read back as unsigned, as the store keeps them; a long of 32 bits tops out.
    unsigned long struck = uint32_t(printer->printer.mechanism.ribbon.strikeCounts[pin]);
    counts[pin] = struck <= (unsigned long)LONG_MAX ? long(struck) : LONG_MAX;
  }
  return TAMBRIX_OK;
}

tambrix_status tambrix_set_strikes(tambrix_printer *printer, const long *counts, size_t count) {
  if (printer == nullptr || counts == nullptr || count != printer->printer.mechanism.geometry.pins) return TAMBRIX_ERROR_INVALID_ARGUMENT;
  int32_t strikes[maxPins] = {};
  for (size_t pin = 0; pin < count; ++pin) {
    if (counts[pin] < 0 || (unsigned long)counts[pin] > UINT32_MAX) return TAMBRIX_ERROR_INVALID_ARGUMENT;
    strikes[pin] = int32_t(uint32_t(counts[pin]));
  }
  setStrikeCounts(printer->printer.mechanism, strikes);
  return TAMBRIX_OK;
}

void tambrix_destroy(tambrix_printer *printer) { delete printer; }

const char *tambrix_status_text(tambrix_status status) {
  switch (status) {
    case TAMBRIX_OK:
      return "no error";
    case TAMBRIX_ERROR_INVALID_ARGUMENT:
      return "invalid argument";
    case TAMBRIX_ERROR_UNKNOWN_MODEL:
      return "unknown printer model";
    case TAMBRIX_ERROR_NO_FONT:
      return "the character ROM or font file cannot be read";
    case TAMBRIX_ERROR_NO_MEMORY:
      return "out of memory";
    case TAMBRIX_ERROR_INTERNAL:
      return "internal error";
  }
  return "unknown status";
}

}  // extern "C"
