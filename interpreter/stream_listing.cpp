#include "interpreter/stream_listing.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_access.h"
#include "base/utf8.h"
#include "interpreter/stream_statistics.h"
#include "mechanism/print_head.h"

namespace {

constexpr size_t flushSize = 65536;       // bytes of lines gathered before they are written
constexpr size_t shownBytes = 8;          // bytes of an event shown in hex; then an ellipsis
constexpr unsigned offsetWidth = 9;       // columns of the offset, right-aligned
constexpr unsigned bytesWidth = 25;       // columns of the hex bytes: 8 of them, a space, "…"
constexpr unsigned nameWidth = 16;        // columns of the name
constexpr unsigned codeCount = 256;       // byte values
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

// The run of bytes being gathered into one line.
struct GatheredRun {
  ListingRun kind;            // None while no run is gathered
  uint64_t offset;            // offset of its first byte
  uint64_t length;            // its bytes
  uint8_t bytes[shownBytes];  // its first bytes
  uint16_t modes;             // Business, DoubleWidth and Reverse of a text run
  unsigned x;                 // head pixel column before its first byte
  std::string text;           // UTF-8 text of a text run
};

// A control byte value that is no command, as the summary tells it.
struct ControlCount {
  uint64_t count;                                    // times it was read
  uint64_t firstOffset;                              // offset of the first
  uint64_t effects[size_t(ControlEffect::Count)];    // times it had each effect
};

struct Listing {
  bool open = false;
  FILE *file = nullptr;              // the temporary file, or standard output
  bool standardOutput = false;       // listed onto standard output
  TemporaryFile temporary;           // the listing until complete
  std::string name;                  // where the finished listing goes
  bool replace = true;               // it may replace a file of that name
  int error = 0;                     // errno value of the first failure, 0 while none
  std::string buffer;                // lines not yet written
  GatheredRun run{};                 // the run being gathered
  uint64_t autofeeds = 0;            // autofeeds the engine noted since the stream began
  uint64_t autofeedsListed = 0;      // of them, those listed
  unsigned pagesListed = 0;          // the engine's page count when last listed
  unsigned firstPage = 0;            // the engine's page count when the stream began
  uint64_t linesFed = 0;             // lines fed by commands
  uint64_t commandCounts[codeCount] = {};      // commands read, by code
  const char *commandNames[codeCount] = {};    // the name of each command read
  ControlCount controls[codeCount] = {};       // control bytes that are no command
};

Listing listing;  // the listing being written

void fail(int error) {
  if (listing.error == 0) listing.error = error != 0 ? error : EIO;
}

// Writes the gathered lines out.
void flushLines() {
  if (listing.buffer.empty() || listing.file == nullptr) return;
  if (std::fwrite(listing.buffer.data(), 1, listing.buffer.size(), listing.file) != listing.buffer.size())
    fail(errno);
  listing.buffer.clear();
}

void appendDecimal(uint64_t number, unsigned width = 0) {
  char digits[24];
  unsigned count = 0;
  do {
    digits[count++] = char('0' + number % 10);
    number /= 10;
  } while (number != 0);
  for (unsigned pad = count; pad < width; ++pad) listing.buffer += ' ';
  while (count > 0) listing.buffer += digits[--count];
}

void appendHex(uint8_t byte) {
  listing.buffer += hexDigits[byte >> 4];
  listing.buffer += hexDigits[byte & 15];
}

void appendSpaces(unsigned count) { listing.buffer.append(count, ' '); }

// The start of a line: offset, bytes, name; each field padded to its column.
void beginLine(uint64_t offset, const uint8_t *bytes, uint64_t length, const char *name) {
  appendDecimal(offset, offsetWidth);
  appendSpaces(2);
  unsigned columns = 0;
  for (uint64_t i = 0; i < length && i < shownBytes; ++i) {
    if (i > 0) listing.buffer += ' ';
    appendHex(bytes[i]);
    columns += i > 0 ? 3 : 2;
  }
  if (length > shownBytes) {
    listing.buffer += ' ';
    listing.buffer += ellipsis;
    columns += 2;
  }
  appendSpaces(bytesWidth - columns + 2);
  listing.buffer += name;
  unsigned nameLength = unsigned(std::char_traits<char>::length(name));
  appendSpaces(nameLength < nameWidth ? nameWidth - nameLength + 1 : 1);
}

void endLine() {
  listing.buffer += '\n';
  if (listing.buffer.size() >= flushSize) flushLines();
}

void listRun() {
  GatheredRun &run = listing.run;
  if (run.kind == ListingRun::None) return;
  switch (run.kind) {
    case ListingRun::Text:
      beginLine(run.offset, run.bytes, run.length, textName);
      listing.buffer += '"';
      listing.buffer += run.text;
      listing.buffer += "\" ";
      listing.buffer += (run.modes & Business) ? "business set" : "graphic set";
      listing.buffer += (run.modes & DoubleWidth) ? ", double width" : ", single width";
      if (run.modes & Reverse) listing.buffer += ", reverse";
      listing.buffer += ", at x ";
      appendDecimal(run.x);
      break;
    case ListingRun::Columns:
      beginLine(run.offset, run.bytes, run.length, columnsName);
      appendDecimal(run.length);
      listing.buffer += run.length == 1 ? " column at x " : " columns at x ";
      appendDecimal(run.x);
      break;
    default:  // Ignored
      beginLine(run.offset, run.bytes, run.length, ignoredName);
      appendDecimal(run.length);
      listing.buffer += run.length == 1 ? " byte" : " bytes";
      listing.buffer += " below 128: bit-image mode prints nothing for them";
      break;
  }
  endLine();
  run.kind = ListingRun::None;
  run.text.clear();
}

void listSummaryCommands() {
  listing.buffer += "commands:\n";
  bool any = false;
  for (unsigned code = 0; code < codeCount; ++code) {
    if (listing.commandCounts[code] == 0) continue;
    any = true;
    appendDecimal(code, 5);
    listing.buffer += "  ";
    appendHex(uint8_t(code));
    listing.buffer += "  ";
    listing.buffer += listing.commandNames[code];
    unsigned nameLength = unsigned(std::char_traits<char>::length(listing.commandNames[code]));
    appendSpaces(nameLength < nameWidth ? nameWidth - nameLength : 0);
    appendDecimal(listing.commandCounts[code], 10);
    listing.buffer += '\n';
  }
  if (!any) listing.buffer += "  none\n";
}

void listSummaryControls() {
  listing.buffer += "control bytes that are no command:\n";
  bool any = false;
  for (unsigned code = 0; code < codeCount; ++code) {
    const ControlCount &control = listing.controls[code];
    if (control.count == 0) continue;
    any = true;
    appendDecimal(code, 5);
    listing.buffer += "  ";
    appendHex(uint8_t(code));
    listing.buffer += "  ";
    appendDecimal(control.count);
    listing.buffer += control.count == 1 ? " time, first at offset " : " times, first at offset ";
    appendDecimal(control.firstOffset);
    listing.buffer += ':';
    const char *separator = " ";
    for (size_t effect = 0; effect < size_t(ControlEffect::Count); ++effect) {
      if (control.effects[effect] == 0) continue;
      listing.buffer += separator;
      listing.buffer += effectWords[effect];
      listing.buffer += " (";
      appendDecimal(control.effects[effect]);
      listing.buffer += ')';
      separator = ", ";
    }
    listing.buffer += '\n';
  }
  if (!any) listing.buffer += "  none\n";
}

void listSummary(const char *hint) {
  listing.buffer += "\nsummary\nbytes read:  ";
  appendDecimal(streamStatistics.bytes);
  listing.buffer += "\npages:       ";
  appendDecimal(page.pageCount - listing.firstPage);
  listing.buffer += "\nlines fed:   ";
  appendDecimal(listing.linesFed + listing.autofeeds);
  listing.buffer += ", ";
  appendDecimal(listing.autofeeds);
  listing.buffer += " of them by autofeed\n";
  listSummaryCommands();
  listSummaryControls();
  if (hint != nullptr && *hint != '\0') {
    listing.buffer += hint;
    listing.buffer += '\n';
  }
}

// Closes the file (not standard output); the temporary file stays.
void closeFile() {
  if (listing.file != nullptr && !listing.standardOutput && std::fclose(listing.file) != 0) fail(errno);
  if (listing.file != nullptr && listing.standardOutput && std::fflush(listing.file) != 0) fail(errno);
  listing.file = nullptr;
}

}  // namespace

