#include "interpreter/stream_listing.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_access.h"
#include "base/utf8.h"
#include "mechanism/print_head.h"

namespace {

constexpr size_t flushSize = 65536;       // bytes of lines gathered before they are written
constexpr unsigned offsetWidth = 9;       // columns of the offset, right-aligned
constexpr unsigned bytesWidth = 25;       // columns of the hex bytes: 8 of them, a space, "…"
constexpr unsigned nameWidth = 16;        // columns of the name
constexpr const char *ellipsis = "\xE2\x80\xA6";  // U+2026, one column
constexpr const char hexDigits[] = "0123456789ABCDEF";

// Names of the lines that are no command of the printer.
constexpr const char *textName = "text";
constexpr const char *columnsName = "bit-image data";
constexpr const char *ignoredName = "ignored";
constexpr const char *autofeedName = "autofeed";
constexpr const char *pageName = "page ejected";

// What the summary says of each effect of a control byte that is no command.
static const char *const effectWords[size_t(ControlEffect::Count)] = {
    "blank cell",                     // BlankCell
    "nothing, in bit-image mode",     // Nothing
    "shown reversed, inside quotes",  // Quoted
    "no glyph, placeholder printed",  // Missing
};



void fail(Listing &listing, int error) {
  if (listing.error == 0) listing.error = error != 0 ? error : EIO;
}

// Writes the gathered lines out.
void flushLines(Listing &listing) {
  if (listing.buffer.empty() || listing.file == nullptr) return;
  if (std::fwrite(listing.buffer.data(), 1, listing.buffer.size(), listing.file) != listing.buffer.size())
    fail(listing, errno);
  listing.buffer.clear();
}

void appendDecimal(Listing &listing, uint64_t number, unsigned width = 0) {
  char digits[24];
  unsigned count = 0;
  do {
    digits[count++] = char('0' + number % 10);
    number /= 10;
  } while (number != 0);
  for (unsigned pad = count; pad < width; ++pad) listing.buffer += ' ';
  while (count > 0) listing.buffer += digits[--count];
}

void appendHex(Listing &listing, uint8_t byte) {
  listing.buffer += hexDigits[byte >> 4];
  listing.buffer += hexDigits[byte & 15];
}

void appendSpaces(Listing &listing, unsigned count) { listing.buffer.append(count, ' '); }

// The start of a line: offset, bytes, name; each field padded to its column.
void beginLine(Listing &listing, uint64_t offset, const uint8_t *bytes, uint64_t length, const char *name) {
  appendDecimal(listing, offset, offsetWidth);
  appendSpaces(listing, 2);
  unsigned columns = 0;
  for (uint64_t i = 0; i < length && i < shownBytes; ++i) {
    if (i > 0) listing.buffer += ' ';
    appendHex(listing, bytes[i]);
    columns += i > 0 ? 3 : 2;
  }
  if (length > shownBytes) {
    listing.buffer += ' ';
    listing.buffer += ellipsis;
    columns += 2;
  }
  appendSpaces(listing, bytesWidth - columns + 2);
  listing.buffer += name;
  unsigned nameLength = unsigned(std::char_traits<char>::length(name));
  appendSpaces(listing, nameLength < nameWidth ? nameWidth - nameLength + 1 : 1);
}

void endLine(Listing &listing) {
  listing.buffer += '\n';
  if (listing.buffer.size() >= flushSize) flushLines(listing);
}

void listRun(Listing &listing) {
  GatheredRun &run = listing.run;
  if (run.kind == ListingRun::None) return;
  switch (run.kind) {
    case ListingRun::Text:
      beginLine(listing, run.offset, run.bytes, run.length, textName);
      listing.buffer += '"';
      listing.buffer += run.text;
      listing.buffer += "\" ";
      listing.buffer += (run.modes & Business) ? "business set" : "graphic set";
      listing.buffer += (run.modes & DoubleWidth) ? ", double width" : ", single width";
      if (run.modes & Reverse) listing.buffer += ", reverse";
      listing.buffer += ", at x ";
      appendDecimal(listing, run.x);
      break;
    case ListingRun::Columns:
      beginLine(listing, run.offset, run.bytes, run.length, columnsName);
      appendDecimal(listing, run.length);
      listing.buffer += run.length == 1 ? " column at x " : " columns at x ";
      appendDecimal(listing, run.x);
      break;
    default:  // Ignored
      beginLine(listing, run.offset, run.bytes, run.length, ignoredName);
      appendDecimal(listing, run.length);
      listing.buffer += run.length == 1 ? " byte" : " bytes";
      listing.buffer += " below 128: bit-image mode prints nothing for them";
      break;
  }
  endLine(listing);
  run.kind = ListingRun::None;
  run.text.clear();
}

void listSummaryCommands(Listing &listing) {
  listing.buffer += "commands:\n";
  bool any = false;
  for (unsigned code = 0; code < byteValues; ++code) {
    if (listing.commandCounts[code] == 0) continue;
    any = true;
    appendDecimal(listing, code, 5);
    listing.buffer += "  ";
    appendHex(listing, uint8_t(code));
    listing.buffer += "  ";
    listing.buffer += listing.commandNames[code];
    unsigned nameLength = unsigned(std::char_traits<char>::length(listing.commandNames[code]));
    appendSpaces(listing, nameLength < nameWidth ? nameWidth - nameLength : 0);
    appendDecimal(listing, listing.commandCounts[code], 10);
    listing.buffer += '\n';
  }
  if (!any) listing.buffer += "  none\n";
}

void listSummaryControls(Listing &listing) {
  listing.buffer += "control bytes that are no command:\n";
  bool any = false;
  for (unsigned code = 0; code < byteValues; ++code) {
    const ControlCount &control = listing.controls[code];
    if (control.count == 0) continue;
    any = true;
    appendDecimal(listing, code, 5);
    listing.buffer += "  ";
    appendHex(listing, uint8_t(code));
    listing.buffer += "  ";
    appendDecimal(listing, control.count);
    listing.buffer += control.count == 1 ? " time, first at offset " : " times, first at offset ";
    appendDecimal(listing, control.firstOffset);
    listing.buffer += ':';
    const char *separator = " ";
    for (size_t effect = 0; effect < size_t(ControlEffect::Count); ++effect) {
      if (control.effects[effect] == 0) continue;
      listing.buffer += separator;
      listing.buffer += effectWords[effect];
      listing.buffer += " (";
      appendDecimal(listing, control.effects[effect]);
      listing.buffer += ')';
      separator = ", ";
    }
    listing.buffer += '\n';
  }
  if (!any) listing.buffer += "  none\n";
}

void listSummary(Listing &listing, uint64_t bytes, const Mechanism &m) {
  beginListedSummary(listing, bytes, m);
  listing.buffer += "lines fed:   ";
  appendDecimal(listing, listing.linesFed + (m.autofeeds - listing.firstAutofeed));
  listing.buffer += ", ";
  appendDecimal(listing, m.autofeeds - listing.firstAutofeed);
  listing.buffer += " of them by autofeed\n";
  listSummaryCommands(listing);
  listSummaryControls(listing);
}

// Closes the file (not standard output); the temporary file stays.
void closeFile(Listing &listing) {
  if (listing.file != nullptr && !listing.standardOutput && std::fclose(listing.file) != 0) fail(listing, errno);
  if (listing.file != nullptr && listing.standardOutput && std::fflush(listing.file) != 0) fail(listing, errno);
  listing.file = nullptr;
}

}  // namespace

