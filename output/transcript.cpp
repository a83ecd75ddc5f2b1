#include "output/transcript.h"

#include <algorithm>
#include <cerrno>

#include "base/file_access.h"
#include "base/page_geometry.h"
#include "base/utf8.h"

namespace {

constexpr char pageSeparator = '\f';   // between the pages of the transcript
constexpr size_t bufferBytes = 1 << 16;  // pages collected before they are written out

// The transcript being written; there is one at a time.
struct Transcript {
  bool open = false;        // openTranscript succeeded, and no finish or abandon since
  TemporaryFile temporary;  // the file the pages go to, until complete
  std::string name;         // where the finished transcript goes
  bool replace = true;      // it may replace a file of that name
  std::string buffer;       // bytes taken and not yet written out; up to bufferBytes and a page
  unsigned pagesTaken = 0;  // pages taken so far
  int error = 0;            // errno value of the first failure, 0 while none
  std::vector<const TextCell *> ordered;  // the page's cells in reading order
  std::vector<const TextCell *> line;     // the cells of one of its rows
};

Transcript transcript;

// Writes out the bytes collected, unless a write failed before.
void writeBuffer() {
  const std::string &bytes = transcript.buffer;
  if (transcript.error == 0) transcript.error = writeTemporary(transcript.temporary, bytes.data(), bytes.size());
  transcript.buffer.clear();
}

// Appends one line, without its trailing spaces: the cells of one row, already in
// left-to-right order. Whether the line has text.
bool appendLine(const std::vector<const TextCell *> &cells, std::string &line) {
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

void resetTranscript() { abandonTranscript(); }

int openTranscript(const std::string &name, bool replace) {
  abandonTranscript();
  if (int error = createTemporaryBeside(name, transcript.temporary); error != 0) return error;
  transcript.open = true;
  transcript.name = name;
  transcript.replace = replace;
  return 0;
}

void addTranscriptPage(const std::vector<unsigned> &rows, const std::vector<TextCell> &cells) {
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
    bool text = appendLine(line, out);
    out += '\n';
    if (text) kept = out.size();
  }
  out.resize(kept);
  if (out.size() >= bufferBytes) writeBuffer();
}

int finishTranscript() {
  if (!transcript.open) return EINVAL;
  writeBuffer();
  int error = transcript.error;
  if (error == 0) error = commitTemporary(transcript.temporary, transcript.name, false, transcript.replace);
  abandonTranscript();
  return error;
}

void abandonTranscript() {
  discardTemporary(transcript.temporary);
  transcript = Transcript();
}
