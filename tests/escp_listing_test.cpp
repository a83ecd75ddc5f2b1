// -explain and -ascii on the ESC/P printer, through the real program: the listing of a
// stream of its commands, control codes and text, the summary of what it did not know,
// the same pages with a listing as without, and plain text in many languages that
// comes back as its own transcript.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "escp/escp_listing.h"
#include "escp/escp_printer.h"
#include "run_support.h"

namespace {

const std::string fontPath = SOURCE_DIR "/PRINTER/escp.fake";

// A directory holding the 9-pin font, so that text prints and gives its transcript.
struct FontDir : TempDir {
  FontDir() {
    std::string font = readFile(fontPath);
    writeRom(*this, std::vector<uint8_t>(font.begin(), font.end()), "escp.fake");
  }
};


// The lines at offset, in order.
std::vector<Line> linesAt(const std::vector<Line> &lines, uint64_t offset) {
  std::vector<Line> found;
  for (const Line &line : lines)
    if (line.offset == offset) found.push_back(line);
  return found;
}

void expectLine(const std::vector<Line> &lines, uint64_t offset, const std::string &bytes, const std::string &name,
                const std::string &what, size_t index = 0) {
  std::vector<Line> found = linesAt(lines, offset);
  ASSERT_GT(found.size(), index) << "nothing listed at " << offset;
  EXPECT_EQ(found[index].bytes, bytes) << "at " << offset;
  EXPECT_EQ(found[index].name, name) << "at " << offset;
  EXPECT_EQ(found[index].what, what) << "at " << offset;
}

std::string summaryOf(const std::string &listing) {
  size_t at = listing.find("\n\nsummary\n");
  return at == std::string::npos ? std::string() : listing.substr(at + 2);
}

std::string esc(std::initializer_list<int> values) { return bytes({27}) + bytes(values); }

// The stream of the listing tests, with the offset of each part in its comment.
std::string commandStream() {
  return esc({'@'}) + esc({'E'}) + "Hello, world" + esc({'F'}) + bytes({13, 10}) +  // 0 2 4 16 18 19
         esc({'?', 'K', 1}) + esc({'K', 5, 0, 0xFF, 0x81, 0x81, 0x81, 0xFF}) +        // 20 24
         esc({'R', 2}) + "[\\]{|}~" + esc({'R', 0}) +                                 // 33 36 43
         "abc" + bytes({24}) + "xy" + bytes({127}) +                                  // 46 49 50 52
         esc({'q'}) + bytes({0, 10}) + std::string(81, 'X') +                         // 53 55 56 57
         esc({'q'}) + esc({'*', 1, 5});                                               // 138 140, cut off
}

}  // namespace

