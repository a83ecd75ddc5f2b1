#include "interpreter/interpreter.h"

#include "interpreter/printer.h"
#include "interpreter/printer_model.h"
#include "interpreter/stream_listing.h"
#include "interpreter/stream_statistics.h"
#include "mechanism/print_head.h"

void startPrinter(Printer &p, const RunSettings &settings, const MechanismSinks &sinks) {
  startMechanism(p.mechanism, settings, sinks);
  p.stream = StreamState{};
  p.stream.raw = settings.streamKind == StreamKind::Raw;
  p.stream.plainText = settings.streamKind == StreamKind::PlainText;
  p.stream.businessDefault = settings.businessDefault;
  p.text = PlainTextState{};
  resetStreamStatistics(p.statistics);
  abandonListing(p.listing);
  for (int32_t &count : p.strikesAtLoad) count = 0;
  printerModelOf(settings.model).powerOn(p);
}

void startStream(Printer &p) {
  p.stream.pending = PendingCommand{};
  p.stream.offset = 0;
  resetStreamStatistics(p.statistics);
  printerModelOf(p.mechanism.settings.model).startStream(p);
}

void interpretBytes(Printer &p, const uint8_t *bytes, size_t length) {
  countStreamBytes(p.statistics, bytes, length);
  printerModelOf(p.mechanism.settings.model).interpretBytes(p, bytes, length);
}

void endStream(Printer &p) { printerModelOf(p.mechanism.settings.model).endStream(p); }

void endPaper(Printer &p) {
  Mechanism &m = p.mechanism;
  if (m.settings.endless)
    cutSheet(m, printerModelOf(m.settings.model).headBottom(p));
  else
    ejectPage(m);
}
