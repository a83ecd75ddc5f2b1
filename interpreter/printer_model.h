// The printers tambrix emulates, by the name -printer gives them. A model supplies its
// interpreter, as the steps of a stream over a Printer record; its head and page are
// pageGeometryOf(model) (base/run_settings.h), which the output side reads too; its
// font is loaded by the run. Pages, documents, transcripts, looks, live capture and
// ribbon wear are shared by all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/run_settings.h"

struct Printer;

struct PrinterModelInfo {
  PrinterModel model;
  const char *name;         // as -printer names it, in lower case
  const char *description;  // what it is, for the help
  // Its interpreter: at power-on, once the mechanism is; when a stream begins; for the
  // stream's next bytes, counted already; when the stream ends.
  void (*powerOn)(Printer &p);
  void (*startStream)(Printer &p);
  void (*interpretBytes)(Printer &p, const uint8_t *bytes, size_t length);
  void (*endStream)(Printer &p);
  // The page row just below the head's lowest pin, on the page being painted: where
  // the paper stands once the stream has ended.
  unsigned (*headBottom)(const Printer &p);
};

constexpr size_t printerModelCount = 2;
extern const PrinterModelInfo printerModels[printerModelCount];

// The model of that name, ignoring case; null for none.
const PrinterModelInfo *findPrinterModel(const std::string &name);

// The record of a model.
const PrinterModelInfo &printerModelOf(PrinterModel model);

// The known names, as "mps801, ..." for a message.
std::string printerModelNames();
