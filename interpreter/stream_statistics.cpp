#include "interpreter/stream_statistics.h"

#include <array>
#include <cstring>

namespace {

constexpr uint8_t tab = 9;
constexpr uint8_t lineFeed = 10;
constexpr uint8_t formFeed = 12;
constexpr uint8_t carriageReturn = 13;
constexpr uint8_t textBusinessCode = 145;  // selects the business set in a text-mode file
constexpr uint8_t rawBusinessCode = 17;    // and in a raw stream
constexpr unsigned controlCount = 32;      // codes 0-31, and again 128-159, are control bytes
constexpr unsigned highControls = 128;     // the first of the upper control bytes
constexpr uint8_t firstSmallLetter = 'a';
constexpr uint8_t lastSmallLetter = 'z';
constexpr uint8_t firstCapital = 'A';
constexpr uint8_t lastCapital = 'Z';
constexpr uint8_t escape = 27;
constexpr uint8_t mps801Escape = 16;       // 27 16: the MPS801's one escape sequence, a dot address

// The command bytes the ESC/P printer knows after 27. None of them is 16.
constexpr const char escpCommands[] =
    "@0123AJjCNOBDeflQ$\\EFGH45-STW" "\x0E\x0F" "MP!Rt67&:%KLYZ*?^xkpaU<s89" "\x19" "irmI";

constexpr std::array<bool, 256> makeEscpCommandTable() {
  std::array<bool, 256> table{};
  for (size_t i = 0; i + 1 < sizeof escpCommands; ++i) table[uint8_t(escpCommands[i])] = true;
  return table;
}

// Whether each byte value, after 27, is an ESC/P command.
constexpr std::array<bool, 256> escpCommand = makeEscpCommandTable();

// Escape sequences that make "many": a stream of a few text lines sets its pitch, its
// margins and its line spacing with about as many, and fewer may be chance.
constexpr uint64_t manyEscapes = 5;

// Carriage returns that make "many": a few overprinted lines are a layout, not a
// stream read the wrong way.
constexpr uint64_t manyReturns = 4;

// Small letters that make "many": at least this many, and at least a third of the
// letters.
constexpr uint64_t manySmallLetters = 20;
constexpr uint64_t smallLetterShare = 3;

// Small letters that make "most" of a printer stream's letters: at least this many,
// and more than half of the letters.
constexpr uint64_t mostlySmallLetters = 20;

// Plain text is mostly ASCII: at most one byte in this many is 128 or more (accented
// letters, or graphics passed through). A printer stream of graphics has far more.
constexpr uint64_t highByteShare = 16;

uint64_t countOf(const StreamStatistics &statistics, uint8_t value) { return statistics.counts[value]; }

uint64_t countBetween(const StreamStatistics &statistics, unsigned first, unsigned last) {
  uint64_t total = 0;
  for (unsigned value = first; value <= last; ++value) total += statistics.counts[value];
  return total;
}

// Control bytes other than those of plain text: line feed, carriage return, tab and
// form feed.
uint64_t foreignControls(const StreamStatistics &statistics) {
  uint64_t total = countBetween(statistics, 0, controlCount - 1) + countBetween(statistics, highControls, highControls + controlCount - 1);
  return total - countOf(statistics, lineFeed) - countOf(statistics, carriageReturn) - countOf(statistics, tab) - countOf(statistics, formFeed);
}

// The command byte of an escape sequence, the byte after its 27.
void countEscape(StreamStatistics &statistics, uint8_t command) {
  statistics.escpEscapes += escpCommand[command];
  statistics.mps801Escapes += command == mps801Escape;
}

// The escape sequences of the next bytes. Both printers take the byte after 27 as its
// command, whatever it is, so in 27 27 the second 27 is a command byte (one that
// neither printer knows) and begins nothing: 27 27 64 is no ESC/P command. 27 is rare
// in a stream, so the bytes between are passed over by memchr, not looked at one by
// one. The escape may end one read and its command begin the next.
void countEscapes(StreamStatistics &statistics, const uint8_t *bytes, size_t length) {
  size_t next = 0;
  if (statistics.escapeOpen) {
    countEscape(statistics, bytes[0]);
    next = 1;
  }
  statistics.escapeOpen = false;
  while (next < length) {
    const void *found = std::memchr(bytes + next, escape, length - next);
    if (found == nullptr) return;
    size_t at = size_t(static_cast<const uint8_t *>(found) - bytes);
    if (at + 1 == length) {
      statistics.escapeOpen = true;
      return;
    }
    countEscape(statistics, bytes[at + 1]);
    next = at + 2;
  }
}

// ESC/P: printed on the MPS801, many escape sequences of the 9-pin ESC/P printer and
// not one of the MPS801's own. Bit-image data is counted as it comes, since passing
// over it would take each command's operands: by chance its bytes may make a sequence
// of either printer, and one 27 16 among them holds the hint back.
bool looksEscp(const StreamStatistics &statistics, const RunSettings &settings) {
  return settings.model == PrinterModel::Mps801 && statistics.escpEscapes >= manyEscapes && statistics.mps801Escapes == 0;
}

// Raw: read as a text-mode file, its carriage returns never feed paper, and with not
// one line feed every line prints over the one before.
bool looksRaw(const StreamStatistics &statistics, const RunSettings &settings) {
  return settings.streamKind == StreamKind::TextFile && countOf(statistics, lineFeed) == 0 && countOf(statistics, carriageReturn) >= manyReturns;
}

// Plain text: no control byte but those of plain text, mostly ASCII, most lines ended
// by a line feed (alone or after a carriage return), and many small letters, which
// print as graphics unless the business set is in force. It is, from the first byte, in
// a raw stream run with -business, and from the first carriage return in a text-mode
// file.
bool looksPlain(const StreamStatistics &statistics, const RunSettings &settings) {
  if (settings.streamKind == StreamKind::PlainText || foreignControls(statistics) != 0) return false;
  if (countBetween(statistics, highControls, 255) * highByteShare > statistics.bytes) return false;
  uint64_t loneReturns = countOf(statistics, carriageReturn) - statistics.returnFeeds;
  if (countOf(statistics, lineFeed) <= loneReturns) return false;
  bool businessInForce =
      settings.businessDefault && (settings.streamKind == StreamKind::Raw || countOf(statistics, carriageReturn) != 0);
  uint64_t small = countBetween(statistics, firstSmallLetter, lastSmallLetter);
  uint64_t letters = small + countBetween(statistics, firstCapital, lastCapital);
  return !businessInForce && small >= manySmallLetters && small * smallLetterShare >= letters;
}

// Business: a printer stream (not plain text) whose letters are mostly small ones, as a
// program written on a computer of today sends them, read in the graphic set from
// beginning to end: no -business, and not one code that selects the business set.
// Mostly ASCII, as plain text is: a stream of graphics has far more bytes from 128.
bool looksBusiness(const StreamStatistics &statistics, const RunSettings &settings) {
  if (settings.streamKind == StreamKind::PlainText || settings.businessDefault) return false;
  uint8_t businessCode = settings.streamKind == StreamKind::Raw ? rawBusinessCode : textBusinessCode;
  if (countOf(statistics, businessCode) != 0) return false;
  if (countBetween(statistics, highControls, 255) * highByteShare > statistics.bytes) return false;
  uint64_t small = countBetween(statistics, firstSmallLetter, lastSmallLetter);
  uint64_t letters = small + countBetween(statistics, firstCapital, lastCapital);
  return small >= mostlySmallLetters && small * 2 > letters;
}

}  // namespace

