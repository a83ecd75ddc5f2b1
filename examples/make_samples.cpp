// make_samples: writes the sample printer streams kept in examples/.
//
//   make_samples <output-dir>
//
// Writes showcase.prn, listing.prn, raw_showcase.prn and escp_showcase.prn
// into <output-dir>.
// Every byte goes through one of the small helpers of PrinterStream, so
// each command sent to the printer has a name here. The stream also
// follows the print head as the bytes go out (column, line, modes) and
// refuses a sample that would run past the right edge, send text while
// bit-image mode is on, or, for the showcase, spill onto a second page.
// The output depends on nothing but this file.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Byte = std::uint8_t;

// ---------------------------------------------------------------------------
// Printer codes.

namespace code {
constexpr Byte BitImage = 8;         // enter bit-image mode (14 px line pitch)
constexpr Byte LineFeed = 10;        // advance paper by the current pitch
constexpr Byte CarriageReturn = 13;  // head to the left margin, modes reset
constexpr Byte DoubleWidth = 14;     // characters twice as wide
constexpr Byte Standard = 15;        // leave double width and bit-image mode
constexpr Byte HeadTo = 16;          // 16 d1 d2: head to a column given in two digits
constexpr Byte SetSwitch17 = 17;     // graphic set (default) / business set (raw)
constexpr Byte ReverseOn = 18;       // white on black cells
constexpr Byte Repeat = 26;          // 26 n d: column byte d, n times
constexpr Byte Escape = 27;          // 27 16 a b: head to an addressed column
constexpr Byte EscHeadTo = 16;       //   (the byte after 27)
constexpr Byte Quote = 34;           // quote mode toggle, prints "
constexpr Byte SetSwitch145 = 145;   // business set (default) / graphic set (raw)
constexpr Byte ReverseOff = 146;     // back to black on white
}  // namespace code

// Graphic-set glyph codes used by the samples.
namespace glyph {
constexpr Byte Pound = 92;        // the pound sign, where ASCII has a backslash
constexpr Byte ArrowUp = 94;
constexpr Byte ArrowLeft = 95;
constexpr Byte BoxHorizontal = 96;
constexpr Byte BoxVertical = 125;
constexpr Byte BoxTopLeft = 176;
constexpr Byte BoxTopRight = 174;
constexpr Byte BoxBottomLeft = 173;
constexpr Byte BoxBottomRight = 189;
}  // namespace glyph

// Geometry of the page image, in pixels.
constexpr int kPageWidth = 960;
constexpr int kPageHeight = 1512;
constexpr int kDotWidth = 2;       // one dot column
constexpr int kCellWidth = 12;     // one character cell, 6 dot columns
constexpr int kTextPitch = 21;
constexpr int kGraphicPitch = 14;  // one row of 7 dots
constexpr int kDotsPerColumn = 7;

// Column byte: bit k fires pin k (bit 0 the top pin). Bit 7 never prints;
// the samples always set it, which is what bit-image mode needs anyway.
constexpr Byte kColumnFlag = 0x80;

enum class Mode { Default, Raw };

class PrinterStream {
public:
    explicit PrinterStream(Mode mode) : mode_(mode) {}

    const std::vector<Byte>& bytes() const { return bytes_; }
    int lineTop() const { return y_; }
    // Lowest pixel row anything has been printed on, plus one.
    int printedBottom() const { return bottom_; }

    // Characters as they should appear on paper. In the graphic set only
    // capitals, digits and signs exist; in the business set letters of both
    // cases print, and the codes are swapped (65-90 give lower case), which
    // this takes care of. The quote mark has its own helper.
    void text(std::string_view s) {
        for (char ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            require(c != '"', "use quoteMark() for the quote mark");
            const bool upper = c >= 'A' && c <= 'Z';
            const bool lower = c >= 'a' && c <= 'z';
            const bool sign = (c >= 32 && c <= 64) || c == '[' || c == ']';
            require(sign || upper || (lower && business_),
                    std::string("no glyph for '") + ch + "' in this character set");
            Byte out = c;
            if (business_ && upper) out = static_cast<Byte>(c - 'A' + 'a');  // 97-122: capitals
            if (business_ && lower) out = static_cast<Byte>(c - 'a' + 'A');  // 65-90: lower case
            printCell(out);
        }
    }

    // One or more cells of a glyph given by its code (graphics, pound, arrows).
    void glyphs(Byte c, int count = 1) {
        require((c >= 32 && c <= 127 && c != code::Quote) || (c >= 160 && c <= 191),
                "not a printable glyph code");
        for (int i = 0; i < count; ++i) printCell(c);
    }

    // 13: head back to the left margin; character set, quote and reverse
    // reset. In raw mode the paper also advances.
    void carriageReturn() {
        put(code::CarriageReturn);
        x_ = 0;
        business_ = quote_ = reverse_ = false;
        if (mode_ == Mode::Raw) y_ += pitch();
    }

    // 10: paper advance by the current pitch. In default mode the head stays
    // where it is; in raw mode it returns to the left margin as well.
    void lineFeed() {
        if (mode_ == Mode::Raw) {
            require(!business_ && !quote_ && !reverse_, "raw line feed: keep the line plain");
            x_ = 0;
        }
        put(code::LineFeed);
        y_ += pitch();
    }

    // 13 10: the end of a line in default mode.
    void crlf() {
        require(mode_ == Mode::Default, "raw lines end with 13 alone");
        carriageReturn();
        lineFeed();
    }

    // 14: double width on. In raw mode it also leaves bit-image mode.
    void doubleWidth() {
        command(code::DoubleWidth);
        if (mode_ == Mode::Raw) bitImage_ = false;
        require(!bitImage_, "double width inside bit-image mode");
        doubleWidth_ = true;
    }

    // 15: leave double width and bit-image mode (text pitch again).
    void standard() {
        command(code::Standard);
        doubleWidth_ = bitImage_ = false;
    }

    // 8: bit-image mode on; line pitch 14 px.
    void bitImage() {
        require(!doubleWidth_, "bit-image mode from double width");
        command(code::BitImage);
        bitImage_ = true;
    }

    // Business set: 145 in default mode, 17 in raw mode.
    void businessSet() {
        require(!bitImage_, "set switch inside bit-image mode");
        command(mode_ == Mode::Default ? code::SetSwitch145 : code::SetSwitch17);
        business_ = true;
    }