int openListing(Listing &listing, const std::string &name, bool replace) {
  abandonListing(listing);
  listing = Listing();
  if (name == standardOutputName) {
    listing.standardOutput = true;
    listing.file = stdout;
  } else {
    if (int error = createTemporaryBeside(name, listing.temporary); error != 0) return error;
    int fd = dup(listing.temporary.fd);
    listing.file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (listing.file == nullptr) {
      int error = errno;
      if (fd >= 0) close(fd);
      discardTemporary(listing.temporary);
      return error;
    }
  }
  listing.name = name;
  listing.replace = replace;
  listing.open = true;
  return 0;
}

bool listingOpen(const Listing &listing) { return listing.open; }

int finishListing(Listing &listing, const char *hint, uint64_t bytes, const Mechanism &m) {
  if (!listing.open) return EINVAL;
  endListedRun(listing);
  listEngineEvents(listing, bytes, m);
  listSummary(listing, bytes, m);
  return completeListing(listing, hint);
}

void beginListedSummary(Listing &listing, uint64_t bytes, const Mechanism &m) {
  listing.buffer += "\nsummary\nbytes read:  ";
  appendDecimal(listing, bytes);
  listing.buffer += "\npages:       ";
  appendDecimal(listing, m.page.pageCount - listing.firstPage);
  listing.buffer += '\n';
}

