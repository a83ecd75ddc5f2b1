// escp_font_check: checks rules of the generated 9-pin glyph file that the
// generator cannot see block by block.
//
//   escp_font_check <glyph file> <rule>
//
// Rules:
//   coverage        the list of required characters is whole (32-126, the 128
//                   characters of the graphics table's upper half, every letter
//                   of the international sets) and both faces hold each of them
//   firing          no row has dots in neighbouring columns, no column word has
//                   bits above pin 9, records are sorted and unique
//   box_pieces_meet every box-drawing piece reaches the cell edge on each of its
//                   arms, on the shared centre lines, and leaves the other edges
//                   free; horizontal lines stand on even columns
//   graphics_upright the italic face draws lines, blocks and shades exactly as
//                   the roman one
//
// Exit status 0 when the rule holds, 1 with a message per fault otherwise.

#include "escp_coverage.h"
#include "escp_font_file.h"

#include <iostream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using escp_font::FileGlyph;
using GlyphIndex = std::map<std::pair<int, char32_t>, const FileGlyph*>;

constexpr const char* face_names[] = {"roman", "italic"};

// The letters and signs the international sets put on their twelve codes,
// written out as the sets show them.
constexpr const char national_letters[] =
    "#$@[\\]^`{|}~ à°ç§éùè¨ ÄÖÜäöüß £ ÆØÅæøå ¤É é òì ₧¡Ñ¿ñ ¥ áíóú";

std::vector<char32_t> decode_utf8(const std::string& text)
{
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(c);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string name(int face, char32_t code_point)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int shift = 12; shift >= 0; shift -= 4)
        hex += digits[(code_point >> shift) & 0xF];
    return std::string(face_names[face]) + " U+" + hex;
}

int check_coverage(const GlyphIndex& glyphs)
{
    int faults = 0;
    std::set<char32_t> required;
    int listed = 0;
    escp_font::for_each_required([&](char32_t c) {
        required.insert(c);
        ++listed;
    });
    if (listed != escp_font::required_count || static_cast<int>(required.size()) != listed) {
        std::cerr << "the required list has " << listed << " entries, " << required.size()
                  << " different, expected " << escp_font::required_count << '\n';
        ++faults;
    }
    for (char32_t c = 32; c <= 126; ++c)
        if (!required.count(c)) {
            std::cerr << "the required list lacks " << name(0, c) << '\n';
            ++faults;
        }
    for (char32_t c : decode_utf8(national_letters))
        if (c != U' ' && !required.count(c)) {
            std::cerr << "the required list lacks the national letter " << name(0, c) << '\n';
            ++faults;
        }
    for (int face = 0; face < 2; ++face)
        for (char32_t c : required)
            if (!glyphs.count({face, c})) {
                std::cerr << "missing glyph " << name(face, c) << '\n';
                ++faults;
            }
    return faults;
}

int check_firing(const std::vector<FileGlyph>& list)
{
    int faults = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const FileGlyph& glyph = list[i];
        if (i > 0 && std::make_pair(list[i - 1].face, list[i - 1].code_point) >=
                         std::make_pair(glyph.face, glyph.code_point)) {
            std::cerr << name(glyph.face, glyph.code_point) << " is out of order or repeated\n";
            ++faults;
        }
        for (int column = 0; column < escp_font::columns; ++column) {
            if (glyph.columns_[column] >> escp_font::rows) {
                std::cerr << name(glyph.face, glyph.code_point) << " column " << column
                          << " has dots below pin 9\n";
                ++faults;
            }
            if (column > 0 && (glyph.columns_[column] & glyph.columns_[column - 1])) {
                std::cerr << name(glyph.face, glyph.code_point) << " fires a pin in columns "
                          << column - 1 << " and " << column << '\n';
                ++faults;
            }
        }
    }
    return faults;
}

// Arms of a box-drawing piece: 0 none, 1 single, 2 double.
struct BoxPiece {
    char32_t code_point;
    int up, down, left, right;
};

constexpr BoxPiece box_pieces[] = {
    {0x2500, 0, 0, 1, 1}, {0x2502, 1, 1, 0, 0}, {0x250C, 0, 1, 0, 1}, {0x2510, 0, 1, 1, 0},
    {0x2514, 1, 0, 0, 1}, {0x2518, 1, 0, 1, 0}, {0x251C, 1, 1, 0, 1}, {0x2524, 1, 1, 1, 0},
    {0x252C, 0, 1, 1, 1}, {0x2534, 1, 0, 1, 1}, {0x253C, 1, 1, 1, 1}, {0x2550, 0, 0, 2, 2},
    {0x2551, 2, 2, 0, 0}, {0x2552, 0, 1, 0, 2}, {0x2553, 0, 2, 0, 1}, {0x2554, 0, 2, 0, 2},
    {0x2555, 0, 1, 2, 0}, {0x2556, 0, 2, 1, 0}, {0x2557, 0, 2, 2, 0}, {0x2558, 1, 0, 0, 2},
    {0x2559, 2, 0, 0, 1}, {0x255A, 2, 0, 0, 2}, {0x255B, 1, 0, 2, 0}, {0x255C, 2, 0, 1, 0},
    {0x255D, 2, 0, 2, 0}, {0x255E, 1, 1, 0, 2}, {0x255F, 2, 2, 0, 1}, {0x2560, 2, 2, 0, 2},
    {0x2561, 1, 1, 2, 0}, {0x2562, 2, 2, 1, 0}, {0x2563, 2, 2, 2, 0}, {0x2564, 0, 1, 2, 2},
    {0x2565, 0, 2, 1, 1}, {0x2566, 0, 2, 2, 2}, {0x2567, 1, 0, 2, 2}, {0x2568, 2, 0, 1, 1},
    {0x2569, 2, 0, 2, 2}, {0x256A, 1, 1, 2, 2}, {0x256B, 2, 2, 1, 1}, {0x256C, 2, 2, 2, 2},
};

