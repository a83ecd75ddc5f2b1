#include "interpreter/printer_model.h"

#include <strings.h>

#include "escp/escp_stream.h"
#include "interpreter/mps801_stream.h"

const PrinterModelInfo printerModels[printerModelCount] = {
    {PrinterModel::Mps801, "mps801", "the 7-pin MPS801 (the default)", powerOnMps801, startMps801Stream,
     interpretMps801Bytes, endMps801Stream, mps801HeadBottom},
    {PrinterModel::Escp, "escp", "a 9-pin ESC/P printer", powerOnEscpPrinter, startEscpStream, interpretEscpBytes,
     endEscpStream, escpPrinterHeadBottom},
};

const PrinterModelInfo *findPrinterModel(const std::string &name) {
  for (const PrinterModelInfo &info : printerModels)
    if (strcasecmp(name.c_str(), info.name) == 0) return &info;
  return nullptr;
}

const PrinterModelInfo &printerModelOf(PrinterModel model) {
  for (const PrinterModelInfo &info : printerModels)
    if (info.model == model) return info;
  return printerModels[0];
}

std::string printerModelNames() {
  std::string names;
  for (const PrinterModelInfo &info : printerModels) names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}
