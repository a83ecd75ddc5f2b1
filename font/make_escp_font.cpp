// make_escp_font: turns the dot pictures of the 9-pin fonts (escp.font) into
// the glyph file the 9-pin printer loads at run time.
//
//   make_escp_font <source> <output>
//
// The source is a sequence of blocks, one per glyph:
//
//   roman U+0041 A latin capital letter a   <- face, character shown, label
//   .....#.....                             <- 9 rows (pin 1 first) of 11
//   ...                                        half-dot columns, '#' dot
//
// Blank lines and lines starting with ';' may sit between blocks. The source
// is refused (exit status 1, the first fault reported as file:line) when a row
// has the wrong length, holds anything but '#' and '.', has dots in two
// neighbouring columns or a dot in column 11, when a block is cut short, a
// face and character come twice, a required character (escp_coverage.h) is
// missing from either face, a space holds a dot or another glyph holds none.
// The output is written only for a valid source.
//
// The output file, all numbers little-endian:
//
//   "TMBXESCP1\n"               10 bytes, the magic
//   uint32 count                number of glyphs
//   count records, sorted by face, then by code point, each 27 bytes:
//     uint8  face               0 roman, 1 italic
//     uint32 code point         the Unicode character the glyph shows
//     11 x uint16 columns       left to right; bit 0 is pin 1 ... bit 8 pin 9

#include "escp_coverage.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

namespace {

constexpr int glyph_rows = 9;
constexpr int glyph_columns = 11;
constexpr char32_t last_code_point = 0x10FFFF;
constexpr char32_t first_surrogate = 0xD800;
constexpr char32_t last_surrogate = 0xDFFF;
constexpr int exit_invalid = 1;
constexpr int exit_usage = 2;
constexpr char magic[] = "TMBXESCP1\n";
constexpr const char* face_names[] = {"roman", "italic"};
constexpr int face_count = 2;

struct Glyph {
    int line = 0;  // line of the block's header, for messages
    std::array<std::uint16_t, glyph_columns> columns{};
};

using GlyphKey = std::pair<int, char32_t>;  // face, code point
using GlyphMap = std::map<GlyphKey, Glyph>;

struct Header {
    int face = 0;
    char32_t code_point = 0;
};

void report(const std::string& path, int line, const std::string& message)
{
    std::cerr << path << ':' << line << ": " << message << '\n';
}

std::string code_point_name(char32_t code_point)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = code_point > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4)
        text += digits[(code_point >> shift) & 0xF];
    return "U+" + text;
}

std::string glyph_name(const GlyphKey& key)
{
    return std::string(face_names[key.first]) + ' ' + code_point_name(key.second);
}