// The centre lines: single vertical on column 6, doubles on 4 and 8; single
// horizontal on pin 5, doubles on pins 3 and 7 (rows counted from 0).
std::vector<int> line_columns(int kind) { return kind == 1 ? std::vector<int>{6} : std::vector<int>{4, 8}; }
std::vector<int> line_rows(int kind) { return kind == 1 ? std::vector<int>{4} : std::vector<int>{2, 6}; }

int check_box_pieces(const GlyphIndex& glyphs)
{
    int faults = 0;
    const auto fault = [&](const FileGlyph& glyph, const std::string& what) {
        std::cerr << name(glyph.face, glyph.code_point) << ' ' << what << '\n';
        ++faults;
    };
    for (int face = 0; face < 2; ++face)
        for (const BoxPiece& piece : box_pieces) {
            const auto found = glyphs.find({face, piece.code_point});
            if (found == glyphs.end()) {
                std::cerr << "missing glyph " << name(face, piece.code_point) << '\n';
                ++faults;
                continue;
            }
            const FileGlyph& glyph = *found->second;
            // Each edge holds dots exactly where an arm crosses it.
            const auto edge_rows = [&](int column) {
                std::set<int> rows;
                for (int pin = 0; pin < escp_font::rows; ++pin)
                    if (glyph.dot(pin, column))
                        rows.insert(pin);
                return rows;
            };
            const auto edge_columns = [&](int pin) {
                std::set<int> columns;
                for (int column = 0; column < escp_font::columns; ++column)
                    if (glyph.dot(pin, column))
                        columns.insert(column);
                return columns;
            };
            const auto wanted = [](int kind, std::vector<int> (*lines)(int)) {
                std::set<int> at;
                if (kind)
                    for (int line : lines(kind))
                        at.insert(line);
                return at;
            };
            if (edge_rows(0) != wanted(piece.left, line_rows))
                fault(glyph, "does not meet its left neighbour on the centre lines");
            if (edge_rows(escp_font::columns - 1) != wanted(piece.right, line_rows))
                fault(glyph, "does not meet its right neighbour on the centre lines");
            if (edge_columns(0) != wanted(piece.up, line_columns))
                fault(glyph, "does not meet the line above on the centre lines");
            if (edge_columns(escp_font::rows - 1) != wanted(piece.down, line_columns))
                fault(glyph, "does not meet the line below on the centre lines");
            // A horizontal arm runs on without a gap: every even column up to the
            // centre, nothing on odd columns.
            for (int pin = 0; pin < escp_font::rows; ++pin)
                for (int column = 1; column < escp_font::columns; column += 2)
                    if (glyph.dot(pin, column))
                        fault(glyph, "has a dot on odd column " + std::to_string(column));
            const auto arm_runs = [&](int kind, int from, int to) {
                if (!kind)
                    return;
                for (int pin : line_rows(kind))
                    for (int column = from; column <= to; column += 2)
                        if (!glyph.dot(pin, column))
                            fault(glyph, "has a gap in a horizontal arm at pin " + std::to_string(pin + 1) +
                                             " column " + std::to_string(column));
            };
            arm_runs(piece.left, 0, 2);
            arm_runs(piece.right, 10, 10);
            const auto arm_stands = [&](int kind, int from, int to) {
                if (!kind)
                    return;
                for (int column : line_columns(kind))
                    for (int pin = from; pin <= to; ++pin)
                        if (!glyph.dot(pin, column))
                            fault(glyph, "has a gap in a vertical arm at pin " + std::to_string(pin + 1) +
                                             " column " + std::to_string(column));
            };
            arm_stands(piece.up, 0, 1);
            arm_stands(piece.down, 7, 8);
        }
    return faults;
}

bool is_line_graphic(char32_t c)
{
    return (c >= 0x2500 && c <= 0x257F) || (c >= 0x2580 && c <= 0x259F);
}

int check_graphics_upright(const GlyphIndex& glyphs)
{
    int faults = 0;
    int compared = 0;
    for (const auto& [key, glyph] : glyphs) {
        if (key.first != 0 || !is_line_graphic(key.second))
            continue;
        const auto italic = glyphs.find({1, key.second});
        if (italic == glyphs.end() || italic->second->columns_ != glyph->columns_) {
            std::cerr << name(1, key.second) << " differs from " << name(0, key.second) << '\n';
            ++faults;
        }
        ++compared;
    }
    if (compared < 48) {  // 40 box pieces, 5 blocks, 3 shades
        std::cerr << "only " << compared << " line graphics in the roman face\n";
        ++faults;
    }
    return faults;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: escp_font_check <glyph file> <rule>\n";
        return 2;
    }
    std::string error;
    const auto list = escp_font::read_file(argv[1], error);
    if (!list) {
        std::cerr << error << '\n';
        return 1;
    }
    GlyphIndex glyphs;
    for (const FileGlyph& glyph : *list)
        glyphs[{glyph.face, glyph.code_point}] = &glyph;

    const std::string rule = argv[2];
    int faults = 0;
    if (rule == "coverage")
        faults = check_coverage(glyphs);
    else if (rule == "firing")
        faults = check_firing(*list);
    else if (rule == "box_pieces_meet")
        faults = check_box_pieces(glyphs);
    else if (rule == "graphics_upright")
        faults = check_graphics_upright(glyphs);
    else {
        std::cerr << "unknown rule '" << rule << "'\n";
        return 2;
    }
    if (faults)
        std::cerr << rule << ": " << faults << " fault(s)\n";
    return faults ? 1 : 0;
}
