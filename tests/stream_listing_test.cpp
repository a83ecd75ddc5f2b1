// -explain, -ascii and the hints, through the real program: the listing of the sample
// streams against what their generator says each byte is, the summary of unknown
// codes, the same pages with and without a listing, plain text that comes back as its
// own transcript, and the hints on streams made for them.
#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "interpreter/printer.h"
#include "output/page_output.h"
#include "run_support.h"

namespace {

const std::string fontPath = SOURCE_DIR "/PRINTER/mps801.fake";
const std::string showcase = SOURCE_DIR "/examples/showcase.prn";
const std::string rawShowcase = SOURCE_DIR "/examples/raw_showcase.prn";
const std::string stockListing = SOURCE_DIR "/examples/listing.prn";

// A directory holding our own font, so that text prints and gives its transcript.
struct FontDir : TempDir {
  FontDir() { writeRom(*this, std::vector<uint8_t>(fontBytes().begin(), fontBytes().end()), "mps801.fake"); }
  static const std::string &fontBytes() {
    static const std::string bytes = readFile(fontPath);
    return bytes;
  }
};


// The first line at offset (of that name, when one is given); an empty line when there
// is none.
Line lineAt(const std::vector<Line> &lines, uint64_t offset, const std::string &name = "") {
  for (const Line &line : lines)
    if (line.offset == offset && (name.empty() || line.name == name)) return line;
  return Line{};
}

// The summary: everything after the event lines.
std::string summaryOf(const std::string &listing) {
  size_t at = listing.find("\n\nsummary\n");
  return at == std::string::npos ? std::string() : listing.substr(at + 2);
}

// Offset of the bytes in the stream, which must hold them.
uint64_t offsetOf(const std::string &stream, const std::string &bytes, size_t from = 0) {
  size_t at = stream.find(bytes, from);
  EXPECT_NE(at, std::string::npos) << bytes;
  return at;
}

// Runs tambrix with the words in dir and returns the listing it wrote to run.lst.
std::string listingOf(const TempDir &dir, std::vector<std::string> words, const std::string &input = "") {
  words.insert(words.end(), {"-explain", "run.lst", "-out", "p"});
  RunResult r = runTambrix(dir, words, input);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  return readFile(dir.file("run.lst"));
}

void expectLine(const std::vector<Line> &lines, uint64_t offset, const std::string &bytes, const std::string &name,
                const std::string &what) {
  Line line = lineAt(lines, offset);
  EXPECT_EQ(line.bytes, bytes) << "at " << offset;
  EXPECT_EQ(line.name, name) << "at " << offset;
  EXPECT_EQ(line.what, what) << "at " << offset;
}

// Runs the input with the words, without and with a listing, and expects the hint
// (empty: none) to end standard error, alone, both times and in the listing; a hint
// never goes to standard output.
void expectHint(const std::string &input, std::vector<std::string> words, const std::string &hint,
                const std::string &trace) {
  FontDir dir;
  words.insert(words.end(), {"-out", "p"});
  RunResult plain = runTambrix(dir, words, input);
  words.insert(words.end(), {"-explain", "run.lst"});
  RunResult listed = runTambrix(dir, words, input);
  EXPECT_EQ(plain.status, 0) << trace << plain.err;
  if (hint.empty()) {
    EXPECT_EQ(plain.err, "") << trace;
  } else {
    EXPECT_EQ(plain.err.rfind("Hint: ", 0), 0u) << trace << plain.err;
    EXPECT_EQ(plain.err.size() - plain.err.find(hint), hint.size()) << trace << plain.err;
    EXPECT_EQ(std::count(plain.err.begin(), plain.err.end(), '\n'), 1) << trace << plain.err;
    EXPECT_NE(readFile(dir.file("run.lst")).find(plain.err), std::string::npos) << trace;
  }
  EXPECT_EQ(plain.out.find("Hint"), std::string::npos) << trace;
  EXPECT_EQ(listed.err, plain.err) << trace;
}

}  // namespace