void resetStreamStatistics(StreamStatistics &statistics) {
  std::memset(&statistics, 0, sizeof statistics);
  statistics.previous = -1;
}

void countStreamBytes(StreamStatistics &statistics, const uint8_t *bytes, size_t length) {
  if (length == 0) return;
  uint64_t returnFeeds = statistics.previous == carriageReturn && bytes[0] == lineFeed;
  for (size_t i = 0; i < length; ++i) ++statistics.counts[bytes[i]];
  for (size_t i = 1; i < length; ++i) returnFeeds += bytes[i - 1] == carriageReturn && bytes[i] == lineFeed;
  statistics.returnFeeds += returnFeeds;
  countEscapes(statistics, bytes, length);
  statistics.bytes += length;
  statistics.previous = bytes[length - 1];
}

StreamHint streamHint(const StreamStatistics &statistics, const RunSettings &settings, bool printed) {
  if (!printed) return StreamHint::None;
  // A stream made for the ESC/P printer may look raw, or like text for the business
  // set, too; printed on the right printer it will not, so that printer is named first.
  if (looksEscp(statistics, settings)) return StreamHint::Escp;
  if (looksRaw(statistics, settings)) return StreamHint::Raw;
  if (looksPlain(statistics, settings)) return StreamHint::PlainText;
  if (looksBusiness(statistics, settings)) return StreamHint::Business;
  return StreamHint::None;
}

const char *hintText(StreamHint hint) {
  switch (hint) {
    case StreamHint::Raw:
      return "Hint: the stream looks like a raw printer stream: many carriage returns and no line feed, so its "
             "lines print over one another. Try -raw.";
    case StreamHint::PlainText:
      return "Hint: the stream looks like plain text: many small letters, which the graphic set prints as "
             "graphics, and lines ended by line feeds. Try -ascii. If an emulator printed it, set its printer "
             "output to raw: its text conversion drops the printer's codes.";
    case StreamHint::Business:
      return "Hint: the stream looks like text for the business set: most of its letters are small letters, "
             "which the graphic set prints as graphics. Try -business.";
    case StreamHint::Escp:
      return "Hint: the stream looks like a stream for the 9-pin ESC/P printer: many of its escape sequences, "
             "and not one that the MPS801 knows. Try -printer escp.";
    case StreamHint::None:
      break;
  }
  return "";
}
