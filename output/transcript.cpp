#include "output/transcript.h"

#include <algorithm>
#include <cerrno>

#include "base/file_access.h"
#include "base/page_geometry.h"
#include "base/utf8.h"

namespace {

constexpr char pageSeparator = '\f';   // between the pages of the transcript
constexpr size_t bufferBytes = 1 << 16;  // pages collected before they are written out

// Writes out the bytes collected, unless a write failed before.
void writeBuffer(Transcript &transcript) {
  const std::string &bytes = transcript.buffer;
  if (transcript.error == 0) transcript.error = writeTemporary(transcript.temporary, bytes.data(), bytes.size());
  transcript.buffer.clear();
}

// Appends one line, without its trailing spaces: the cells of one row, already in
// left-to-right order. Whether the line has text.
bool appendLine(const std::vector<const TextCell *> &cells, unsigned cellWidth, std::string &line) {
  size_t start = line.size();
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
  size_t last = line.find_last_not_of(' ');
  line.resize(last == std::string::npos || last < start ? start : last + 1);
  return line.size() > start;
}

}  // namespace

int openTranscript(Transcript &transcript, const std::string &name, bool replace) {
  abandonTranscript(transcript);
  if (int error = createTemporaryBeside(name, transcript.temporary); error != 0) return error;
  transcript.open = true;
  transcript.name = name;
  transcript.replace = replace;
  return 0;
}

void addTranscriptPage(Transcript &transcript, const std::vector<unsigned> &rows, const std::vector<TextCell> &cells) {
  if (!transcript.open) return;
  // The two lists of cells keep their memory from page to page.
  std::vector<const TextCell *> &ordered = transcript.ordered, &line = transcript.line;
  ordered.clear();
  for (const TextCell &cell : cells) ordered.push_back(&cell);
  // Top to bottom, then left to right; cells printed over one another keep their order.
  // Most pages are printed in that order already.
  auto before = [](const TextCell *a, const TextCell *b) { return a->y != b->y ? a->y < b->y : a->x < b->x; };
  if (!std::is_sorted(ordered.begin(), ordered.end(), before)) std::stable_sort(ordered.begin(), ordered.end(), before);
  std::string &out = transcript.buffer;
  if (transcript.pagesTaken++ > 0) out += pageSeparator;
  size_t kept = out.size();  // length of out up to the page's last line with text
  auto next = ordered.begin();
  for (unsigned row : rows) {
    line.clear();
    while (next != ordered.end() && (*next)->y <= row) {
      if ((*next)->y == row) line.push_back(*next);
      ++next;
    }
    bool text = appendLine(line, transcript.columnWidth, out);
    out += '\n';
    if (text) kept = out.size();
  }
  out.resize(kept);
  if (out.size() >= bufferBytes) writeBuffer(transcript);
}

int finishTranscript(Transcript &transcript) {
  if (!transcript.open) return EINVAL;
  writeBuffer(transcript);
  int error = transcript.error;
  if (error == 0) error = commitTemporary(transcript.temporary, transcript.name, false, transcript.replace);
  abandonTranscript(transcript);
  return error;
}

void abandonTranscript(Transcript &transcript) {
  discardTemporary(transcript.temporary);
  transcript = Transcript();
}