// Each command, control code and run of text is a line with its name and the head's
// place after it; graphics data shows its first bytes; a character past the right
// margin lists the overflow first; a command cut off by the end of the stream is
// listed as such; the summary names the codes and sequences that did nothing.
TEST(EscpListing, CommandsControlCodesAndText) {
  FontDir dir;
  std::string stream = commandStream();
  RunResult r = runTambrix(dir, {"-printer", "escp", "-explain", "run.lst", "-out", "p"}, stream);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::string listing = readFile(dir.file("run.lst"));
  std::vector<Line> lines = eventLines(listing);
  expectLine(lines, 0, "1B 40", "ESC @", "initialize printer; head at x 0.000, y 0.000 in");
  expectLine(lines, 2, "1B 45", "ESC E", "emphasized on; head at x 0.000, y 0.000 in");
  expectLine(lines, 4, "48 65 6C 6C 6F 2C 20 77 ~", "text", "\"Hello, world\" pica, emphasized; head at x 1.200, y 0.000 in");
  expectLine(lines, 18, "0D", "CR", "carriage return; head at x 0.000, y 0.000 in");
  expectLine(lines, 19, "0A", "LF", "line feed, paper up 0.167 in; head at x 0.000, y 0.167 in");
  expectLine(lines, 20, "1B 3F 4B 01", "ESC ?", "ESC K prints in mode 1; head at x 0.000, y 0.167 in");
  // Five columns 1/120 inch apart.
  expectLine(lines, 24, "1B 4B 05 00 FF 81 81 81 ~", "ESC K", "120-dpi graphics, 5 columns; head at x 0.042, y 0.167 in");
  expectLine(lines, 33, "1B 52 02", "ESC R", "international set 2, Germany; head at x 0.042, y 0.167 in");
  expectLine(lines, 36, "5B 5C 5D 7B 7C 7D 7E", "text", "\"ÄÖÜäöüß\" pica; head at x 0.742, y 0.167 in");
  // CAN erases the line's ten characters; the graphics were struck as they came.
  expectLine(lines, 49, "18", "CAN", "cancel line: 10 characters erased; head at x 0.000, y 0.167 in");
  expectLine(lines, 52, "7F", "DEL", "delete the last character: \"y\" erased; head at x 0.100, y 0.167 in");
  expectLine(lines, 53, "1B 71", "ESC q", "no command of this printer: both bytes ignored; head at x 0.100, y 0.167 in");
  expectLine(lines, 55, "00", "NUL", "nothing on paper; head at x 0.100, y 0.167 in");
  expectLine(lines, 57, "58 58 58 58 58 58 58 58 ~", "text", "\"" + std::string(80, 'X') + "\" pica; head at x 8.000, y 0.333 in");
  expectLine(lines, 137, "", "line overflow", "no room before the right margin: CR and LF; head at x 0.000, y 0.500 in");
  expectLine(lines, 137, "58", "text", "\"X\" pica; head at x 0.100, y 0.500 in", 1);
  expectLine(lines, 140, "1B 2A 01 05", "ESC *", "cut short by the end of the stream: dropped; head at x 0.100, y 0.500 in");
  expectLine(lines, stream.size(), "", "page ejected", "page 1");
  std::string summary = summaryOf(listing);
  EXPECT_NE(summary.find("bytes read:  " + std::to_string(stream.size()) + "\npages:       1\n"
                         "lines fed:   3, 1 of them by line overflow\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("\n   10  0A  LF        line feed                                    2\n"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("\n   82  52  ESC R     international set                            2\n"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("control codes that did nothing:\n    0  00  NUL       1 time, first at offset 55\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("ESC sequences the printer does not know:\n  113  71  ESC q     2 times, first at offset 53\n"),
            std::string::npos)
      << summary;
  // Every command the printer knows has its name; no other byte has one.
  for (unsigned command = 0; command < 256; ++command)
    EXPECT_EQ(escpCommandName(uint8_t(command)) != nullptr, knownEscpCommand(uint8_t(command))) << command;
}

// Pages, documents and messages are the same with a listing as without, apart from
// the listing's own echo; -explain - lists onto standard output.
TEST(EscpListing, SamePagesWithAndWithoutIt) {
  FontDir plain, listed;
  std::string stream = commandStream();
  std::vector<std::string> words = {"-printer", "escp", "-out", "page", "-pdf", "run.pdf", "-text", "run.txt"};
  RunResult without = runTambrix(plain, words, stream);
  words.insert(words.end(), {"-explain", "run.lst"});
  RunResult with = runTambrix(listed, words, stream);
  ASSERT_EQ(with.status, 0) << with.out << with.err;
  size_t firstPage = without.out.find("page-001.png written");
  ASSERT_NE(firstPage, std::string::npos) << without.out;
  EXPECT_EQ(with.out, without.out.substr(0, firstPage) + "Stream listing: run.lst.\n" + without.out.substr(firstPage));
  EXPECT_EQ(with.err, without.err);
  std::vector<std::string> pages = pngFiles(plain);
  EXPECT_EQ(pngFiles(listed), pages);
  for (const std::string &name : pages) EXPECT_TRUE(readFile(plain.file(name)) == readFile(listed.file(name))) << name;
  for (const char *name : {"run.pdf", "run.txt", "ribbon-escp.dat"})
    EXPECT_TRUE(readFile(plain.file(name)) == readFile(listed.file(name))) << name;
  RunResult r = runTambrix(listed, {"-printer", "escp", "-explain", "-", "-out", "q"}, stream);
  EXPECT_NE(r.out.find("        0  1B 40                      ESC @            initialize printer;"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\nsummary\nbytes read:  "), std::string::npos);
}

// Text in German, French, Danish, Spanish, box drawing and Greek, its lines ended by
// LF, CRLF and CR, with tabs and a form feed, comes back as its transcript: the text
// with its tabs expanded and its long lines wrapped at 80 columns. A character no font
// shows prints as a placeholder and is counted; a byte that is no UTF-8 is a code of
// the graphics table.
TEST(EscpPlainText, RoundTripThroughTheTranscript) {
  const std::vector<std::string> lines = {
      "Grüße aus Köln: Äpfel, Öl, Übel, Straße",
      "",  // a blank line is a line of the transcript too (its end is CRLF)
      "Ça a été très bien, garçon; où est-il? § ¨ à, then @ [1] {2} |3| \\4 ~ ^ `",
      "Dansk: Æble, Øre, Åen; æbleskiver, øl, på",
      "Español: ¿Qué tal? ¡Sí! Ñandú, año, señor",
      "\tTabbed\tline\t\tend",
      "┌────┬────┐ ╔═╗ ╠═╣ ╚═╝ ░▒▓█",
      "│ ab │ cd │",
      "└────┴────┘",
      "Greek: ΓΣΘΦΩ αδεπστφ µ; signs ≤ ≥ ± ÷ ≈ ° ∞ √ ²",
      std::string(78, 'w') + "\tx",  // the tab reaches the end of the line: x wraps
      std::string(85, 'v'),
  };
  const char *const endings[] = {"\n", "\r\n", "\r"};
  constexpr size_t pageBreak = 4;  // a form feed follows this line
  std::string text, expected;
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i] + endings[i % 3];
    if (i == pageBreak) text += "\f";
  }
  // The transcript: tabs to the next multiple of 8 columns, 80 columns a line, no
  // trailing spaces.
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> cells;
    for (size_t at = 0; at < lines[i].size();) {
      unsigned char c = lines[i][at];
      size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      if (c != '\t')
        cells.push_back(lines[i].substr(at, length));
      else if (cells.empty() || cells.size() % 80 != 0)  // a full line's end takes none
        cells.resize(std::min((cells.size() / 8 + 1) * 8, (cells.size() / 80 + 1) * 80), " ");
      at += length;
    }
    expected += wrappedLines(cells, 80);
    if (i == pageBreak) expected += "\f";
  }
  FontDir dir;
  writeFile(dir.file("notes.txt"), text);
  RunResult r = runTambrix(dir, {"notes.txt", "-printer", "escp", "-ascii", "-text", "notes.out", "-explain", "notes.lst",
                                 "-out", "p"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(pngFiles(dir).size(), 2u);
  EXPECT_EQ(readFile(dir.file("notes.out")), expected);
  EXPECT_EQ(r.out.find("no glyph"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  // One line feed for each line end, CRLF too, and one for each of the two wraps.
  std::string listing = readFile(dir.file("notes.lst"));
  EXPECT_NE(summaryOf(listing).find("\nlines fed:   " + std::to_string(lines.size() + 2) + ", 2 of them by line overflow\n"),
            std::string::npos)
      << summaryOf(listing);
  // The set is switched where the text needs it, at the offset of the letter.
  std::vector<Line> listed = eventLines(listing);
  uint64_t section = text.find("§");
  expectLine(listed, section, "1B 52 01", "ESC R", "international set 1, France; head at x 3.900, y 0.333 in");
  // The euro sign, a smiley and a control character print as the placeholder; 9B is
  // no UTF-8: ¢ in the graphics table.
  r = runTambrix(dir, {"-printer", "escp", "-ascii", "-text", "odd.out", "-out", "q"},
                 "a\xE2\x82\xAC" "b\xE2\x98\xBA\x01" "c\x9B\n");
  EXPECT_NE(r.out.find("\n3 characters have no glyph: each printed as an underlined question mark.\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(readFile(dir.file("odd.out")), "a?b??c\xC2\xA2\n");
}
