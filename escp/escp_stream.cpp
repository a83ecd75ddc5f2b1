#include "escp/escp_stream.h"

#include "escp/escp_listing.h"
#include "escp/escp_plain_text.h"
#include "escp/escp_printer.h"
#include "interpreter/printer.h"

void powerOnEscpPrinter(Printer &p) { startEscp(p.escp, p.mechanism); }

void startEscpStream(Printer &p) {
  startEscpListing(p);
  if (p.stream.plainText) startEscpPlainText(p);
}

void interpretEscpBytes(Printer &p, const uint8_t *bytes, size_t length) {
  if (p.stream.plainText) return interpretEscpPlainText(p, bytes, length);
  interpretEscp(p.escp, p.mechanism, bytes, length, p.stream.offset);
  p.stream.offset += length;
}

void endEscpStream(Printer &p) {
  if (p.stream.plainText) endEscpPlainText(p);
  endEscp(p.escp, p.mechanism);
  endEscpListing(p);
}

unsigned escpPrinterHeadBottom(const Printer &p) { return escpHeadBottom(p.escp, p.mechanism); }