    // Graphic set: 17 in default mode, 145 in raw mode.
    void graphicSet() {
        require(!bitImage_, "set switch inside bit-image mode");
        command(mode_ == Mode::Default ? code::SetSwitch17 : code::SetSwitch145);
        business_ = false;
    }

    // 18: reverse on.
    void reverseOn() {
        require(!bitImage_, "reverse inside bit-image mode");
        command(code::ReverseOn);
        reverse_ = true;
    }

    // 146: reverse off.
    void reverseOff() {
        require(!bitImage_, "146 in bit-image mode is a dot column");
        command(code::ReverseOff);
        reverse_ = false;
    }

    // 34: prints the quote mark and toggles quote mode.
    void quoteMark() {
        require(!bitImage_, "quote inside bit-image mode");
        printCell(code::Quote);
        quote_ = !quote_;
    }

    // A control code sent inside quotes: it prints as the glyph 64 codes
    // higher, reversed, instead of acting.
    void quotedControl(Byte c) {
        require(quote_, "control code outside quotes would act");
        require(c < 32 || (c >= 128 && c <= 159), "not a control code");
        require(c != code::CarriageReturn && c != code::LineFeed, "13 and 10 act even in quotes");
        printCell(c);
    }

    // Default mode, 16 u t: head to pixel column 10*t + u (0-99).
    void headToPixel(int px) {
        require(mode_ == Mode::Default, "16 addresses character columns in raw mode");
        require(px >= 0 && px <= 99, "16 reaches pixel columns 0-99 only");
        command(code::HeadTo);
        put(static_cast<Byte>('0' + px % 10));  // units first
        put(static_cast<Byte>('0' + px / 10));  // then tens
        x_ = px;
    }

    // Default mode, 27 16 lo hi: head to pixel column 256*(hi&1) + lo.
    void headToPixelFar(int px) {
        require(mode_ == Mode::Default, "raw mode addresses dot columns");
        require(px >= 0 && px <= 511, "27 16 reaches pixel columns 0-511");
        command(code::Escape);
        put(code::EscHeadTo);
        put(static_cast<Byte>(px & 0xFF));
        put(static_cast<Byte>(px >> 8));
        x_ = px;
    }

    // Raw mode, 16 t u: head to character column 10*t + u (0-79).
    void headToCharColumn(int col) {
        require(mode_ == Mode::Raw, "default mode 16 addresses pixels");
        require(col >= 0 && col <= 79, "character columns are 0-79");
        command(code::HeadTo);
        put(static_cast<Byte>('0' + col / 10));  // tens first
        put(static_cast<Byte>('0' + col % 10));  // then units
        x_ = col * kCellWidth;
    }

    // Raw mode, 27 16 hi lo: head to dot column 256*(hi&1) + lo (0-479).
    void headToDotColumn(int dot) {
        require(mode_ == Mode::Raw, "default mode 27 16 addresses pixels");
        require(dot >= 0 && dot <= 479, "dot columns are 0-479");
        command(code::Escape);
        put(code::EscHeadTo);
        put(static_cast<Byte>(dot >> 8));
        put(static_cast<Byte>(dot & 0xFF));
        x_ = dot * kDotWidth;
    }

    // 26 n d: the column byte d, n times, in text or bit-image mode.
    void repeatColumn(int n, Byte pins) {
        require(n >= 1 && n <= 255, "26 repeats 1-255 times");
        require(!doubleWidth_ && !reverse_, "keep repeated columns plain");
        advance(n * kDotWidth);
        command(code::Repeat);
        put(static_cast<Byte>(n));
        put(static_cast<Byte>(pins | kColumnFlag));
    }

    // Any number of one column byte, as as many 26 n d as it takes.
    void rule(int n, Byte pins) {
        for (; n > 0; n -= 255) repeatColumn(std::min(n, 255), pins);
    }

    // Dot columns in bit-image mode, one byte each (bit 7 set).
    void columns(const std::vector<Byte>& pins) {
        require(bitImage_, "dot columns need bit-image mode");
        for (Byte p : pins) {
            advance(kDotWidth);
            put(static_cast<Byte>(p | kColumnFlag));
        }
        markPrinted();
    }

    // Column bytes with long runs of one byte sent as 26 n d.
    void columnsPacked(const std::vector<Byte>& pins, std::size_t minRun = 8) {
        std::size_t i = 0;
        std::vector<Byte> single;
        while (i < pins.size()) {
            std::size_t j = i;
            while (j < pins.size() && pins[j] == pins[i] && j - i < 255) ++j;
            if (j - i >= minRun) {
                columns(single);
                single.clear();
                repeatColumn(static_cast<int>(j - i), pins[i]);
            } else {
                single.insert(single.end(), pins.begin() + i, pins.begin() + j);
            }
            i = j;
        }
        columns(single);
    }

    void require(bool ok, const std::string& what) const {
        if (!ok)
            throw std::runtime_error(what + " (byte " + std::to_string(bytes_.size()) + ", line top " +
                                     std::to_string(y_) + " px, head " + std::to_string(x_) + " px)");
    }

private:
    int pitch() const { return bitImage_ ? kGraphicPitch : kTextPitch; }

    // Codes that act only outside quotes.
    void command(Byte c) {
        require(!quote_, "command inside quotes would print");
        put(c);
    }

    void printCell(Byte c) {
        require(!bitImage_, "text is not printed in bit-image mode");
        advance(doubleWidth_ ? 2 * kCellWidth : kCellWidth);
        put(c);
        markPrinted();
    }

    void advance(int px) {
        require(x_ + px <= kPageWidth, "past the right edge");
        x_ += px;
        markPrinted();
    }

    void markPrinted() { bottom_ = std::max(bottom_, y_ + kDotsPerColumn * kDotWidth); }

    void put(Byte b) { bytes_.push_back(b); }

    Mode mode_;
    std::vector<Byte> bytes_;
    int x_ = 0;
    int y_ = 0;
    int bottom_ = 0;
    bool doubleWidth_ = false;
    bool bitImage_ = false;
    bool business_ = false;
    bool quote_ = false;
    bool reverse_ = false;
};

// ---------------------------------------------------------------------------
// Pictures: rows of '#' (dot) and '.' (no dot), a multiple of 7 rows tall.

using Picture = std::vector<std::string>;

