// Endless paper: each job on one continuous sheet, as tall as the paper moved, read
// back with a PNG decoder of its own (the image library's policy may refuse sheets
// this tall), and checked with pngcheck where it is installed.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "run_support.h"

namespace {

constexpr double patience = 180;  // seconds a live run may take before the test fails

// A sheet or page read back as 8-bit RGB, with the file's own header.
struct Sheet {
  unsigned width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
  std::vector<uint8_t> rgb;
  const uint8_t *row(unsigned y) const { return rgb.data() + size_t(y) * width * 3; }
};

// Decodes the PNG file into sheet; false when the decoder refuses it. The file is
// closed by the caller, away from the decoder's jump back.
bool decodeSheet(FILE *file, Sheet &sheet) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_user_limits(png, 1u << 20, 1u << 20);
  png_init_io(png, file);
  png_read_info(png, info);
  sheet.width = png_get_image_width(png, info);
  sheet.height = png_get_image_height(png, info);
  sheet.bitDepth = png_get_bit_depth(png, info);
  sheet.colourType = png_get_color_type(png, info);
  png_set_expand(png);
  png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  sheet.rgb.resize(size_t(sheet.width) * sheet.height * 3);
  for (unsigned y = 0; y < sheet.height; ++y) png_read_row(png, sheet.rgb.data() + size_t(y) * sheet.width * 3, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

Sheet readSheet(const std::string &path) {
  Sheet sheet;
  FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    ADD_FAILURE() << "no file " << path;
    return sheet;
  }
  bool decoded = decodeSheet(file, sheet);
  std::fclose(file);
  if (decoded) return sheet;
  ADD_FAILURE() << "the decoder refused " << path;
  return Sheet();
}

// pngcheck's verdict on the file: empty when it finds no fault or is not installed.
std::string pngcheckFaults(const std::string &path) {
  if (commandOutput("command -v pngcheck").empty()) return std::string();
  std::string said = commandOutput("pngcheck -q '" + path + "' 2>&1; echo status $?");
  return said == "status 0\n" ? std::string() : said;
}

// The pages read back one below the other, cut after rows rows.
Sheet stacked(const std::vector<std::string> &pages, unsigned rows) {
  Sheet all;
  for (const std::string &path : pages) {
    Sheet page = readSheet(path);
    all.width = page.width;
    all.rgb.insert(all.rgb.end(), page.rgb.begin(), page.rgb.end());
    all.height += page.height;
  }
  if (rows < all.height) {
    all.rgb.resize(size_t(rows) * all.width * 3);
    all.height = rows;
  }
  return all;
}

// The first row where two sheets differ, or -1.
long firstDifferentRow(const Sheet &a, const Sheet &b) {
  for (unsigned y = 0; y < std::min(a.height, b.height); ++y)
    if (std::memcmp(a.row(y), b.row(y), size_t(a.width) * 3) != 0) return long(y);
  return a.height == b.height ? -1 : long(std::min(a.height, b.height));
}

// A banner in bit image: lines of 480 columns whose pattern changes from line to line,
// each line 14 pixels, fed by return and line feed.
std::string banner(unsigned lines) {
  std::string stream = bytes({8});
  for (unsigned line = 0; line < lines; ++line) {
    for (unsigned column = 0; column < 480; ++column)
      stream += char(0x80 | ((column / 40 + line / 6) % 3 == 0 ? 0x7F : (column + line) % 9 == 0 ? 0x41 : 0));
    stream += "\r\n";
  }
  return stream;
}

// Whether the sheet's rows from top up to end are all white.
bool whiteRows(const Sheet &sheet, unsigned top, unsigned end) {
  for (unsigned y = top; y < end; ++y)
    for (size_t i = 0; i < size_t(sheet.width) * 3; ++i)
      if (sheet.row(y)[i] != 255) return false;
  return true;
}

// The page files of a paged run with prefix, in order: prefix-001.png, prefix-002.png ...
std::vector<std::string> pagesOf(const TempDir &dir, const std::string &prefix) {
  std::vector<std::string> pages;
  for (const std::string &name : pngFiles(dir))
    if (name.compare(0, prefix.size() + 1, prefix + "-") == 0) pages.push_back(dir.file(name));
  return pages;
}

// The words with more after them.
std::vector<std::string> withWords(std::vector<std::string> words, const std::vector<std::string> &more) {
  words.insert(words.end(), more.begin(), more.end());
  return words;
}

// Removes the page files a case wrote, before the next case.
void removePages(const TempDir &dir) {
  for (const std::string &name : pngFiles(dir)) std::remove(dir.file(name).c_str());
}

// An ESC/P stream of one-inch forms (ESC C 0 1: 240 pixels) whose last line stands
// 200/216 inch down the first form: a row of bit image firing pins 1 to 8, whose lower
// dots go over the foot and are struck again at the top of the second form. The
// stream ends there, with no feed.
std::string lineOverTheFoot() {
  std::string stream = bytes({27, 'C', 0, 1}) + "TOP\r" + bytes({27, 'J', 200, 27, 'K', 60, 0});
  stream.append(60, char(0xFF));
  return stream;
}

// The rows of the second one-inch form the sheet of lineOverTheFoot keeps: the head's
// lowest pin, 8 x 3/216 inch below the line's top, stands 224 - 216 = 8/216 inch down
// the second form, 8.9 pixels at 240 an inch: its dot (4 pixels) starts on row 9.
constexpr unsigned rowsBelowTheFoot = 9 + 4;

}  // namespace

