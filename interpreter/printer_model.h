// The printers tambrix emulates, by the name -printer gives them. Each model has its
// interpreter, its head and its fonts; pages, documents, transcripts, looks, live
// capture and ribbon wear are shared by all.
#pragma once

#include <cstddef>
#include <string>

#include "base/run_settings.h"

struct PrinterModelInfo {
  PrinterModel model;
  const char *name;         // as -printer names it, in lower case
  const char *description;  // what it is, for the help
};

static const PrinterModelInfo printerModels[2] = {
    {PrinterModel::Mps801, "mps801", "the 7-pin MPS801 (the default)"},
    {PrinterModel::Escp, "escp", "a 9-pin ESC/P printer"},
};

// The model of that name, ignoring case; null for none.
const PrinterModelInfo *findPrinterModel(const std::string &name);

// The known names, as "mps801, ..." for a message.
std::string printerModelNames();