// Column bytes of one 7-dot band of a picture: bit k is row 7*band + k.
std::vector<Byte> bandColumns(const Picture& pic, int band) {
    const std::size_t width = pic.at(0).size();
    std::vector<Byte> cols(width, 0);
    for (int k = 0; k < kDotsPerColumn; ++k) {
        const std::size_t row = static_cast<std::size_t>(band * kDotsPerColumn + k);
        if (row >= pic.size()) break;
        const std::string& line = pic[row];
        if (line.size() != width) throw std::runtime_error("picture rows differ in width");
        for (std::size_t x = 0; x < width; ++x)
            if (line[x] == '#') cols[x] = static_cast<Byte>(cols[x] | (1u << k));
    }
    return cols;
}

int bandCount(const Picture& pic) {
    return static_cast<int>((pic.size() + kDotsPerColumn - 1) / kDotsPerColumn);
}

// A balloon over two clouds, 56 x 35 dots: five bands.
const Picture kBalloon = {
    "......................############......................",
    "....................####.##..##.####....................",
    "...................##...###..###...##...................",
    ".................###...###....###...###.................",
    "................####...###....###...####................",
    "................###....###....###....###................",
    "...............####...####....####...####...............",
    "...............###....####....####....###...............",
    "..............####....####....####....####..............",
    "..............####....####....####....####..............",
    "..............####....####....####....####..............",
    "..............####....####....####....####..............",
    "..............####....####....####....####..............",
    "...####........###....####....####....###...............",
    "..#....##......###....####....####....###...............",
    ".#.......#......###...####....####...###................",
    "##########.......##....###....###....##.................",
    "..................##...###....###...##..................",
    "....................#..###....###..#....................",
    ".....................##.###..###.##.....................",
    "......................#####..#####......................",
    "........................########........................",
    ".........................######.........................",
    ".........................######.........................",
    ".........................#....#.........................",
    ".........................#....#.........................",
    "........................#......#........................",
    "........................#......#...............###......",
    ".......................##########.............#...####..",
    ".......................#.#.##.#.#............#........#.",
    ".......................##.#..#.##............##########.",
    ".......................#.#.##.#.#.......................",
    ".......................##########.......................",
    "........................................................",
    "........................................................",
};

// A sailing boat under the sun, 48 x 28 dots: four bands.
const Picture kBoat = {
    ".....................###.................#......",
    ".....................##..............#.......#..",
    ".....................##.................###.....",
    ".....................#.#...............#####....",
    "....................#####.............#######...",
    "....................##...#.........##.#######.##",
    "...................#.#....#...........#######...",
    "..................#..#.....#...........#####....",
    ".................#...########...........###.....",
    "................#....#.......#.......#.......#..",
    "................#....#........#..........#......",
    "...............#.....#.........#.........#......",
    "..............#......############...............",
    ".............#.......#...........#..............",
    "............#........#............#.............",
    "............########################............",
    ".....................#..........................",
    "......####################################......",
    "........##.###.###.###.###.###.###.#####........",
    "..........############################..........",
    "............########################............",
    ".......####.......#####.......####.......####...",
    "#....##....##....#.....#....##....##....#....##.",
    ".####........####.......####........####.......#",
    "...#####.......####.......####........####......",
    "..#.....#....##....#.....#....##....##....#....#",
    "##.......####.......#####.......####.......####.",
    "................................................",
};

// ---------------------------------------------------------------------------
// Small formatting helpers (no locale, so the output is the same anywhere).

std::string padRight(std::string s, std::size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}