int completeListing(Listing &listing, const char *hint) {
  if (!listing.open) return EINVAL;
  if (hint != nullptr && *hint != '\0') {
    listing.buffer += hint;
    listing.buffer += '\n';
  }
  flushLines(listing);
  closeFile(listing);
  if (!listing.standardOutput) {
    if (listing.error == 0) {
      if (int error = commitTemporary(listing.temporary, listing.name, false, listing.replace); error != 0) fail(listing, error);
    } else {
      discardTemporary(listing.temporary);
    }
  }
  int error = listing.error;
  listing = Listing();
  return error;
}

void abandonListing(Listing &listing) {
  if (!listing.open) return;
  listing.buffer.clear();
  closeFile(listing);
  discardTemporary(listing.temporary);
  listing = Listing();
}

void startListedStream(Listing &listing, const Mechanism &m) {
  if (!listing.open) return;
  endListedRun(listing);
  listing.firstAutofeed = listing.autofeedsListed = m.autofeeds;
  listing.firstPage = listing.pagesListed = m.page.pageCount;
}

void listEngineEvents(Listing &listing, uint64_t offset, const Mechanism &m) {
  while (listing.autofeedsListed < m.autofeeds) {
    endListedRun(listing);
    beginLine(listing, offset, nullptr, 0, autofeedName);
    listing.buffer += "autofeed ";
    appendDecimal(listing, ++listing.autofeedsListed - listing.firstAutofeed);
    listing.buffer += ": a column past the right edge went to a new line";
    endLine(listing);
  }
  while (listing.pagesListed < m.page.pageCount) {
    endListedRun(listing);
    beginLine(listing, offset, nullptr, 0, pageName);
    listing.buffer += "page ";
    appendDecimal(listing, ++listing.pagesListed);
    endLine(listing);
  }
}

void listRunByte(Listing &listing, ListingRun kind, uint64_t offset, uint8_t byte, char32_t text, uint16_t modes, unsigned x) {
  GatheredRun &run = listing.run;
  modes &= Business | DoubleWidth | Reverse;
  if (run.kind != kind || run.offset + run.length != offset || (kind == ListingRun::Text && run.modes != modes)) {
    listRun(listing);
    run.kind = kind;
    run.offset = offset;
    run.length = 0;
    run.modes = modes;
    run.x = x;
  }
  if (run.length < shownBytes) run.bytes[run.length] = byte;
  ++run.length;
  if (kind == ListingRun::Text && text != 0) appendUtf8(run.text, text);
}

void beginListLine(Listing &listing, uint64_t offset, const uint8_t *bytes, size_t length, const char *name) {
  listRun(listing);
  beginLine(listing, offset, bytes, length, name);
}

void listWords(Listing &listing, const char *words, unsigned width) {
  listing.buffer += words;
  unsigned length = unsigned(std::char_traits<char>::length(words));
  if (length < width) appendSpaces(listing, width - length);
}

void listNumber(Listing &listing, uint64_t number, unsigned width) { appendDecimal(listing, number, width); }

void listHex(Listing &listing, uint8_t byte) { appendHex(listing, byte); }

void listCharacter(Listing &listing, char32_t character) { appendUtf8(listing.buffer, character); }

void endListLine(Listing &listing) { endLine(listing); }

void countCommand(Listing &listing, uint8_t code, const char *name) {
  ++listing.commandCounts[code];
  listing.commandNames[code] = name;
}

void countLinesFed(Listing &listing, unsigned lines) { listing.linesFed += lines; }

void countControlByte(Listing &listing, uint8_t code, uint64_t offset, ControlEffect effect) {
  ControlCount &control = listing.controls[code];
  if (control.count++ == 0) control.firstOffset = offset;
  ++control.effects[size_t(effect)];
}

void endListedRun(Listing &listing) { listRun(listing); }