int openListing(const std::string &name, bool replace) {
  abandonListing();
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

bool listingOpen() { return listing.open; }

int finishListing(const char *hint) {
  if (!listing.open) return EINVAL;
  endListedRun();
  listEngineEvents(streamStatistics.bytes);
  listSummary(hint);
  flushLines();
  closeFile();
  if (!listing.standardOutput) {
    if (listing.error == 0) {
      if (int error = commitTemporary(listing.temporary, listing.name, false, listing.replace); error != 0) fail(error);
    } else {
      discardTemporary(listing.temporary);
    }
  }
  int error = listing.error;
  listing = Listing();
  return error;
}

void abandonListing() {
  if (!listing.open) return;
  listing.buffer.clear();
  closeFile();
  discardTemporary(listing.temporary);
  listing = Listing();
}

void startListedStream() {
  if (!listing.open) return;
  endListedRun();
  listing.autofeeds = listing.autofeedsListed = 0;
  listing.firstPage = listing.pagesListed = page.pageCount;
}

void noteAutofeed() {
  if (listing.open) ++listing.autofeeds;
}

void listEngineEvents(uint64_t offset) {
  while (listing.autofeedsListed < listing.autofeeds) {
    endListedRun();
    beginLine(offset, nullptr, 0, autofeedName);
    listing.buffer += "autofeed ";
    appendDecimal(++listing.autofeedsListed);
    listing.buffer += ": a column past the right edge went to a new line";
    endLine();
  }
  while (listing.pagesListed < page.pageCount) {
    endListedRun();
    beginLine(offset, nullptr, 0, pageName);
    listing.buffer += "page ";
    appendDecimal(++listing.pagesListed);
    endLine();
  }
}

void listRunByte(ListingRun kind, uint64_t offset, uint8_t byte, char32_t text, uint16_t modes, unsigned x) {
  GatheredRun &run = listing.run;
  modes &= Business | DoubleWidth | Reverse;
  if (run.kind != kind || run.offset + run.length != offset || (kind == ListingRun::Text && run.modes != modes)) {
    listRun();
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

void beginListLine(uint64_t offset, const uint8_t *bytes, size_t length, const char *name) {
  listRun();
  beginLine(offset, bytes, length, name);
}

void listWords(const char *words) { listing.buffer += words; }

void listNumber(uint64_t number) { appendDecimal(number); }

void listHex(uint8_t byte) { appendHex(byte); }

void listCharacter(char32_t character) { appendUtf8(listing.buffer, character); }

void endListLine() { endLine(); }

void countCommand(uint8_t code, const char *name) {
  ++listing.commandCounts[code];
  listing.commandNames[code] = name;
}

void countLinesFed(unsigned lines) { listing.linesFed += lines; }

void countControlByte(uint8_t code, uint64_t offset, ControlEffect effect) {
  ControlCount &control = listing.controls[code];
  if (control.count++ == 0) control.firstOffset = offset;
  ++control.effects[size_t(effect)];
}

void endListedRun() { listRun(); }