// Each job comes out as one sheet that is the pages of the same stream stacked in order,
// pixel for pixel, cut where the paper stopped: below the head's lowest pin, as the
// head stands on the last form, or after the last form a form feed ejected. The
// transcript and the stream listing are those of the paged run: a form feed between
// forms, and the same pages told. Cases: banners over several forms as painted (black
// and white) and on paper; in ink, where the cut row is scaled from the mechanism's
// rows (126 an inch for the MPS801, 240 for ESC/P) to the ink's and rounded down the
// page; text over forms; the test sheets; ESC/P forms with a blank one between, on
// paper, and a last line over a form's foot, whose carried dots the sheet keeps.
TEST(EndlessPaper, ASheetIsItsPagesStackedAndCutWhereThePaperStopped) {
  TempDir dir;
  writeRom(dir, testRom());
  writeEscpFont(dir);
  // 300 lines of 14 rows: two full 1512-row forms (108 lines each), and the head 84
  // lines down the third, its 7 pins 14 rows more.
  writeFile(dir.file("banner.prn"), banner(300));
  // 120 lines, and text on the last: the head 12 lines down the second form, 182 of 1512.
  writeFile(dir.file("banner120.prn"), banner(120) + "TEXT\r");
  std::string lines, escpLines, paperLines;
  for (unsigned line = 1; line <= 100; ++line) lines += "LINE " + std::to_string(line) + "\n";
  for (unsigned line = 1; line <= 80; ++line) escpLines += "LINE " + std::to_string(line) + "\r\n";
  for (unsigned line = 1; line <= 30; ++line) paperLines += "LINE " + std::to_string(line) + "\r\n";
  // 72 lines to a form: three forms, the last ejected by the form feed at the end.
  writeFile(dir.file("text.txt"), lines + "\fEND\n\f");
  // ESC/P: a line, a form feed and a line at the top of the second form: the head's
  // lowest pin 24/216 inch down, 26.7 rows at 240 an inch, its dot 4 rows: 31 of 2640.
  writeFile(dir.file("escp.prn"), "TOP\r\n\fBOTTOM");
  // A blank page, then 80 lines at 1/6 inch (40 rows), 66 to a page: the head 15 lines
  // down the fourth page.
  writeFile(dir.file("escp-lines.prn"), "TOP\r\n\f\fBOTTOM\r\n" + escpLines);
  // Three-inch forms (ESC C 0 3, 720 rows): a line, a blank form, then 30 lines: 18 fill
  // the third form and the head ends 12 lines down the fourth.
  writeFile(dir.file("forms.prn"), bytes({27, 'C', 0, 3}) + "TOP\r\n\f\f" + paperLines);
  writeFile(dir.file("foot.prn"), lineOverTheFoot());
  writeFile(dir.file("foot-letters.prn"), lineOverTheFoot() + "\rgjpq");  // letters on the line too
  const std::vector<std::string> escp = {"-raw", "-printer", "escp"};
  struct Case {
    const char *name;
    std::vector<std::string> words;
    unsigned pages;   // of the paged run
    unsigned height;  // of the sheet
    unsigned width;   // of the sheet and its pages; 0: the look's
    unsigned form;    // rows of a form where the case says; 0: not checked
  };
  constexpr unsigned escpPaper = 2280;  // 9.5 inches at 240 pixels an inch
  const Case cases[] = {
      {"banner", {"banner.prn"}, 3, 2 * 1512 + 84 * 14 + 14, 960, 1512},
      {"banner on paper", {"banner.prn", "-paper", "plain"}, 3, 2 * 1512 + 84 * 14 + 14, 1140, 1512},
      {"banner with text", {"banner120.prn"}, 2, 1512 + 182, 960, 0},
      {"banner in ink at 100 dpi", {"banner120.prn", "-look", "ink", "-dpi", "100"}, 2, 1200 + (182 * 1200 + 1511) / 1512, 0, 1200},
      {"banner in ink", {"banner120.prn", "-look", "ink"}, 2, 3600 + (182 * 3600 + 1511) / 1512, 0, 3600},
      {"text", {"text.txt", "-ascii"}, 3, 3 * 1512, 960, 0},
      {"glyph list", {"-test", "2"}, 5, 4 * 1512 + 40 * 21 + 14, 960, 0},  // 328 lines of 21 rows
      {"ESC/P chart", {"-test", "1", "-printer", "escp"}, 1, 2640, 1920, 0},  // its last form feed is not kept
      {"ESC/P in ink", withWords({"escp.prn"}, withWords(escp, {"-look", "ink", "-dpi", "100"})), 2,
       1100 + (31 * 1100 + 2639) / 2640, 0, 1100},
      {"ESC/P lines", withWords({"escp-lines.prn"}, escp), 4, 3 * 2640 + 15 * 40 + 27 + 4, 1920, 2640},
      {"ESC/P forms on plain paper", withWords({"forms.prn", "-paper", "plain"}, escp), 4, 3 * 720 + 12 * 40 + 27 + 4,
       escpPaper, 720},
      {"ESC/P forms on green-bar paper", withWords({"forms.prn", "-paper", "greenbar"}, escp), 4,
       3 * 720 + 12 * 40 + 27 + 4, escpPaper, 720},
      {"ESC/P line over the foot", withWords({"foot.prn"}, escp), 2, 240 + rowsBelowTheFoot, 1920, 240},
      {"ESC/P line over the foot on paper", withWords({"foot.prn", "-paper", "greenbar"}, escp), 2,
       240 + rowsBelowTheFoot, escpPaper, 240},
      {"ESC/P letters over the foot", withWords({"foot-letters.prn"}, escp), 2, 240 + rowsBelowTheFoot, 1920, 240},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    RunResult paged = runTambrix(dir, withWords(c.words, {"-out", "page", "-text", "page.txt", "-explain", "page.lst"}));
    ASSERT_EQ(paged.status, 0) << paged.err;
    RunResult endless = runTambrix(
        dir, withWords(c.words, {"-out", "sheet", "-text", "sheet.txt", "-explain", "sheet.lst", "-endless"}));
    ASSERT_EQ(endless.status, 0) << endless.err;
    EXPECT_NE(endless.out.find("sheet-001.png written.\n"), std::string::npos) << endless.out;
    EXPECT_EQ(pagesOf(dir, "sheet"), std::vector<std::string>{dir.file("sheet-001.png")});
    std::vector<std::string> pages = pagesOf(dir, "page");
    ASSERT_EQ(pages.size(), c.pages);
    Sheet page = readSheet(pages[0]), sheet = readSheet(dir.file("sheet-001.png"));
    if (c.form != 0) {
      EXPECT_EQ(page.height, c.form);
    }
    if (c.width != 0) {
      EXPECT_EQ(sheet.width, c.width);
    }
    EXPECT_EQ(sheet.width, page.width);
    EXPECT_EQ(sheet.height, c.height);
    EXPECT_EQ(firstDifferentRow(sheet, stacked(pages, c.height)), -1);
    EXPECT_EQ(pngcheckFaults(dir.file("sheet-001.png")), "");
    std::string transcript = readFile(dir.file("page.txt"));
    EXPECT_EQ(size_t(std::count(transcript.begin(), transcript.end(), '\f')), c.pages - 1);
    EXPECT_EQ(readFile(dir.file("sheet.txt")), transcript);
    std::string listing = readFile(dir.file("page.lst"));
    if (c.words[0] != "-test" && c.pages > 1) {
      EXPECT_NE(listing.find("page ejected"), std::string::npos);
    }
    EXPECT_EQ(readFile(dir.file("sheet.lst")), listing);
    if (std::string(c.name) == "banner") {
      EXPECT_EQ(sheet.bitDepth, 1);  // black and white, as the pages are
      EXPECT_EQ(sheet.colourType, PNG_COLOR_TYPE_GRAY);
    }
    if (std::string(c.name) == "ESC/P line over the foot" && sheet.height == c.height) {
      EXPECT_FALSE(whiteRows(sheet, 240, 240 + 9));          // the carried dots of pins 6 to 8
      EXPECT_TRUE(whiteRows(sheet, 240 + 9, sheet.height));  // pin 9's place, which did not fire
    }
    removePages(dir);
  }
}