std::string padLeft(const std::string& s, std::size_t width) {
    return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

std::string money(long cents) {
    std::string frac = std::to_string(cents % 100);
    if (frac.size() < 2) frac.insert(0, "0");
    return std::to_string(cents / 100) + "." + frac;
}

std::string fourDigits(int n) {
    std::string s = std::to_string(n);
    return std::string(s.size() < 4 ? 4 - s.size() : 0, '0') + s;
}

// ---------------------------------------------------------------------------
// showcase.prn: one page of everything the default mode does.

std::vector<Byte> makeShowcase() {
    PrinterStream p(Mode::Default);
    p.crlf();  // a little paper above the title

    // Title, double width, centred with 27 16; a double rule under it.
    const std::string title = "TAMBRIX PRINT SAMPLE";
    const int titleWidth = static_cast<int>(title.size()) * 2 * kCellWidth;
    const int titleLeft = (kPageWidth - titleWidth) / 2;
    p.headToPixelFar(titleLeft);
    p.doubleWidth();
    p.text(title);
    p.standard();
    p.crlf();
    p.headToPixelFar(titleLeft);
    p.rule(titleWidth / kDotWidth, 0x12);  // pins 1 and 4: two thin lines
    p.crlf();
    p.crlf();

    // The graphic set, which every line starts in.
    p.text("THE GRAPHIC SET, WHERE EVERY LINE STARTS:");
    p.crlf();
    p.headToPixel(24);
    p.text("ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 !#$%&'()*+,-./:;<=>?@[]");
    p.glyphs(glyph::Pound);
    p.glyphs(glyph::ArrowUp);
    p.glyphs(glyph::ArrowLeft);
    p.crlf();
    p.headToPixel(24);
    p.text("LINE GRAPHICS 96-127:   ");
    for (int c = 96; c <= 127; ++c) p.glyphs(static_cast<Byte>(c));
    p.crlf();
    p.headToPixel(24);
    p.text("BLOCK GRAPHICS 160-191: ");
    for (int c = 160; c <= 191; ++c) p.glyphs(static_cast<Byte>(c));
    p.crlf();
    p.crlf();

    // The business set: 145 in, 17 out, or the carriage return.
    p.text("CODE 145 GIVES THE BUSINESS SET: ");
    p.businessSet();
    p.text("lower case and Capitals, ");
    p.graphicSet();
    p.text("17 ENDS IT.");
    p.crlf();
    p.businessSet();
    p.text("This whole line is in the business set, up to its carriage return;");
    p.crlf();
    p.text("THE NEXT LINE IS BACK IN THE GRAPHIC SET.");
    p.crlf();
    p.crlf();

    // Reverse: 18 on, 146 off, or the carriage return.
    p.text("REVERSE: ");
    p.reverseOn();
    p.text(" OUT OF STOCK ");
    p.reverseOff();
    p.text(" ENDS WITH 146, OR AT THE LINE END: ");
    p.reverseOn();
    p.text("LIKE THIS");
    p.crlf();

    // Quote mode: control codes inside quotes print as reversed letters.
    p.text("QUOTE MODE: ");
    p.quoteMark();
    p.text("HELLO");
    p.quotedControl(code::ReverseOn);    // reversed R
    p.quotedControl(code::SetSwitch17);  // reversed Q
    p.quotedControl(code::DoubleWidth);  // reversed N
    p.quoteMark();
    p.text(" SHOWS 18 17 14 AS REVERSED R Q N.");
    p.crlf();
    p.text("AN OPEN QUOTE ENDS AT THE CARRIAGE RETURN: ");
    p.quoteMark();
    p.quotedControl(code::ReverseOn);
    p.text("STILL QUOTED");
    p.crlf();
    p.reverseOn();
    p.text("SO 18 WORKS AGAIN ON THE NEXT LINE.");
    p.reverseOff();
    p.crlf();
    p.crlf();

    // A bit-image picture, centred; its bands are joined by 13 10 at the
    // 14 px graphic pitch, so they touch.
    p.text("A BIT-IMAGE PICTURE: 56 DOT COLUMNS, FIVE ROWS OF 7 DOTS.");
    p.crlf();
    const int pictureLeft = (kPageWidth - static_cast<int>(kBalloon[0].size()) * kDotWidth) / 2;
    p.bitImage();
    for (int band = 0; band < bandCount(kBalloon); ++band) {
        if (band > 0) p.crlf();
        p.headToPixelFar(pictureLeft);
        p.columnsPacked(bandColumns(kBalloon, band));
    }
    p.standard();
    p.crlf();
    p.crlf();

    // A small table: the first column at pixel 36 with 16, the others at
    // fixed pixel columns with 27 16; a rule under the heading with 26.
    struct Row { const char* bin; const char* item; int onHand; long cents; };
    const Row rows[] = {
        {"A-01", "CUP HOOKS, 25 MM", 1250, 4},
        {"A-02", "WING NUTS, M6", 480, 11},
        {"B-14", "DOOR HINGES, BRASS", 36, 275},
        {"C-07", "SASH CORD, 10 M", 12, 420},
    };
    const int itemAt = 108, onHandAt = 372, priceAt = 480;
    p.headToPixel(36);
    p.text("BIN");
    p.headToPixelFar(itemAt);
    p.text("ITEM");
    p.headToPixelFar(onHandAt);
    p.text("ON HAND");
    p.headToPixelFar(priceAt);
    p.text("UNIT PRICE");
    p.crlf();
    p.headToPixel(36);
    p.rule((priceAt + 10 * kCellWidth - 36) / kDotWidth, 0x01);  // top pin: a hairline
    p.crlf();
    for (const Row& r : rows) {
        p.headToPixel(36);
        p.text(r.bin);
        p.headToPixelFar(itemAt);
        p.text(r.item);
        p.headToPixelFar(onHandAt);
        p.text(padLeft(std::to_string(r.onHand), 7));
        p.headToPixelFar(priceAt);
        const std::string price = money(r.cents);
        p.text(std::string(9 - price.size(), ' '));
        p.glyphs(glyph::Pound);  // the pound sign right against the figures
        p.text(price);
        p.crlf();
    }
    p.crlf();

    // A ruler made of repeated columns, one tick per cell, long ones every
    // tenth cell, numbered on the line above.
    p.text("A RULER DRAWN WITH 26 N D, ONE TICK PER CHARACTER CELL:");
    p.crlf();
    for (int cell = 0; cell < 80; cell += 10) p.text(padRight(std::to_string(cell), 10));
    p.crlf();
    for (int cell = 0; cell < 80; ++cell) {
        const Byte tick = cell % 10 == 0 ? 0x7F : cell % 5 == 0 ? 0x0F : 0x03;
        p.repeatColumn(1, tick);
        p.repeatColumn(5, 0x01);  // the ruler's top edge
    }
    p.crlf();
    p.crlf();

    // A bar chart: 26 n 255 draws a solid bar n columns long.
    p.text("STOCK BY AISLE, EACH BAR IS 26 N 255:");
    p.crlf();
    const int stock[] = {212, 148, 96, 240, 57};
    for (int i = 0; i < 5; ++i) {
        p.headToPixel(24);
        p.text("AISLE " + std::to_string(i + 1));
        p.headToPixelFar(132);
        p.repeatColumn(stock[i], 0xFF);
        p.text(" " + std::to_string(stock[i]));
        p.crlf();
    }
    p.crlf();

    // A box of box-drawing glyphs (graphic set), one inner line in the
    // business set and back with 17 before the right-hand side.
    const int boxInner = 38;
    const int boxLeft = (kPageWidth - (boxInner + 2) * kCellWidth) / 2;
    auto boxLine = [&](const std::string& s, bool lowerCase) {
        p.headToPixelFar(boxLeft);
        p.glyphs(glyph::BoxVertical);
        const std::size_t left = (boxInner - s.size()) / 2;
        p.text(std::string(left, ' '));
        if (lowerCase) p.businessSet();
        p.text(s);
        if (lowerCase) p.graphicSet();
        p.text(std::string(boxInner - left - s.size(), ' '));
        p.glyphs(glyph::BoxVertical);
        p.crlf();
    };
    p.headToPixelFar(boxLeft);
    p.glyphs(glyph::BoxTopLeft);
    p.glyphs(glyph::BoxHorizontal, boxInner);
    p.glyphs(glyph::BoxTopRight);
    p.crlf();
    boxLine("HOLLOWAY LANE HARDWARE", false);
    boxLine("Keys cut while you wait", true);
    boxLine("OPEN MONDAY TO SATURDAY, 8-18", false);
    p.headToPixelFar(boxLeft);
    p.glyphs(glyph::BoxBottomLeft);
    p.glyphs(glyph::BoxHorizontal, boxInner);
    p.glyphs(glyph::BoxBottomRight);
    p.crlf();
    p.crlf();

    const std::string end = "END OF SAMPLE";
    p.headToPixelFar((kPageWidth - static_cast<int>(end.size()) * 2 * kCellWidth) / 2);
    p.doubleWidth();
    p.text(end);
    p.standard();
    p.crlf();

    p.require(p.printedBottom() <= kPageHeight, "the showcase must fit on one page");
    return p.bytes();
}

// ---------------------------------------------------------------------------
// listing.prn: a stock list over several pages, mixed case descriptions.

// A fixed linear congruential generator, so quantities and prices come out
// the same on every machine.
class Dice {
public:
    int roll(int lo, int hi) {
        state_ = state_ * 1103515245u + 12345u;
        return lo + static_cast<int>((state_ >> 8) % static_cast<unsigned>(hi - lo + 1));
    }
private:
    std::uint32_t state_ = 1987;
};

struct StockLine {
    const char* what;                // printed in the business set
    std::vector<const char*> sizes;  // one stock line per size
};

struct Department {
    const char* name;
    const char* prefix;
    int minCents, maxCents;
    std::vector<StockLine> lines;
};

const std::vector<Department> kDepartments = {
    {"FASTENERS", "FX", 2, 60, {
        {"Wood screw, brass", {"3 x 16", "4 x 30", "5 x 50"}},
        {"Wood screw, steel", {"3 x 16", "4 x 30", "5 x 50", "6 x 75"}},
        {"Machine screw, zinc", {"M4 x 20", "M5 x 25", "M6 x 40"}},
        {"Coach bolt, black", {"M8 x 60", "M10 x 100"}},
        {"Hex nut, steel", {"M4", "M5", "M6", "M8", "M10"}},
        {"Wing nut, brass", {"M5", "M6"}},
        {"Washer, penny", {"M6", "M8", "M10"}},
        {"Wall plug, red", {"bag of 100"}},
        {"Wall plug, brown", {"bag of 100"}},
        {"Rivet, aluminium", {"3 mm", "4 mm", "5 mm"}},
    }},
    {"HINGES AND LOCKS", "HL", 85, 1450, {
        {"Butt hinge, brass", {"50 mm", "75 mm", "100 mm"}},
        {"Butt hinge, steel", {"50 mm", "75 mm", "100 mm"}},
        {"Tee hinge, black", {"150 mm", "250 mm", "300 mm"}},
        {"Hasp and staple", {"75 mm", "115 mm"}},
        {"Padlock, laminated", {"30 mm", "40 mm", "50 mm"}},
        {"Cabin hook, brass", {"75 mm", "100 mm", "150 mm"}},
        {"Barrel bolt, chrome", {"75 mm", "100 mm", "150 mm"}},
        {"Rim latch, grey", {"left hand", "right hand"}},
        {"Mortice lock, 2 lever", {"65 mm", "75 mm"}},
        {"Door knob, brass", {"pair"}},
    }},
    {"HAND TOOLS", "HT", 240, 3900, {
        {"Claw hammer, ash", {"16 oz", "20 oz"}},
        {"Pin hammer, ash", {"4 oz"}},
        {"Tenon saw", {"250 mm", "300 mm"}},
        {"Panel saw", {"8 point", "10 point"}},
        {"Bench chisel, beech", {"6 mm", "12 mm", "19 mm", "25 mm"}},
        {"Screwdriver, flat", {"3 mm", "5 mm", "8 mm"}},
        {"Bradawl", {"small", "large"}},
        {"Spokeshave, flat sole", {"small"}},
        {"Pincers", {"175 mm", "200 mm"}},
        {"Steel rule", {"300 mm", "600 mm", "1 m"}},
        {"Try square", {"150 mm", "225 mm"}},
        {"Oilstone, combination", {"200 mm"}},
    }},
    {"PAINT AND BRUSHES", "PB", 95, 1800, {
        {"Gloss paint, white", {"250 ml", "1 litre", "2.5 l"}},
        {"Gloss paint, black", {"250 ml", "1 litre"}},
        {"Undercoat, grey", {"1 litre", "2.5 litres"}},
        {"Wood stain, oak", {"250 ml", "750 ml"}},
        {"Wood stain, walnut", {"250 ml", "750 ml"}},
        {"Metal primer, red", {"500 ml"}},
        {"Flat brush, bristle", {"12 mm", "25 mm", "50 mm", "75 mm"}},
        {"Sash brush, round", {"small", "medium"}},
        {"Roller and tray", {"175 mm", "225 mm"}},
        {"Sandpaper, medium", {"sheet", "pack of 10"}},
        {"White spirit", {"500 ml", "2 litres"}},
    }},
    {"PLUMBING", "PL", 15, 1250, {
        {"Compression elbow", {"15 mm", "22 mm"}},
        {"Compression tee", {"15 mm", "22 mm"}},
        {"Straight coupler", {"15 mm", "22 mm"}},
        {"Olive, brass", {"15 mm", "22 mm"}},
        {"Tap washer", {"half inch", "three quarter"}},
        {"Stop valve", {"15 mm", "22 mm"}},
        {"Pipe clip, plastic", {"15 mm", "22 mm", "28 mm"}},
        {"Copper pipe", {"15 mm x 2 m", "22 mm x 2 m"}},
        {"Sink plug and chain", {"one size"}},
        {"Jointing paste", {"tin"}},
        {"Ball valve, brass", {"half inch"}},
        {"Overflow pipe", {"21.5 mm x 3 m"}},
        {"Float, plastic", {"115 mm", "150 mm"}},
    }},
    {"ELECTRICAL", "EL", 20, 690, {
        {"Plug top fuse", {"3 amp", "5 amp", "13 amp"}},
        {"Fuse wire card", {"5/15/30 amp"}},
        {"Lamp holder, white", {"batten", "pendant"}},
        {"Junction box", {"20 amp", "30 amp"}},
        {"Cable clip, white", {"1 mm", "2.5 mm", "6 mm"}},
        {"Cable clip, grey", {"1 mm", "2.5 mm"}},
        {"Switch plate", {"one gang", "two gang"}},
        {"Socket, switched", {"single", "double"}},
        {"Flex, round white", {"per metre"}},
        {"Flex, braided", {"per metre"}},
        {"Insulating tape", {"black", "red", "blue"}},
        {"Torch bulb", {"2.5 volt", "3.5 volt"}},
    }},
    {"GARDEN", "GD", 30, 1100, {
        {"Hose connector", {"half inch", "three quarter"}},
        {"Hose, green", {"15 m", "30 m"}},
        {"Plant label, white", {"50 pack"}},
        {"Garden twine, tarred", {"100 m", "250 m"}},
        {"Trowel, stainless", {"one size"}},
        {"Hand fork, stainless", {"small"}},
        {"Seed tray, plastic", {"full size", "half size"}},
        {"Flower pot, clay", {"75 mm", "100 mm", "150 mm", "200 mm"}},
        {"Watering can, steel", {"5 litres", "9 litres"}},
        {"Bamboo cane", {"1.2 m", "1.8 m", "2.4 m"}},
        {"Netting, green", {"2 x 5 m", "4 x 10 m"}},
        {"Bird feeder, wire", {"small", "large"}},
        {"Riddle, wood frame", {"one size"}},
    }},
    {"ROPE AND CHAIN", "RC", 18, 2400, {
        {"Sash cord, cotton", {"per metre", "25 m hank"}},
        {"Manila rope", {"6 mm", "10 mm", "12 mm", "16 mm"}},
        {"Nylon rope, white", {"6 mm", "8 mm", "10 mm"}},
        {"Jack chain, brass", {"per metre"}},
        {"Link chain, zinc", {"3 mm", "5 mm", "8 mm"}},
        {"Shackle, galvanised", {"5 mm", "6 mm", "8 mm", "10 mm"}},
        {"Thimble, galvanised", {"6 mm", "8 mm", "10 mm"}},
        {"Rope clamp", {"6 mm", "10 mm"}},
        {"Snap hook, zinc", {"60 mm", "80 mm", "100 mm"}},
        {"Cleat, nylon", {"100 mm", "150 mm"}},
    }},
};

// Columns of the stock list, in character cells.
constexpr std::size_t kPartAt = 6, kDescriptionAt = 15, kBinAt = 45, kQtyEnd = 55, kPriceEnd = 67,
                      kValueEnd = 77;
constexpr int kLowStock = 10;  // quantities under this are printed reversed

std::vector<Byte> makeListing() {
    PrinterStream p(Mode::Default);
    Dice dice;

    // Column positions are kept by padding with spaces, as a program of the
    // time would have done; the renderer has nothing to align them for us.
    int page = 0;
    auto pageHeaderIfDue = [&] {
        if (p.lineTop() % kPageHeight != 0) return;
        ++page;
        const std::string left = "HOLLOWAY LANE HARDWARE      STOCK LIST, WEEK 14";
        p.text(left + padLeft("PAGE " + std::to_string(page), kValueEnd - left.size()));
        p.crlf();
        std::string head = padRight("LINE", kPartAt) + padRight("PART NO", kDescriptionAt - kPartAt);
        head = padRight(head + "DESCRIPTION", kBinAt) + "BIN";
        head += padLeft("QTY", kQtyEnd - head.size());
        head += padLeft("UNIT PRICE", kPriceEnd - head.size());
        head += padLeft("VALUE", kValueEnd - head.size());
        p.text(head);
        p.crlf();
        p.rule(static_cast<int>(kValueEnd) * kCellWidth / kDotWidth, 0x40);  // bottom pin: an underline
        p.crlf();
    };
    auto nextLine = [&] {
        p.crlf();
        pageHeaderIfDue();
    };

    pageHeaderIfDue();
    int lineNumber = 0;
    long grandTotal = 0;
    for (std::size_t d = 0; d < kDepartments.size(); ++d) {
        const Department& dep = kDepartments[d];
        p.text(std::string(kPartAt, ' '));
        p.reverseOn();
        p.text(" " + std::string(dep.name) + " ");
        p.reverseOff();
        nextLine();
        long total = 0;
        for (const StockLine& stock : dep.lines) {
            for (const char* size : stock.sizes) {
                ++lineNumber;
                const std::string description = std::string(stock.what) + ", " + size;
                p.require(description.size() < kBinAt - kDescriptionAt, "description too long: " + description);
                const std::string part = std::string(dep.prefix) + "-" + fourDigits(1000 + 37 * lineNumber % 9000);
                const std::string bin = std::string(1, static_cast<char>('A' + d)) + "-" +
                                        std::to_string(10 + dice.roll(0, 89));
                const int qty = dice.roll(0, 60) < 4 ? dice.roll(0, kLowStock - 1) : dice.roll(kLowStock, 400);
                const long cents = dice.roll(dep.minCents, dep.maxCents);
                const long value = qty * cents;
                total += value;

                p.text(padRight(fourDigits(lineNumber), kPartAt) + padRight(part, kDescriptionAt - kPartAt));
                p.businessSet();
                p.text(padRight(description, kBinAt - kDescriptionAt));
                p.graphicSet();
                const std::string qtyText = std::to_string(qty);
                p.text(padRight(bin, kQtyEnd - kBinAt - qtyText.size()));
                if (qty < kLowStock) p.reverseOn();
                p.text(qtyText);
                if (qty < kLowStock) p.reverseOff();
                p.text(padLeft(money(cents), kPriceEnd - kQtyEnd) + padLeft(money(value), kValueEnd - kPriceEnd));
                nextLine();
            }
        }
        const std::string label = padRight(std::string(kDescriptionAt, ' ') + "TOTAL FOR " + dep.name, kPriceEnd);
        p.text(label + padLeft(money(total), kValueEnd - label.size()));
        nextLine();
        grandTotal += total;
        nextLine();
    }
    const std::string label = std::string(kBinAt, ' ') + "STOCK VALUE";
    p.text(label);
    p.text(padLeft("", kPriceEnd - label.size()));
    const std::string grand = money(grandTotal);
    p.text(padLeft("", kValueEnd - kPriceEnd - grand.size() - 1));
    p.glyphs(glyph::Pound);
    p.text(grand);
    p.crlf();
    return p.bytes();
}

// ---------------------------------------------------------------------------
// raw_showcase.prn: the printer's own manual behaviour (rendered with -raw).

std::vector<Byte> makeRawShowcase() {
    PrinterStream p(Mode::Raw);
    p.carriageReturn();  // a little paper above the title

    // Title at character column 25 (16 2 5), double width, 26 rule under it.
    const std::string title = "RAW MODE SAMPLE";
    const int titleCells = static_cast<int>(title.size()) * 2;
    p.headToCharColumn((80 - titleCells) / 2);
    p.doubleWidth();
    p.text(title);
    p.standard();
    p.carriageReturn();
    p.headToCharColumn((80 - titleCells) / 2);
    p.repeatColumn(titleCells * kCellWidth / kDotWidth, 0x12);
    p.carriageReturn();
    p.carriageReturn();

    p.text("EACH LINE ENDS WITH A CARRIAGE RETURN ALONE (13).");
    p.carriageReturn();
    p.text("THIS ONE ENDS WITH A LINE FEED ALONE (10).");
    p.lineFeed();
    p.carriageReturn();

    // A table on character columns: 16 tens units.
    p.text("16 T U PUTS THE HEAD AT CHARACTER COLUMN TU:");
    p.carriageReturn();
    struct Row { const char* item; const char* shelf; int count; bool checked; };
    const Row rows[] = {
        {"PICTURE HOOKS", "3", 144, true},
        {"BRASS SCREWS 4 X 20", "11", 600, true},
        {"CURTAIN WIRE", "7", 9, false},
    };
    auto tableLine = [&](const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
        p.headToCharColumn(2);
        p.text(a);
        p.headToCharColumn(34);
        p.text(b);
        p.headToCharColumn(44);
        p.text(c);
        p.headToCharColumn(58);
        p.text(d);
        p.carriageReturn();
    };
    tableLine("ITEM", "SHELF", "COUNT", "CHECKED");
    for (const Row& r : rows)
        tableLine(r.item, padLeft(r.shelf, 5), padLeft(std::to_string(r.count), 5), r.checked ? "YES" : "NOT YET");
    p.carriageReturn();

    // Set switches inside a line: in raw mode 17 is the business set and
    // 145 the graphic set, until the next carriage return.
    p.text("GRAPHIC SET, ");
    p.businessSet();
    p.text("then 17 for the business set, ");
    p.graphicSet();
    p.text("THEN 145 BACK.");
    p.carriageReturn();
    p.businessSet();
    p.text("Business set from the start; the carriage return ends it.");
    p.carriageReturn();
    p.text("SO THIS LINE IS CAPITALS AGAIN. ");
    p.reverseOn();
    p.text(" REVERSE ");
    p.reverseOff();
    p.text(" AND ");
    p.quoteMark();
    p.text("QUOTES");
    p.quotedControl(code::ReverseOn);
    p.quoteMark();
    p.text(" AS USUAL.");
    p.carriageReturn();
    p.carriageReturn();

    // A plot addressed dot by dot: a sine wave over three bands, axes in a
    // fourth. Each band jumps the head to every run of dots with 27 16.
    p.text("A PLOT BY DOT COLUMN: 27 16 HI LO GOES TO DOT COLUMN 0-479.");
    p.carriageReturn();
    constexpr int plotBands = 4, plotRows = plotBands * kDotsPerColumn, plotWidth = 480;
    constexpr int axisRow = 22, axisLeft = 16, axisRight = 472;
    Picture plot(plotRows, std::string(plotWidth, '.'));
    for (int x = axisLeft; x <= axisRight; ++x) plot[axisRow][static_cast<std::size_t>(x)] = '#';
    for (int y = 0; y <= axisRow; ++y) plot[static_cast<std::size_t>(y)][axisLeft] = '#';
    for (int x = axisLeft; x <= axisRight; x += 56)
        for (int y = axisRow; y < axisRow + 4; ++y) plot[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = '#';
    for (int x = axisLeft + 8; x <= axisRight; x += 8) {
        const double phase = 2.0 * 3.14159265358979 * (x - axisLeft) / 224.0;
        const int y = 10 - static_cast<int>(std::lround(9.0 * std::sin(phase)));
        for (int dx = -1; dx <= 1; ++dx) plot[static_cast<std::size_t>(y)][static_cast<std::size_t>(x + dx)] = '#';
        plot[static_cast<std::size_t>(y - 1)][static_cast<std::size_t>(x)] = '#';
        plot[static_cast<std::size_t>(y + 1)][static_cast<std::size_t>(x)] = '#';
    }
    p.bitImage();
    for (int band = 0; band < plotBands; ++band) {
        const std::vector<Byte> cols = bandColumns(plot, band);
        int x = 0;
        while (x < plotWidth) {
            if (cols[static_cast<std::size_t>(x)] == 0) { ++x; continue; }
            int end = x;
            while (end < plotWidth && cols[static_cast<std::size_t>(end)] != 0) ++end;
            p.headToDotColumn(x);
            p.columnsPacked(std::vector<Byte>(cols.begin() + x, cols.begin() + end));
            x = end;
        }
        if (band + 1 < plotBands) p.carriageReturn();  // 14 px: the bands touch
    }
    p.standard();
    p.carriageReturn();
    p.carriageReturn();

    // A picture at character column 36, rows ended by 13 alone; 14 after the
    // last row leaves bit-image mode and turns double width on.
    p.text("A BIT-IMAGE PICTURE, EACH ROW ENDED BY 13 ALONE:");
    p.carriageReturn();
    p.bitImage();
    for (int band = 0; band < bandCount(kBoat); ++band) {
        if (band > 0) p.carriageReturn();
        p.headToCharColumn(36);
        p.columnsPacked(bandColumns(kBoat, band));
    }
    p.doubleWidth();
    p.carriageReturn();
    p.carriageReturn();
    const std::string end = "THAT IS ALL";
    p.headToCharColumn((80 - static_cast<int>(end.size()) * 2) / 2);
    p.text(end);
    p.standard();
    p.carriageReturn();

    p.require(p.printedBottom() <= kPageHeight, "the raw showcase must fit on one page");
    return p.bytes();
}

// ---------------------------------------------------------------------------
// The ESC/P showcase: one page of the 9-pin printer, every pitch and style, the
// international sets, the graphics table and a plotted curve.

struct EscpStream {
    std::vector<Byte> out;

    void raw(std::initializer_list<int> bytes) {
        for (int b : bytes) out.push_back(static_cast<Byte>(b));
    }
    void text(std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }
    void esc(char command) { raw({27, command}); }
    void esc(char command, int n) { raw({27, command, n}); }
    void newLine() { raw({13, 10}); }
    void headTo(int sixtieths) { raw({27, '$', sixtieths % 256, sixtieths / 256}); }  // from the left margin
    void tab() { raw({9}); }
};

// Code page 437's box and block characters, as the graphics table numbers them.
namespace boxes {
constexpr int topLeft = 201, topRight = 187, bottomLeft = 200, bottomRight = 188, across = 205, down = 186;
}

std::vector<Byte> makeEscpShowcase() {
    EscpStream p;
    p.esc('@');
    p.esc('t', 1);  // the graphics table: boxes and Greek
    p.raw({boxes::topLeft});
    for (int i = 0; i < 78; ++i) p.raw({boxes::across});
    p.raw({boxes::topRight});
    p.newLine();
    p.raw({boxes::down});
    p.headTo(26 * 6);
    p.esc('W', 1);
    p.esc('E');
    p.text("TAMBRIX  ESC/P");
    p.esc('F');
    p.esc('W', 0);
    p.headTo(79 * 6);
    p.raw({boxes::down});
    p.newLine();
    p.raw({boxes::bottomLeft});
    for (int i = 0; i < 78; ++i) p.raw({boxes::across});
    p.raw({boxes::bottomRight});
    p.newLine();
    p.newLine();

    p.text("Pica, ten characters an inch: the quick brown fox jumps over the lazy dog.");
    p.newLine();
    p.esc('M');
    p.text("Elite, twelve an inch: the quick brown fox jumps over the lazy dog. 0123456789");
    p.newLine();
    p.esc('P');
    p.raw({15});
    p.text("Condensed pica, 17.14 an inch: the quick brown fox jumps over the lazy dog. !\"#$%&'()*+,-./:;<=>?");
    p.raw({18});
    p.newLine();
    p.esc('!', 5);
    p.text("Condensed elite, twenty an inch: THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG. [\\]^_`{|}~ 0123456789");
    p.esc('!', 0);
    p.newLine();
    p.raw({14});
    p.text("Double width");
    p.raw({20});
    p.text(" one line, ");
    p.esc('E');
    p.text("emphasized");
    p.esc('F');
    p.text(", ");
    p.esc('G');
    p.text("struck twice");
    p.esc('H');
    p.text(", ");
    p.esc('4');
    p.text("italic");
    p.esc('5');
    p.text(", ");
    p.esc('-', 1);
    p.text("underlined");
    p.esc('-', 0);
    p.newLine();
    p.text("Scripts: E = mc");
    p.esc('S', 0);
    p.text("2");
    p.esc('T');
    p.text(", H");
    p.esc('S', 1);
    p.text("2");
    p.esc('T');
    p.text("O, x");
    p.esc('S', 1);
    p.text("n+1");
    p.esc('T');
    p.text(" = x");
    p.esc('S', 1);
    p.text("n");
    p.esc('T');
    p.esc('S', 0);
    p.text("2");
    p.esc('T');
    p.text(" + c");
    p.newLine();
    p.newLine();

    // Each international set at the twelve places it changes.
    const char* sets[] = {"USA", "France", "Germany", "United Kingdom", "Denmark I", "Sweden", "Italy",
                          "Spain I", "Japan", "Norway", "Denmark II", "Spain II", "Latin America"};
    p.esc('t', 0);
    p.esc('M');
    for (int n = 0; n < 13; ++n) {
        p.esc('R', 0);
        p.text(sets[n]);
        p.headTo(20 * 6);
        p.esc('R', n);
        p.text("# $ @ [ \\ ] ^ ` { | } ~");
        p.esc('R', 0);
        p.newLine();
    }
    p.esc('P');
    p.newLine();

    // The graphics table's upper half, in sixteen rows of eight.
    p.esc('t', 1);
    p.text("Graphics table:");
    p.newLine();
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 16; ++col) {
            p.raw({128 + row * 16 + col});
            p.text(" ");
        }
        p.newLine();
    }
    p.esc('t', 0);
    p.newLine();

    // A table set with tab stops.
    p.raw({27, 'D', 20, 34, 48, 62, 0});
    p.esc('-', 1);
    p.text("Item");
    p.tab();
    p.text("Pins");
    p.tab();
    p.text("Pitch");
    p.tab();
    p.text("Dots/inch");
    p.esc('-', 0);
    p.newLine();
    const char* rows[][4] = {{"Draft pica", "9", "1/10 in", "120"}, {"Draft elite", "9", "1/12 in", "144"},
                             {"Condensed", "9", "1/17 in", "205"}, {"Graphics", "8 or 9", "-", "60-240"}};
    for (const auto& row : rows) {
        p.text(row[0]);
        for (int i = 1; i < 4; ++i) {
            p.tab();
            p.text(row[i]);
        }
        p.newLine();
    }
    p.newLine();

    // Three bands of 120-dpi graphics: two curves over a dotted axis, 6 inches wide.
    p.text("Plotted with ESC * 1, six bands of eight pins:");
    p.newLine();
    p.esc('3', 24);  // 24/216 inch: one band of eight pins a line
    const int columns = 720, rows8 = 48;
    for (int band = 0; band < 6; ++band) {
        p.raw({27, '*', 1, columns % 256, columns / 256});
        for (int x = 0; x < columns; ++x) {
            double t = x / 120.0;
            int a = static_cast<int>(std::lround(23.5 + 22.5 * std::sin(t * 1.6)));
            int b = static_cast<int>(std::lround(23.5 + 22.5 * std::cos(t * 1.05) * std::exp(-t / 5)));
            Byte column = 0;
            for (int pin = 0; pin < 8; ++pin) {
                int y = band * 8 + pin;
                bool axis = y == rows8 / 2 && x % 6 == 0;
                bool on = y == a || y == b || axis || (x == 0);
                if (on) column |= static_cast<Byte>(0x80 >> pin);
            }
            p.raw({column});
        }
        p.newLine();
    }
    p.esc('2');
    p.newLine();
    p.esc('E');
    p.text("That is all.");
    p.esc('F');
    p.newLine();
    p.raw({12});
    return p.out;
}

void writeFile(const std::filesystem::path& path, const std::vector<Byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
    std::cout << path.string() << ": " << bytes.size() << " bytes\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_samples <output-dir>\n";
        return 2;
    }
    try {
        const std::filesystem::path dir = argv[1];
        std::filesystem::create_directories(dir);
        writeFile(dir / "showcase.prn", makeShowcase());
        writeFile(dir / "listing.prn", makeListing());
        writeFile(dir / "raw_showcase.prn", makeRawShowcase());
        writeFile(dir / "escp_showcase.prn", makeEscpShowcase());
    } catch (const std::exception& e) {
        std::cerr << "make_samples: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
