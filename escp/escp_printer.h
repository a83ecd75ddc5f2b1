// The 9-pin ESC/P printer: its fonts, its settings, its line buffer and the command
// being read, in one record that the printer carries beside the mechanism.
//
// Positions are kept exact: across in 1/1440 inch from the print line's left end,
// which holds every pitch and graphics density; down in 1/216 inch from the top of
// the page being printed. They become pixels only where a dot is struck.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct Mechanism;

constexpr unsigned escpGlyphColumns = 11;       // half-dot columns of a glyph
constexpr unsigned escpPins = 9;                // pins of the head
constexpr uint32_t escpUnitsPerInchX = 1440;    // across
constexpr uint32_t escpUnitsPerInchY = 216;     // down
constexpr uint32_t escpLineWidth = 8 * escpUnitsPerInchX;   // the print line, 8 inches
constexpr uint32_t escpPinPitch = 3;            // 1/72 inch between pins, in 1/216
constexpr uint32_t escpMostFormLength = 22 * escpUnitsPerInchY;  // 22 inches
constexpr uint32_t escpLeastFormLength = escpUnitsPerInchY / 6;  // one line at 1/6 inch
constexpr unsigned escpMostTabStops = 32;       // horizontal
constexpr unsigned escpMostVerticalStops = 16;
constexpr unsigned escpSets = 13;               // international sets

// A glyph's half-dot columns, left to right; bit k fires pin k + 1 (bit 0 the top pin).
using EscpColumns = std::array<uint16_t, escpGlyphColumns>;

// The two faces of the font, by the Unicode character each glyph shows.
struct EscpFont {
  std::unordered_map<char32_t, EscpColumns> faces[2];  // roman, then italic
};

// Where the font was looked for, and which file was read.
struct EscpFontSearch {
  std::vector<std::string> tried;  // "PRINTER/escp.fake", then the font installed with the program
  int used = -1;                   // index in tried of the file read; -1 when none could be read
  bool damaged = false;            // the file read is no glyph file of ours; the font stays empty
};

// Reads the 9-pin font from "PRINTER/escp.fake" in the working directory, else from
// ../share/tambrix/PRINTER/escp.fake beside the program's folder.
EscpFontSearch loadEscpFont(EscpFont &font);

// Reads a glyph file's bytes into font; false when they are no glyph file.
bool readEscpFont(EscpFont &font, const uint8_t *bytes, size_t length);

// The settings the printer's commands change, all of them back at power-on by ESC @.
struct EscpSettings {
  bool elite = false, condensed = false, emphasized = false, doubleStrike = false, italic = false;
  bool underline = false;
  bool doubleWidth = false;         // ESC W, until turned off
  bool doubleWidthLine = false;     // SO, until the line ends
  int script = 0;                   // 0 none, 1 superscript, 2 subscript
  uint32_t lineSpacing = 36;        // 1/216 inch; 1/6 inch at power-on
  uint32_t formLength = 11 * escpUnitsPerInchY;  // 1/216 inch
  uint32_t skipLines = 0;           // skip over perforation: lines at the foot of a page; 0 = off
  uint32_t leftMargin = 0;          // 1/1440 inch
  uint32_t rightMargin = escpLineWidth;
  std::vector<uint32_t> tabStops;   // 1/1440 inch from the left margin, ascending
  std::vector<uint32_t> verticalStops;  // 1/216 inch from the top of the page, ascending
  unsigned set = 0;                 // international set, 0 .. 12
  bool graphicsTable = false;       // ESC t 1: 128-255 print the graphics table
  bool upperPrintable = false;      // ESC 6: 128-159 printable in the italic table
  bool userSet = false;             // ESC % 1: print from the user-defined characters
  uint8_t graphicsModes[4] = {0, 1, 2, 3};  // the ESC * mode of ESC K, L, Y and Z
};

// A user-defined character.
struct EscpUserGlyph {
  bool defined = false;
  char32_t text = 0xFFFD;  // what it shows in text; copies of the font keep the font's
  EscpColumns columns{};
};

// A character waiting in the line buffer until its line ends.
struct EscpCharacter {
  uint32_t x;             // 1/1440 inch, its left edge
  uint32_t y;             // 1/216 inch, the top of its line
  uint32_t halfPitch;     // 1/1440 inch between its half-dot columns
  uint32_t advance;       // 1/1440 inch the head moved for it
  EscpColumns columns;    // its dots; all clear for a space
  char32_t text;          // the character it shows in text
  bool wide;              // double width: every dot struck again a half-dot column on, so its strokes stay whole
  bool emphasized, doubleStrike, underline;
  int script;             // 0, 1 superscript, 2 subscript
};