// A form feed still goes to the next form, and a blank form between forms with ink
// stays on the sheet; blank paper after the last ink is not kept. The same for the
// ESC/P printer, whose forms are 11 inches at 240 pixels an inch.
TEST(EndlessPaper, FormFeedsMoveToTheNextFormAndBlankFormsStay) {
  TempDir dir;
  writeRom(dir, testRom());
  writeEscpFont(dir);
  // Plain text: a line, two form feeds, a line, then a form feed at the end.
  writeFile(dir.file("text.txt"), "FIRST\n\f\fLAST\n\f");
  RunResult r = runTambrix(dir, {"text.txt", "-ascii", "-out", "mps", "-endless"});
  ASSERT_EQ(r.status, 0) << r.err;
  Sheet sheet = readSheet(dir.file("mps-001.png"));
  // Three whole forms of 1512 pixels: the last form feed moved the paper on to a fourth,
  // blank form, which is not kept.
  EXPECT_EQ(sheet.height, 3 * 1512u);
  EXPECT_FALSE(whiteRows(sheet, 0, 14));
  EXPECT_TRUE(whiteRows(sheet, 1512, 2 * 1512));  // the blank form between
  EXPECT_FALSE(whiteRows(sheet, 2 * 1512, 2 * 1512 + 14));
  EXPECT_EQ(pngcheckFaults(dir.file("mps-001.png")), "");

  // ESC/P: a line, a form feed, a line and no feed after it: the second form is cut
  // below the head's lowest pin.
  writeFile(dir.file("escp.prn"), "TOP\r\n\fBOTTOM");
  r = runTambrix(dir, {"escp.prn", "-raw", "-printer", "escp", "-out", "escp", "-endless"});
  ASSERT_EQ(r.status, 0) << r.err;
  sheet = readSheet(dir.file("escp-001.png"));
  EXPECT_EQ(sheet.width, 1920u);
  EXPECT_GT(sheet.height, 2640u);
  EXPECT_LT(sheet.height, 2640u + 40u);  // a line of 9 pins, 1/8 inch
  EXPECT_FALSE(whiteRows(sheet, 2640, sheet.height));
  EXPECT_FALSE(fileExists(dir.file("escp-002.png")));
}

