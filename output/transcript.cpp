#include "output/transcript.h"

#include <algorithm>

#include "base/file_access.h"
#include "base/page_geometry.h"
#include "base/utf8.h"

namespace {

constexpr char pageSeparator = '\f';  // between the pages of the transcript

std::string transcript;   // the pages taken so far
unsigned pagesTaken = 0;  // pages in transcript

// One line: the cells of one row, already in left-to-right order.
std::string lineText(const std::vector<const TextCell *> &cells) {
  std::string line;
  unsigned written = 0;         // characters on the line so far
  unsigned wideEnd = unsigned(-1);  // pixel column where the last cell ended, if it was double width
  for (const TextCell *cell : cells) {
    unsigned column = (cell->x + cellWidth / 2) / cellWidth;
    bool follows = cell->x == wideEnd;  // keeps double-width words whole
    if (!follows && column > written) {
      line.append(column - written, ' ');
      written = column;
    }
    wideEnd = cell->width > cellWidth ? cell->x + cell->width : unsigned(-1);
    if (cell->text == 0) continue;
    appendUtf8(line, cell->text);
    ++written;
  }
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

}  // namespace

void resetTranscript() {
  transcript.clear();
  pagesTaken = 0;
}

void addTranscriptPage(const std::vector<unsigned> &rows, const std::vector<TextCell> &cells) {
  std::vector<const TextCell *> ordered;
  for (const TextCell &cell : cells) ordered.push_back(&cell);
  // Top to bottom, then left to right; cells printed over one another keep their order.
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const TextCell *a, const TextCell *b) { return a->y != b->y ? a->y < b->y : a->x < b->x; });
  std::string page;
  size_t kept = 0;  // length of page up to its last line with text
  auto next = ordered.begin();
  for (unsigned row : rows) {
    std::vector<const TextCell *> line;
    while (next != ordered.end() && (*next)->y <= row) {
      if ((*next)->y == row) line.push_back(*next);
      ++next;
    }
    std::string text = lineText(line);
    page += text + '\n';
    if (!text.empty()) kept = page.size();
  }
  page.resize(kept);
  if (pagesTaken++ > 0) transcript += pageSeparator;
  transcript += page;
}

int writeTranscript(const std::string &name) {
  return replaceFileWhole(name, transcript.data(), transcript.size(), false);
}