std::string without_trailing_space(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool is_blank_or_comment(const std::string& line)
{
    const std::size_t start = line.find_first_not_of(" \t");
    return start == std::string::npos || line[start] == ';';
}

bool looks_like_row(const std::string& line)
{
    return !line.empty() && (line[0] == '#' || line[0] == '.');
}

// Reads "roman U+0041 label"; returns an error message or "".
std::string parse_header(const std::string& line, Header& header)
{
    std::istringstream words(line);
    std::string face, character, label;
    words >> face >> character >> label;
    header.face = -1;
    for (int f = 0; f < face_count; ++f)
        if (face == face_names[f])
            header.face = f;
    if (header.face < 0)
        return "expected a glyph header such as 'roman U+0041 capital A'";
    const std::string digits = character.size() > 2 ? character.substr(2) : "";
    const bool well_formed = character.compare(0, 2, "U+") == 0 && digits.size() >= 4 &&
                             digits.size() <= 6 &&
                             digits.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
    header.code_point = well_formed ? static_cast<char32_t>(std::stoul(digits, nullptr, 16)) : 0;
    if (!well_formed || header.code_point > last_code_point ||
        (header.code_point >= first_surrogate && header.code_point <= last_surrogate))
        return "'" + character + "' is not a character: U+ and 4 to 6 hex digits up to U+10FFFF, "
               "no surrogate";
    if (label.empty())
        return "expected a label after the character";
    return "";
}

// Checks one row of dots and adds it to the glyph; returns an error message or "".
std::string add_row(const std::string& row, int pin, Glyph& glyph)
{
    if (row.find_first_not_of("#.") != std::string::npos)
        return "glyph row may only hold '#' (dot) and '.' (no dot)";
    if (row.size() == glyph_columns + 1 && row[glyph_columns] == '#')
        return "dot in column 11: that column keeps neighbouring characters apart";
    if (row.size() != glyph_columns)
        return "glyph row has " + std::to_string(row.size()) + " columns, expected " +
               std::to_string(glyph_columns);
    for (int column = 0; column < glyph_columns; ++column) {
        if (row[column] != '#')
            continue;
        if (column > 0 && row[column - 1] == '#')
            return "dots in neighbouring columns " + std::to_string(column - 1) + " and " +
                   std::to_string(column) + ": a pin cannot fire again half a dot later";
        glyph.columns[column] = static_cast<std::uint16_t>(glyph.columns[column] | (1u << pin));
    }
    return "";
}

bool is_space(char32_t code_point)
{
    return code_point == 0x20 || code_point == 0xA0;
}

// Checks a finished block; returns an error message or "".
std::string check_glyph(const GlyphKey& key, const Glyph& glyph)
{
    bool any = false;
    for (std::uint16_t column : glyph.columns)
        any = any || column != 0;
    if (is_space(key.second) && any)
        return glyph_name(key) + " is a space and must stay blank";
    if (!is_space(key.second) && !any)
        return glyph_name(key) + " has no dots";
    return "";
}

// Parses the whole source; prints the first error and returns nothing on failure.
std::optional<GlyphMap> parse_source(const std::string& path, std::istream& in)
{
    GlyphMap glyphs;
    std::optional<GlyphKey> block;  // the block being read, while rows are expected
    Glyph current;
    int rows = 0;
    int line_number = 0;
    std::string raw;

    const auto finish_block = [&]() -> bool {
        const std::string error = check_glyph(*block, current);
        if (!error.empty()) {
            report(path, current.line, error);
            return false;
        }
        glyphs.emplace(*block, current);
        block.reset();
        return true;
    };

    while (std::getline(in, raw)) {
        ++line_number;
        const std::string line = without_trailing_space(raw);

        if (block) {
            if (!looks_like_row(line)) {
                report(path, line_number,
                       glyph_name(*block) + " has " + std::to_string(rows) + " of its " +
                           std::to_string(glyph_rows) + " rows");
                return std::nullopt;
            }
            const std::string error = add_row(line, rows, current);
            if (!error.empty()) {
                report(path, line_number, error);
                return std::nullopt;
            }
            if (++rows == glyph_rows && !finish_block())
                return std::nullopt;
            continue;
        }

        if (is_blank_or_comment(line))
            continue;
        if (looks_like_row(line)) {
            report(path, line_number, "glyph has more than " + std::to_string(glyph_rows) +
                                          " rows, or a row without a header");
            return std::nullopt;
        }
        Header header;
        const std::string error = parse_header(line, header);
        if (!error.empty()) {
            report(path, line_number, error);
            return std::nullopt;
        }
        const GlyphKey key{header.face, header.code_point};
        const auto earlier = glyphs.find(key);
        if (earlier != glyphs.end()) {
            report(path, line_number,
                   glyph_name(key) + " is already defined at line " + std::to_string(earlier->second.line));
            return std::nullopt;
        }
        block = key;
        current = Glyph{line_number, {}};
        rows = 0;
    }
    if (block) {
        report(path, line_number,
               glyph_name(*block) + " has " + std::to_string(rows) + " of its " +
                   std::to_string(glyph_rows) + " rows");
        return std::nullopt;
    }

    bool complete = true;
    for (int face = 0; face < face_count; ++face)
        escp_font::for_each_required([&](char32_t code_point) {
            if (complete && !glyphs.count({face, code_point})) {
                report(path, line_number, "missing glyph: " + glyph_name({face, code_point}));
                complete = false;
            }
        });
    if (!complete)
        return std::nullopt;
    return glyphs;
}

void put_uint16(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put_uint32(std::string& out, std::uint32_t value)
{
    put_uint16(out, value & 0xFFFF);
    put_uint16(out, value >> 16);
}

std::string encode(const GlyphMap& glyphs)
{
    std::string out(magic, sizeof magic - 1);
    put_uint32(out, static_cast<std::uint32_t>(glyphs.size()));
    for (const auto& [key, glyph] : glyphs) {  // std::map keeps (face, code point) order
        out += static_cast<char>(key.first);
        put_uint32(out, key.second);
        for (std::uint16_t column : glyph.columns)
            put_uint16(out, column);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: make_escp_font <source> <output>\n";
        return exit_usage;
    }
    const std::string source_path = argv[1];
    const std::string output_path = argv[2];

    std::ifstream source(source_path);
    if (!source) {
        std::cerr << source_path << ": cannot open\n";
        return exit_usage;
    }
    const std::optional<GlyphMap> glyphs = parse_source(source_path, source);
    if (!glyphs)
        return exit_invalid;

    const std::string data = encode(*glyphs);
    std::ofstream output(output_path, std::ios::binary | std::ios::trunc);
    output.write(data.data(), static_cast<std::streamsize>(data.size()));
    output.close();
    if (!output) {
        std::cerr << output_path << ": cannot write\n";
        std::remove(output_path.c_str());
        return exit_usage;
    }
    return 0;
}