// A live capture gives each job its own sheet, named as its first page would be.
TEST(EndlessPaper, ThreeLiveJobsGiveThreeSheets) {
  TempDir dir;
  writeRom(dir, testRom());
  BackgroundRun run = startTambrix(dir, {"-listen", "0", "-out", "p", "-endless"}, false);
  ASSERT_TRUE(waitForOutput(run, "Listening on 127.0.0.1:", patience));
  std::string out = outputSoFar(run);
  const std::string said = "Listening on 127.0.0.1:";
  unsigned port = unsigned(std::stoul(out.substr(out.find(said) + said.size())));
  const std::string jobs[3] = {"ONE\r\n", banner(120), "THREE\r\n\r\nLINES\r\n"};
  for (const std::string &job : jobs) {
    int connection = connectLoopback(port);
    ASSERT_GE(connection, 0);
    ASSERT_TRUE(writeAll(connection, job));
    close(connection);
  }
  EXPECT_TRUE(waitForOutput(run, "Job 3:", patience));
  kill(run.pid, SIGINT);
  RunResult r = finishTambrix(run, patience);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pngFiles(dir), (std::vector<std::string>{"p-001-001.png", "p-002-001.png", "p-003-001.png"}));
  EXPECT_NE(r.out.find("Job 1: one sheet of 1 form.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Job 2: one sheet of 2 forms.\n"), std::string::npos) << r.out;
  // One text line of 21 pixels and the head's 14 below it; a banner of 120 lines over two
  // forms; three lines.
  EXPECT_EQ(readSheet(dir.file("p-001-001.png")).height, 21u + 14u);
  EXPECT_EQ(readSheet(dir.file("p-002-001.png")).height, 1512u + 12 * 14u + 14u);
  EXPECT_EQ(readSheet(dir.file("p-003-001.png")).height, 3 * 21u + 14u);
}

