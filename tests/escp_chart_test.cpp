// The ESC/P printer's character chart (-printer escp -test n): the real program in a
// fresh folder with the font, its transcript read back row by row. Every code of each
// table is printed under its label with the character the table gives it, and the
// input after the chart starts on a page of its own, at the power-on settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "escp/escp_printer.h"
#include "run_support.h"

namespace {

constexpr unsigned rowCodes = 16;
constexpr size_t labelLength = 6;     // "80 128"
constexpr size_t setLabelLength = 18;  // " 0 USA" and the room after it

// The UTF-8 text as characters.
std::u32string decode(const std::string &text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    unsigned length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (unsigned k = 1; k < length && i + k < text.size(); ++k) c = c << 6 | (text[i + k] & 0x3F);
    out += c;
    i += length;
  }
  return out;
}

std::u32string ascii(const std::string &text) { return std::u32string(text.begin(), text.end()); }

std::vector<std::u32string> lines(const std::u32string &text) {
  std::vector<std::u32string> out(1);
  for (char32_t c : text) {
    if (c == U'\n')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// A table row as the chart prints it, from its label on: the first code in hex and
// decimal, then each code's character after a space.
std::u32string tableRow(unsigned first, const char32_t (&characters)[rowCodes]) {
  char label[16];
  std::snprintf(label, sizeof label, "%02X %3u", first, first);
  std::u32string row = ascii(label);
  for (char32_t c : characters) row += std::u32string{U' ', c};
  return row;
}

// Every table row the chart prints, in order: the roman 32-127 beside the italic
// table's 160-255, the graphics table in both faces, and the national letters of ESC 6.
std::vector<std::u32string> expectedRows() {
  std::vector<std::u32string> rows;
  char32_t characters[rowCodes];
  for (unsigned first = 32; first < 128; first += rowCodes) {
    for (unsigned i = 0; i < rowCodes; ++i) characters[i] = first + i == 127 ? U' ' : char32_t(first + i);
    rows.push_back(tableRow(first, characters));
    rows.push_back(tableRow(first + 128, characters));  // 255 prints a blank, as DEL's place does
  }
  for (unsigned first = 128; first < 256; first += rowCodes) {
    for (unsigned i = 0; i < rowCodes; ++i) characters[i] = escpGraphicsTable[first - 128 + i];
    rows.push_back(tableRow(first, characters));
    rows.push_back(tableRow(first, characters));
  }
  for (unsigned first = 128; first < 160; first += rowCodes) {
    for (unsigned i = 0; i < rowCodes; ++i) characters[i] = escpUpperNational[first - 128 + i];
    rows.push_back(tableRow(first, characters));
  }
  return rows;
}

// The table rows of the transcript, in order: each place a line holds a label of two
// hex digits and a three-digit decimal code of the same value, with its row after it.
std::vector<std::u32string> transcriptRows(const std::vector<std::u32string> &text) {
  std::vector<std::u32string> rows;
  const size_t rowLength = labelLength + 2 * rowCodes;
  for (const std::u32string &line : text)
    for (size_t at = 0; at + labelLength <= line.size(); ++at) {
      std::string label;
      for (size_t i = 0; i < labelLength; ++i) label += line[at + i] < 0x80 ? char(line[at + i]) : '?';
      unsigned hex = 0, decimal = 0;
      char digits[8];
      if (std::sscanf(label.c_str(), "%2X %3u", &hex, &decimal) != 2 || hex != decimal || hex < 32) continue;
      if (std::snprintf(digits, sizeof digits, "%02X %3u", hex, hex) != int(labelLength) || label != digits) continue;
      std::u32string row = line.substr(at, rowLength);
      row.resize(rowLength, U' ');  // the transcript leaves off the blanks at a line's end
      rows.push_back(row);
      at += rowLength - 1;
    }
  return rows;
}

// The printer's font in the folder, where the program looks for it first.
void chartFolderSetup(const TempDir &dir) {
  std::filesystem::create_directories(dir.file("PRINTER"));
  writeFile(dir.file("PRINTER/escp.fake"), readFile(SOURCE_DIR "/PRINTER/escp.fake"));
}

// Each table row holds the character its table gives each code, under the code's
// label; each international set its twelve characters at the codes it replaces, roman
// and italic; and every character of every table is somewhere in the transcript.
TEST(EscpChart, TranscriptHoldsEveryTableUnderItsLabels) {
  TempDir dir;
  chartFolderSetup(dir);
  RunResult run = runTambrix(dir, {"-printer", "escp", "-test", "1", "-text", "chart.txt", "-out", "chart"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(pngFiles(dir).size(), 1u) << "the chart is one page";
  std::u32string text = decode(readFile(dir.file("chart.txt")));
  std::vector<std::u32string> textLines = lines(text);

  std::vector<std::u32string> expected = expectedRows(), found = transcriptRows(textLines);
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(found[i], expected[i]) << "table row " << i;

  for (unsigned set = 0; set < escpSets; ++set) {
    char label[8];
    std::snprintf(label, sizeof label, "%2u ", set);
    const std::u32string *row = nullptr;
    for (const std::u32string &line : textLines)
      if (line.compare(0, 3, ascii(label)) == 0 && line.size() > setLabelLength) row = &line;
    ASSERT_NE(row, nullptr) << "set " << set;
    for (unsigned i = 0; i < 12; ++i) {
      size_t roman = setLabelLength + 3 * i + 1, italic = setLabelLength + 3 * 12 + 2 + 2 * i;
      ASSERT_GT(row->size(), italic) << "set " << set;
      EXPECT_EQ((*row)[roman], escpSetCharacters[set][i]) << "set " << set << " place " << i;
      EXPECT_EQ((*row)[italic], escpSetCharacters[set][i]) << "set " << set << " place " << i << ", italic";
    }
  }

  std::u32string every;
  for (char32_t c = 33; c < 127; ++c) every += c;
  for (const auto &set : escpSetCharacters) every.append(set, 12);
  every.append(escpGraphicsTable, 128);
  every.append(escpUpperNational, 32);
  for (char32_t c : every) EXPECT_NE(text.find(c), std::u32string::npos) << "U+" << std::hex << unsigned(c);
}

// Every sheet number prints the same chart; the input after it starts on the next
// page, from the italic table with 128-159 as control codes and the USA set, whatever
// the chart used last.
TEST(EscpChart, EverySheetNumberPrintsItAndTheInputFollowsAtPowerOn) {
  std::string first;
  for (const char *sheet : {"1", "2", "3"}) {
    TempDir dir;
    chartFolderSetup(dir);
    RunResult run = runTambrix(dir, {"-printer", "escp", "-test", sheet, "-text", "chart.txt"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::string text = readFile(dir.file("chart.txt"));
    EXPECT_NE(text.find("ESC/P character chart"), std::string::npos) << "-test " << sheet;
    if (first.empty()) first = text;
    EXPECT_EQ(text, first) << "-test " << sheet;
  }
  TempDir dir;
  chartFolderSetup(dir);
  RunResult run = runTambrix(dir, {"-printer", "escp", "-test", "1", "-text", "chart.txt", "-out", "chart"},
                             bytes({0xE0, 0x80, '#', '}', 'A'}));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(pngFiles(dir).size(), 2u);
  std::string text = readFile(dir.file("chart.txt"));
  size_t page = text.find('\f');
  ASSERT_NE(page, std::string::npos);
  EXPECT_EQ(text.substr(0, page), first);
  EXPECT_EQ(text.substr(page + 1), "`#}A\n");

  // Without -test the input alone is printed.
  TempDir plain;
  chartFolderSetup(plain);
  run = runTambrix(plain, {"-printer", "escp", "-text", "chart.txt"}, "A\r\n");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(readFile(plain.file("chart.txt")), "A\n");
}

}  // namespace