// The lines below are what make_samples.cpp says each byte is: showcase.prn opens with
// crlf(), headToPixelFar(240) (27 16 lo hi), doubleWidth() and the title, then a rule
// of 240 columns with pins 1 and 4; the quote-mode line sends 18 17 14 inside quotes.
TEST(StreamListing, ShowcaseAsItsGeneratorDescribesIt) {
  FontDir dir;
  std::string stream = readFile(showcase);
  std::string listing = listingOf(dir, {showcase});
  std::vector<Line> lines = eventLines(listing);
  expectLine(lines, 0, "0D", "carriage return", "head to x 0, graphic set");
  expectLine(lines, 1, "0A", "line feed", "paper up 21 px to y 21");
  expectLine(lines, 2, "1B 10 F0 00", "pixel address", "head to x 240");
  expectLine(lines, 6, "0E", "double width", "double width on");
  expectLine(lines, 7, "54 41 4D 42 52 49 58 20 ~", "text",
             "\"TAMBRIX PRINT SAMPLE\" graphic set, double width, at x 240");
  expectLine(lines, 27, "0F", "standard width", "single width, text mode, line pitch 21 px");
  expectLine(lines, offsetOf(stream, "\x1A\xF0\x92"), "1A F0 92", "repeat column",
             "column 0x92 printed 240 times, head at x 720");
  uint64_t business = offsetOf(stream, "\x91LOWER");
  expectLine(lines, business, "91", "business set", "business set");
  EXPECT_EQ(lineAt(lines, business + 1).what, "\"lower case and Capitals, \" business set, single width, at x 396");
  uint64_t quoted = offsetOf(stream, "HELLO\x12\x11\x0E") + 5;
  expectLine(lines, quoted, "12", "quoted code", "prints R reversed, inside quotes");
  expectLine(lines, quoted + 1, "11", "quoted code", "prints Q reversed, inside quotes");
  expectLine(lines, quoted + 3, "22", "quote", "quote mode off, prints the quote mark");
  // The balloon: 8, then each band placed with 27 16 at pixel 424.
  uint64_t picture = offsetOf(stream, "\x08\x1B\x10\xA8\x01");
  expectLine(lines, picture, "08", "bit image", "bit-image mode on, line pitch 14 px");
  expectLine(lines, picture + 1, "1B 10 A8 01", "pixel address", "head to x 424");
  EXPECT_EQ(lineAt(lines, picture + 5).name, "repeat column");
  EXPECT_EQ(lineAt(lines, picture + 8).name, "bit-image data");
  // The last line feed ejects the one page, at the end of the run.
  expectLine(lines, stream.size(), "", "page ejected", "page 1");
  std::string summary = summaryOf(listing);
  EXPECT_NE(summary.find("bytes read:  " + std::to_string(stream.size()) + "\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("pages:       1\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("   27  1B  pixel address "), std::string::npos) << summary;
  EXPECT_NE(summary.find("control bytes that are no command:\n  none\n"), std::string::npos) << summary;
}

// raw_showcase.prn, read with -raw: a carriage return alone ends each line, 16 t u
// is a character column, 17 the business set and 145 the graphic set, 27 16 hi lo a
// dot column; one line ends with a line feed alone.
TEST(StreamListing, RawShowcaseAsItsGeneratorDescribesIt) {
  FontDir dir;
  std::string stream = readFile(rawShowcase);
  std::vector<Line> lines = eventLines(listingOf(dir, {rawShowcase, "-raw"}));
  expectLine(lines, 0, "0D", "carriage return", "head to x 0, graphic set, paper up 21 px to y 21");
  expectLine(lines, 1, "10 32 35", "column position", "head to character column 25, x 300");
  expectLine(lines, 4, "0E", "double width", "double width on, text mode, line pitch 21 px");
  uint64_t feed = offsetOf(stream, "(10).\n") + 5;
  expectLine(lines, feed, "0A", "line feed", "head to x 0, paper up 21 px to y 126");
  uint64_t business = offsetOf(stream, ", \x11THEN") + 2;
  expectLine(lines, business, "11", "business set", "business set");
  expectLine(lines, offsetOf(stream, "\x91THEN"), "91", "graphic set", "graphic set");
  // The plot's first run of dots: dot column 16 (its axis), 27 16 0 16.
  expectLine(lines, offsetOf(stream, "\x1B\x10\x00\x10"), "1B 10 00 10", "dot address", "head to dot column 16, x 32");
}

// Codes that are no command are listed where they are, and the summary names each one
// with its count, its first offset and what it did; bit-image mode ignores them.
TEST(StreamListing, SummaryNamesEveryUnknownCode) {
  FontDir dir;
  // AB tab C, 1 and 133 (blank cells), 7 inside quotes, then bit-image mode: 9 and A
  // print nothing, 255 a column.
  std::string stream = "AB" + bytes({9}) + "C" + bytes({1, 133, 34, 7, 34, 13, 8, 9}) + "A" + bytes({255});
  std::string listing = listingOf(dir, {}, stream);
  std::vector<Line> lines = eventLines(listing);
  expectLine(lines, 0, "41 42", "text", "\"AB\" graphic set, single width, at x 0");
  expectLine(lines, 2, "09", "no command", "blank cell, head to x 36");
  expectLine(lines, 5, "85", "no command", "blank cell, head to x 72");
  expectLine(lines, 7, "07", "quoted code", "prints G reversed, inside quotes");
  expectLine(lines, 11, "09", "no command", "nothing: bit-image mode prints only bytes from 128");
  expectLine(lines, 12, "41", "ignored", "1 byte below 128: bit-image mode prints nothing for them");
  expectLine(lines, 13, "FF", "bit-image data", "1 column at x 0");
  EXPECT_NE(summaryOf(listing).find("control bytes that are no command:\n"
                                    "    1  01  1 time, first at offset 4: blank cell (1)\n"
                                    "    7  07  1 time, first at offset 7: shown reversed, inside quotes (1)\n"
                                    "    9  09  2 times, first at offset 2: blank cell (1), nothing, in bit-image mode (1)\n"
                                    "  133  85  1 time, first at offset 5: blank cell (1)\n"),
            std::string::npos)
      << listing;
  // A command cut by the end of the stream, and autofeeds and pages by number, on a
  // page one line high.
  std::string long_line(90, 'X');
  lines = eventLines(listingOf(dir, {"-height", "0.17"}, long_line + bytes({27, 16})));
  expectLine(lines, 80, "", "autofeed", "autofeed 1: a column past the right edge went to a new line");
  expectLine(lines, 90, "1B 10", "pixel address", "cut short by the end of the stream: dropped");
  EXPECT_EQ(lineAt(lines, 0).what, "\"" + std::string(80, 'X') + "\" graphic set, single width, at x 0");
  expectLine(lines, 80, "", "autofeed", "autofeed 1: a column past the right edge went to a new line");
  EXPECT_EQ(lineAt(lines, 80, "page ejected").what, "page 1");
  EXPECT_EQ(lineAt(lines, 80, "text").what, "\"" + std::string(10, 'X') + "\" graphic set, single width, at x 0");
}

// A line shows up to 8 bytes in hex; a ninth puts an ellipsis after the eighth, the
// name staying in its column either way.
TEST(StreamListing, EightBytesShownThenAnEllipsis) {
  FontDir dir;
  std::string stream = "ABCDEFG" + bytes({13}) + "ABCDEFGH" + bytes({13}) + "ABCDEFGHI" + bytes({13}) +
                       bytes({8}) + std::string(8, char(0x81)) + bytes({13}) + std::string(9, char(0x81));
  std::vector<Line> lines = eventLines(listingOf(dir, {}, stream));
  expectLine(lines, 0, "41 42 43 44 45 46 47", "text", "\"ABCDEFG\" graphic set, single width, at x 0");
  expectLine(lines, 8, "41 42 43 44 45 46 47 48", "text", "\"ABCDEFGH\" graphic set, single width, at x 0");
  expectLine(lines, 17, "41 42 43 44 45 46 47 48 ~", "text", "\"ABCDEFGHI\" graphic set, single width, at x 0");
  expectLine(lines, 28, "81 81 81 81 81 81 81 81", "bit-image data", "8 columns at x 0");
  expectLine(lines, 37, "81 81 81 81 81 81 81 81 ~", "bit-image data", "9 columns at x 0");
}

// A command whose bytes arrive in two reads of the stream is still one line.
TEST(StreamListing, CommandAcrossTwoReads) {
  FontDir dir;
  constexpr size_t readSize = 65536;  // the bytes the interpreter is fed at a time
  std::string stream = bytes({8}) + std::string(readSize - 3, 'A') + bytes({27, 16, 44, 1, 255});
  std::vector<Line> lines = eventLines(listingOf(dir, {}, stream));
  expectLine(lines, readSize - 2, "1B 10 2C 01", "pixel address", "head to x 300");
  expectLine(lines, readSize + 2, "FF", "bit-image data", "1 column at x 300");
}

// Pages, documents and messages are byte for byte the same with a listing as without,
// apart from the listing's own echo; -explain - lists onto standard output.
TEST(StreamListing, SamePagesWithAndWithoutIt) {
  struct Case {
    std::string input;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {showcase, {}}, {rawShowcase, {"-raw"}}, {stockListing, {"-business", "-threads", "2"}}, {showcase, {"-ascii"}}};
  for (const Case &run : cases) {
    FontDir plain, listed;
    std::vector<std::string> words = run.words;
    words.insert(words.end(), {run.input, "-out", "page", "-pdf", "run.pdf", "-text", "run.txt"});
    RunResult without = runTambrix(plain, words);
    words.insert(words.end(), {"-explain", "run.lst"});
    RunResult with = runTambrix(listed, words);
    EXPECT_EQ(with.status, 0);
    EXPECT_EQ(with.out, without.out.substr(0, without.out.find("page-001.png written")) + "Stream listing: run.lst.\n" +
                            without.out.substr(without.out.find("page-001.png written")))
        << with.out;
    EXPECT_EQ(with.err, without.err);
    std::vector<std::string> pages = pngFiles(plain);
    EXPECT_FALSE(pages.empty()) << run.input;
    EXPECT_EQ(pngFiles(listed), pages);
    for (const std::string &name : pages) EXPECT_TRUE(readFile(plain.file(name)) == readFile(listed.file(name))) << name;
    for (const char *name : {"run.pdf", "run.txt", "ribbon.dat"})
      EXPECT_TRUE(readFile(plain.file(name)) == readFile(listed.file(name))) << name;
    EXPECT_NE(readFile(listed.file("run.lst")).find("\nsummary\n"), std::string::npos);
  }
  FontDir dir;
  RunResult r = runTambrix(dir, {showcase, "-explain", "-", "-out", "p"});
  EXPECT_NE(r.out.find("Stream listing: standard output.\n"), std::string::npos);
  EXPECT_NE(r.out.find("        2  1B 10 F0 00                pixel address    head to x 240\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nsummary\nbytes read:  "), std::string::npos);
}

// A listing onto standard output whose reader goes away (`| head') is lost alone: the
// PDF and the transcript are written, the run ends well, and standard error says so.
// The listing is far longer than a pipe holds, so it cannot all fit before the reader
// is gone.
TEST(StreamListing, ClosedPipeLosesTheListingAlone) {
  FontDir dir;
  std::string stream;
  for (int i = 0; i < 40000; ++i) stream += "A" + bytes({27, 16, 0, 0});  // 80000 lines, 6 MB listed
  writeFile(dir.file("in.prn"), stream);
  std::string output = commandOutput("cd '" + dir.path + "' && ('" + TAMBRIX_BINARY +
                                     "' in.prn -pdf a.pdf -text a.txt -explain - 2>err.txt; echo $? >status.txt) "
                                     "| head -c 1");
  EXPECT_EQ(output.size(), 1u);
  EXPECT_EQ(readFile(dir.file("status.txt")), "0\n");
  EXPECT_EQ(readFile(dir.file("err.txt")), "Warning: tambrix: unable to write stream listing `-': Broken pipe\n");
  EXPECT_EQ(readFile(dir.file("a.pdf")).rfind("%PDF-", 0), 0u);
  // Read to its end, the same listing is whole, and says nothing on standard error; the
  // transcript is the same.
  RunResult r = runTambrix(dir, {"in.prn", "-pdf", "b.pdf", "-text", "b.txt", "-explain", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("\nsummary\nbytes read:  "), std::string::npos);
  EXPECT_TRUE(readFile(dir.file("a.txt")) == readFile(dir.file("b.txt")));
  EXPECT_EQ(readFile(dir.file("a.txt")).rfind("AAAA", 0), 0u);
}

// A run that printed nothing still writes its listing, which says why; a live job
// that printed nothing asks for none, and gets none.
TEST(StreamListing, WrittenWhenNothingPrintedUnlessAskedNotTo) {
  FontDir dir;
  RunResult r = runTambrix(dir, {"-explain", "e.lst", "-pdf", "e.pdf"}, bytes({13, 10}));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Input did not generate any output"), std::string::npos) << r.out;
  EXPECT_NE(readFile(dir.file("e.lst")).find("\nsummary\n"), std::string::npos);
  EXPECT_FALSE(fileExists(dir.file("e.pdf")));
  // The run sequence in this process, as the live capture runs a job: without the
  // listing of an empty job, and with it.
  char home[PATH_MAX];
  ASSERT_NE(getcwd(home, sizeof home), nullptr);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  for (bool whenEmpty : {false, true}) {
    RunSettings settings;
    settings.outputPrefix = "job";
    settings.threads = 1;
    settings.explainName = whenEmpty ? "full.lst" : "none.lst";
    settings.listingWhenEmpty = whenEmpty;
    auto printer = std::make_unique<Printer>();
    auto output = std::make_unique<Output>();
    beginPrinting(*printer, *output, settings, "", 0);
    endPrinting(*printer, *output, settings);
    EXPECT_EQ(fileExists(dir.file(settings.explainName)), whenEmpty) << settings.explainName;
  }
  EXPECT_EQ(chdir(home), 0);
  EXPECT_TRUE(pngFiles(dir).empty());
}

// The code chart prints every glyph; its transcript carries the symbols for legacy
// computing the font's graphics are drawn after.
TEST(Transcript, CodeChartHasTheLegacyComputingSymbols) {
  FontDir dir;
  RunResult r = runTambrix(dir, {"-test", "3", "-text", "chart.txt", "-out", "p"});
  ASSERT_EQ(r.status, 0) << r.out;
  std::string chart = readFile(dir.file("chart.txt"));
  const char *const symbols[] = {"🭰", "🭱", "🭲", "🭴", "🭵", "🭶", "🭷", "🭸", "🭺", "🭻", "🭼", "🭽", "🭾", "🭿",
                                 "🮂", "🮃", "🮇", "🮌", "🮏", "🮖", "🮘", "🮙"};
  unsigned found = 0;
  for (const char *symbol : symbols) found += chart.find(symbol) != std::string::npos;
  // 🭰 🭵 🭶 are drawn like block elements and give those; the other 19 are here.
  EXPECT_EQ(found, 19u) << chart;
  for (const char *symbol : {"🮏", "🮇", "🮂", "🮃", "🭿", "🮌", "🮖", "🮘", "🮙"})
    EXPECT_NE(chart.find(symbol), std::string::npos) << symbol;
}

// Plain text with tabs, a form feed and lines of every length up to 100 columns, ended
// by line feeds, carriage returns with line feeds and carriage returns alone, comes
// back as its transcript: the text with the tabs expanded and the long lines wrapped.
TEST(PlainText, RoundTripThroughTheTranscript) {
  // Every character the printer has, but the space (a space at a wrap would be trimmed
  // from the transcript's line).
  std::string alphabet;
  for (char c = 33; c < 127; ++c)
    if (std::string("\\^_`{|}~").find(c) == std::string::npos) alphabet += c;
  const char *const endings[] = {"\n", "\r\n", "\r"};
  std::vector<std::string> lines;
  for (size_t length = 0; length <= 100; ++length) {
    std::string line;
    for (size_t i = 0; i < length; ++i) line += alphabet[(length * 7 + i) % alphabet.size()];
    lines.push_back(line);
  }
  lines.push_back("a\tb\tc  d\t\te");
  lines.push_back("\tTabbed, UTF-8: \xC2\xA3 \xCF\x80 \xE2\x86\x91 \xE2\x86\x90 \xE2\x94\x8C\xE2\x94\x80\xE2\x94\x90 "
                  "\xE2\x99\xA0\xE2\x99\xA5 \xE2\x96\x92 \xF0\x9F\xAE\x8F");
  constexpr size_t pageBreak = 60;  // a form feed starts the line after this one
  std::string text, expected;
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i] + endings[i % 3];
    if (i == pageBreak) text += "\f";
    // The character of each column: tabs to the next multiple of 8, then 80 columns a
    // line, without trailing spaces.
    std::vector<std::string> cells;
    for (size_t at = 0; at < lines[i].size();) {
      unsigned char c = lines[i][at];
      size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      if (c == '\t')
        cells.resize((cells.size() / 8 + 1) * 8, " ");
      else
        cells.push_back(lines[i].substr(at, length));
      at += length;
    }
    expected += wrappedLines(cells, 80);
    if (i == pageBreak) expected += "\f";
  }
  FontDir dir;
  writeFile(dir.file("notes.txt"), text);
  RunResult r = runTambrix(dir, {"notes.txt", "-ascii", "-height", "100", "-text", "notes.out", "-out", "p"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(pngFiles(dir).size(), 2u);
  EXPECT_EQ(readFile(dir.file("notes.out")), expected);
  EXPECT_EQ(r.out.find("no glyph"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  // Characters the printer lacks print as a reversed question mark, counted once; a
  // byte that is no UTF-8 is the printer's own code in the business set (193: A).
  r = runTambrix(dir, {"-ascii", "-text", "odd.out", "-out", "q"}, "a\\b~\xC3\xA9 \xC1\n");
  EXPECT_NE(r.out.find("3 characters have no glyph: each printed as a reversed question mark.\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(readFile(dir.file("odd.out")), "a?b?? A\n");
  // Three-byte sequences start at U+0800, E0 A0 80: one character (one without a glyph
  // here). E0 9F BF, below it, is an overlong form: three printer codes.
  r = runTambrix(dir, {"-ascii", "-text", "wide.out", "-explain", "wide.lst", "-out", "w"},
                 "\xE0\xA0\x80/\xE0\xBF\xBF/\xE0\x9F\xBF\n");
  EXPECT_NE(r.out.find("\n2 characters have no glyph"), std::string::npos) << r.out;
  std::string wide = readFile(dir.file("wide.out"));
  EXPECT_EQ(wide.substr(0, 4), "?/?/") << wide;
  std::vector<Line> listed = eventLines(readFile(dir.file("wide.lst")));
  expectLine(listed, 0, "E0 A0 80", "no glyph", "U+0800 has no glyph: a reversed ? printed");
  expectLine(listed, 4, "E0 BF BF", "no glyph", "U+0FFF has no glyph: a reversed ? printed");
  expectLine(listed, 9, "9F", "no command", "not UTF-8, taken as a printer code: blank cell");
}

// A hint on standard error for a stream that clearly looks like a raw stream or plain
// text, repeated in the listing; none for a stream read the way it fits, nor for the
// samples.
TEST(Hints, NameTheOptionThatFits) {
  std::string raw, text, graphics, threeReturns, fourReturns;
  for (int i = 1; i <= 8; ++i) raw += "LINE " + std::to_string(i) + " OF A PROGRAM'S OUTPUT\r";
  // Many carriage returns are four: three overprinted lines are a layout.
  for (int i = 1; i <= 3; ++i) threeReturns += "LINE " + std::to_string(i) + "\r";
  fourReturns = threeReturns + "LINE 4\r";
  for (int i = 1; i <= 8; ++i) text += "the quick brown fox jumps over the lazy dog, line " + std::to_string(i) + "\n";
  // Graphics between small letters (line graphics in the graphic set) are no text.
  for (int i = 1; i <= 8; ++i) graphics += "abc\xA1\xA2\xA3" "def\xB0\xB1\xB2" "ghi\xA4\xA5\xA6" "xyz\r\n";
  // A printer test written on a computer of today: its control codes, and its words in
  // small letters, which the graphic set prints as graphics; or in capitals. A stream
  // that selects the business set itself, 145 in a text-mode file and 17 in a raw
  // stream, knows its sets.
  std::string small, capitals;
  for (int i = 1; i <= 3; ++i) {
    small += bytes({14}) + "printer test " + std::to_string(i) + bytes({15, 13, 10}) +
             "double width above, then a bit image:" + bytes({8, 0xFF, 0x81, 0xFF, 15, 13, 10});
    capitals += bytes({14}) + "PRINTER test " + std::to_string(i) + bytes({15, 13, 10}) +
                "DOUBLE WIDTH ABOVE, THEN A BIT IMAGE:" + bytes({8, 0xFF, 0x81, 0xFF, 15, 13, 10});
  }
  // Just past a half of the letters small, and just a half.
  std::string mostlySmall = bytes({14}) + std::string(20, 'a') + std::string(19, 'A') + bytes({15, 13, 10});
  std::string halfSmall = bytes({14}) + std::string(20, 'a') + std::string(20, 'A') + bytes({15, 13, 10});
  std::string fewSmall = bytes({14}) + std::string(19, 'a') + bytes({15, 13, 10});
  const std::string rawHint = "Try -raw.\n", textHint = "Try -ascii. If an emulator printed it, set its printer output to raw: its text conversion drops the printer's codes.\n", businessHint = "Try -business.\n";
  struct Case {
    std::string input;
    std::vector<std::string> words;
    std::string hint;  // empty: none
  };
  const Case cases[] = {
      {raw, {}, rawHint},       {raw, {"-raw"}, ""},      {text, {}, textHint},          {text, {"-raw"}, textHint},
      {text, {"-ascii"}, ""},   {text, {"-raw", "-business"}, ""},                       {"", {showcase}, ""},
      {"", {stockListing}, ""}, {"", {rawShowcase, "-raw"}, ""}, {graphics, {}, ""},
      {threeReturns, {}, ""},   {fourReturns, {}, rawHint},
      {small, {}, businessHint},                {small, {"-raw"}, businessHint},
      {small, {"-business"}, ""},               {small, {"-raw", "-business"}, ""},
      {bytes({145}) + small, {}, ""},           {bytes({17}) + small, {"-raw"}, ""},
      {bytes({17}) + small, {}, businessHint},  {capitals, {}, ""},
      {mostlySmall, {}, businessHint},          {halfSmall, {}, ""},   {fewSmall, {}, ""},
  };
  for (const Case &run : cases) {
    std::string trace = run.input.substr(0, 24) + (run.words.empty() ? "" : " " + run.words[0]);
    expectHint(run.input, run.words, run.hint, trace);
  }
}

// A stream made for the ESC/P printer, printed on the MPS801: five of that printer's
// escape sequences and not one 27 16 name -printer escp, before the other hints; four
// are too few. The byte after 27 is its command byte, even when it is 27 too. Counted a
// read at a time, a sequence split between two reads is still one.
TEST(Hints, NameTheEscpPrinter) {
  auto escape = [](char command) { return bytes({27, command}); };
  // Reset, then bold, elite pitch, double strike, 1/8-inch lines: five sequences.
  const std::string four = escape('@') + escape('E') + "PRINTER TEST" + escape('F') + "\r\n" + escape('M') + "ELITE\r\n";
  const std::string five = four + escape('0') + "EIGHT LINES AN INCH\r\n";
  // The same with carriage returns alone, which read as a text-mode file also look raw.
  std::string fourReturns, fiveReturns;
  for (int i = 1; i <= 8; ++i) fourReturns += "LINE " + std::to_string(i) + " OF A PROGRAM'S OUTPUT\r";
  fourReturns = escape('@') + escape('E') + escape('F') + escape('M') + fourReturns;
  fiveReturns = escape('0') + fourReturns;
  const std::string dotAddress = bytes({27, 16, 0, 40});
  const std::string escpHint = "Try -printer escp.\n", rawHint = "Try -raw.\n";
  struct Case {
    std::string input;
    std::vector<std::string> words;
    std::string hint;  // empty: none
  };
  const Case cases[] = {
      {five, {}, escpHint},
      {five, {"-raw"}, escpHint},
      {four, {}, ""},
      {four, {"-raw"}, ""},
      {five + dotAddress, {}, ""},
      {dotAddress + five, {"-raw"}, ""},
      {fiveReturns, {}, escpHint},
      {fourReturns, {}, rawHint},
      // 27 27 64: the second 27 is the command, and 64 prints; 27 27 27 64 ends in a reset.
      {four + bytes({27, 27, '@'}), {}, ""},
      {four + bytes({27, 27, 27, '@'}), {}, escpHint},
  };
  for (const Case &run : cases) {
    std::string trace = std::to_string(&run - cases) + (run.words.empty() ? "" : " " + run.words[0]);
    expectHint(run.input, run.words, run.hint, trace);
  }

  // In the program, counted a read at a time: cut anywhere, even between a 27 and its
  // command or between 27 27 and what follows, the count is the same.
  RunSettings settings;
  StreamStatistics statistics;
  const std::string stream = five + bytes({27, 27, '@', 27, 27, 27, 'E'});
  const uint8_t *data = reinterpret_cast<const uint8_t *>(stream.data());
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    resetStreamStatistics(statistics);
    countStreamBytes(statistics, data, cut);
    countStreamBytes(statistics, data + cut, stream.size() - cut);
    EXPECT_EQ(statistics.escpEscapes, 6u) << "cut at " << cut;
    EXPECT_EQ(statistics.mps801Escapes, 0u) << "cut at " << cut;
    EXPECT_EQ(streamHint(statistics, settings, true), StreamHint::Escp) << "cut at " << cut;
  }
  // A 27 16 split between reads is the MPS801's, and holds the hint back.
  resetStreamStatistics(statistics);
  countStreamBytes(statistics, data, five.size());
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>(dotAddress.data()), 1);
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>(dotAddress.data()) + 1, dotAddress.size() - 1);
  EXPECT_EQ(statistics.mps801Escapes, 1u);
  EXPECT_EQ(streamHint(statistics, settings, true), StreamHint::None);
  // A new stream does not take its first byte as the command of the last 27 before.
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>("\x1B"), 1);
  resetStreamStatistics(statistics);
  countStreamBytes(statistics, reinterpret_cast<const uint8_t *>("@"), 1);
  EXPECT_EQ(statistics.escpEscapes, 0u);
}