// A dot below the foot of the page it was struck on, struck again at the top of the next.
struct EscpCarriedDot {
  uint32_t x;      // 1/1440 inch
  int32_t y;       // 1/432 inch from the top of the next page, above it when negative
  uint8_t pin;
};

// What a byte or a whole command did, as the printer tells whoever observes it (the
// stream listing).
enum class EscpEventKind {
  Character,  // a character went into the line buffer; or was dropped, being wider than the line
  Control,    // a control code acted (or, for one that means nothing, did nothing)
  Command,    // an ESC command is whole and has acted
  CutOff,     // the stream ended inside an ESC command, which does nothing
};

struct EscpEvent {
  EscpEventKind kind;
  uint64_t offset;        // stream offset of its first byte: the code, or the ESC of a command
  const uint8_t *bytes;   // the code; for a command, the bytes after ESC
  size_t length;          // bytes at bytes
  char32_t text;          // the character printed, or 0
  bool known;             // a command the printer knows (unknown ones are ESC and one byte, ignored)
  uint32_t x, y;          // the head afterwards: 1/1440 inch from the print line's left end, and
                          //   1/216 inch from the top of its page
  unsigned pages;         // pages handed over so far
};

struct EscpObserver {
  void *context = nullptr;                                        // handed back with each event
  void (*seen)(void *context, const EscpEvent &event) = nullptr;  // null: nobody observes
};

// The command being read, its bytes gathered until it is whole.
struct EscpCommand {
  uint64_t offset = 0;          // stream offset of its ESC
  bool escape = false;          // ESC was read and its command byte not yet
  std::vector<uint8_t> bytes;   // the command byte and its parameters and data so far
  size_t wanted = 0;            // bytes the command has in all, as far as is known; 0 while none is read
};

// Everything of the ESC/P printer between two bytes of its stream.
struct EscpPrinter {
  EscpFont font;                      // loaded by the run
  EscpSettings settings;
  EscpUserGlyph user[256];
  uint32_t x = 0;                     // the head, 1/1440 inch from the print line's left end
  uint32_t y = 0;                     // the line's top, 1/216 inch from the top of the page
  uint32_t lineStart = 0;             // where the line in the buffer began, for CAN
  std::vector<EscpCharacter> line;    // characters not yet printed
  std::vector<EscpCarriedDot> carried;  // dots for the top of the next page
  uint32_t formAbove = 0;             // once the stream has ended on a line whose foot went onto a
                                      //   page of its own: the length of the page y still counts
                                      //   from, which lies above the page being painted; else 0
  unsigned blankPages = 0;            // pages without ink since the last one written
  EscpCommand command;
  const EscpColumns *glyphs[2][256] = {};  // the font's glyph of each code, roman and italic, in the set in force
  char32_t texts[256] = {};           // the character each code prints in the set and table in force; 0 for none
  bool upperItalic[256] = {};         // the code prints in italics whatever the style (the italic table's upper half)
  std::array<uint64_t, 256> unknownEscapes{};  // ESC sequences not known, by their second byte
  EscpObserver observer;              // told of every character, control code and command
};

// Puts the printer in its power-on state, the paper at the top of the first page. The
// font stays.
void startEscp(EscpPrinter &e, Mechanism &m);

// Interprets the next bytes of the stream, the first of them at the stream offset given.
void interpretEscp(EscpPrinter &e, Mechanism &m, const uint8_t *bytes, size_t length, uint64_t offset);

// Whether ESC and this byte are a command the printer knows.
bool knownEscpCommand(uint8_t command);

// The stream ended: a command cut off does nothing, and the line in the buffer is
// printed.
void endEscp(EscpPrinter &e, Mechanism &m);

// The page row just below the head's lowest pin, counted from the top of the page being
// painted: where the paper stands once the stream has ended. After a last line whose
// foot was carried onto a new page, the head stands over that page's top; 0 when even
// its lowest pin is above it.
unsigned escpHeadBottom(const EscpPrinter &e, const Mechanism &m);

// The Unicode character of each international set at the twelve places it replaces
// (23, 24, 40, 5B, 5C, 5D, 5E, 60, 7B, 7C, 7D, 7E).
extern const uint8_t escpSetPlaces[12];
extern const char32_t escpSetCharacters[escpSets][12];

// The national letters that 128-159 print in the italic table after ESC 6.
extern const char32_t escpUpperNational[32];

// The upper half of the graphics table: the character each code 128-255 prints.
extern const char32_t escpGraphicsTable[128];
