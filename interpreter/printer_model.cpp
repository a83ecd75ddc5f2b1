#include "interpreter/printer_model.h"

#include <strings.h>

const PrinterModelInfo *findPrinterModel(const std::string &name) {
  for (const PrinterModelInfo &info : printerModels)
    if (strcasecmp(name.c_str(), info.name) == 0) return &info;
  return nullptr;
}

std::string printerModelNames() {
  std::string names;
  for (const PrinterModelInfo &info : printerModels) names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}