// The PDF gets one page per job, split between forms where the next form would make
// the page taller than a PDF page may be: 200 inches (16 of the MPS801's 12-inch forms as
// painted), or 32,767 pixels of image (13 forms in ink at 200 pixels an inch). Each page
// shows the sheet's rows, with the forms' text where it was printed.
TEST(EndlessPaper, ThePdfGetsOnePagePerJobSplitBetweenForms) {
  TempDir dir;
  writeRom(dir, testRom());
  std::string text = "FIRST\n";
  for (unsigned form = 1; form <= 20; ++form) text += "\fFORM " + std::to_string(form) + "\n";
  writeFile(dir.file("forms.txt"), text);
  RunResult r = runTambrix(dir, {"forms.txt", "-ascii", "-endless", "-pdf", "forms.pdf", "-out", "sheet"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Page 2 added to forms.pdf.\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Page 3 added"), std::string::npos) << r.out;
  Sheet sheet = readSheet(dir.file("sheet-001.png"));
  constexpr unsigned form = 1512, formsOnFirst = 16;
  ASSERT_GT(sheet.height, 20 * form);
  std::string info = commandOutput("pdfinfo -f 1 -l 2 '" + dir.file("forms.pdf") + "'");
  EXPECT_NE(info.find("Pages:           2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    1 size:  576 x 13824 pts"), std::string::npos) << info;  // 16 forms of 864 points
  // The second page's image is the rest of the sheet, row for row.
  ASSERT_EQ(std::system(("pdfimages -png -f 2 -l 2 '" + dir.file("forms.pdf") + "' '" + dir.file("second") + "'").c_str()), 0);
  Sheet second = readSheet(dir.file("second-000.png"));
  Sheet rest = sheet;
  rest.rgb.erase(rest.rgb.begin(), rest.rgb.begin() + long(size_t(formsOnFirst) * form * sheet.width * 3));
  rest.height -= formsOnFirst * form;
  EXPECT_EQ(second.height, rest.height);
  EXPECT_EQ(firstDifferentRow(second, rest), -1);
  // The text: each form's line at its form's top, the first page ending with form 15.
  std::string first = commandOutput("pdftotext -f 1 -l 1 '" + dir.file("forms.pdf") + "' -");
  std::string last = commandOutput("pdftotext -f 2 -l 2 '" + dir.file("forms.pdf") + "' -");
  EXPECT_NE(first.find("FORM 15"), std::string::npos);
  EXPECT_EQ(first.find("FORM 16"), std::string::npos);
  EXPECT_EQ(last.find("FORM 16"), 0u) << last;
  EXPECT_NE(last.find("FORM 20"), std::string::npos);
  std::string boxes = commandOutput("pdftotext -bbox -f 1 -l 1 '" + dir.file("forms.pdf") + "' -");
  auto topOf = [&boxes](const std::string &word, size_t from) {
    size_t end = boxes.find(">" + word + "<", from);
    size_t at = boxes.rfind("yMin=\"", end);
    return end == std::string::npos ? -1.0 : std::stod(boxes.substr(at + 6));
  };
  double firstTop = topOf("FIRST", 0);
  EXPECT_NEAR(topOf("3", boxes.find(">FORM<", boxes.find(">2<"))) - firstTop, 3 * 864.0, 0.5);

  // In ink at 200 pixels an inch, a form is 2,400 rows: 13 of them fit in 32,767.
  text = "FIRST\n";
  for (unsigned form = 1; form <= 14; ++form) text += "\fFORM " + std::to_string(form) + "\n";
  writeFile(dir.file("ink.txt"), text);
  r = runTambrix(dir, {"ink.txt", "-ascii", "-endless", "-pdf", "ink.pdf", "-look", "ink", "-dpi", "200"});
  ASSERT_EQ(r.status, 0) << r.err;
  info = commandOutput("pdfinfo -f 1 -l 2 '" + dir.file("ink.pdf") + "'");
  EXPECT_NE(info.find("Pages:           2\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    1 size:  576 x 11232 pts"), std::string::npos) << info;  // 13 forms
  EXPECT_EQ(commandOutput("pdftotext -f 2 -l 2 '" + dir.file("ink.pdf") + "' -").find("FORM 13"), 0u);
}

