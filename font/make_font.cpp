// make_font: turns the dot-picture font source into the 4096-byte character
// ROM image the printer emulation loads.
//
//   make_font <source> <output>
//
// The source is a sequence of blocks, one per glyph:
//
//   0x906 A capital A      <- offset in the image, then a label
//   .###..                 <- 7 rows of 6 dots, '#' set, '.' clear
//   ...
//
// Blank lines and comment lines (starting with ';' or '//') may sit between
// blocks. Anything else is an error, reported as file:line. The image is only
// written when the whole source is valid and every used slot has a glyph.

#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

constexpr int image_size = 4096;
constexpr int region_size = 256;
constexpr int glyph_width = 6;   // dot columns, one byte each, left to right
constexpr int glyph_height = 7;  // dot rows, bit 0 is the top row
constexpr int exit_invalid = 1;
constexpr int exit_usage = 2;

struct SlotRange {
    int region;
    int first_slot;
    int last_slot;
};

// The slots the printer reads; every other byte of the image stays zero.
static const SlotRange used_slots[] = {
    {0x800, 0, 31},   // codes 32-63: space, punctuation, digits
    {0x900, 0, 31},   // codes 64-95: @, capitals, [ pound ] and the two arrows
    {0xA00, 0, 31},   // codes 160-191: shifted space and block graphics
    {0xB00, 0, 31},   // codes 96-127: line graphics, card suits, pi
    {0xB00, 34, 35},  // business set 186 and 169: tick and diagonal hatch
    {0xD00, 1, 26},   // business set 65-90: lower-case letters
    {0xD00, 30, 31},  // business set 126 and 127: checkerboard and hatch
};

// Used slots that must print nothing; all others must have at least one dot.
static const int blank_slots[] = {
    0x800,  // space
    0xA00,  // shifted space
};

struct Glyph {
    int line = 0;  // line of the block's header, for messages
    std::array<std::uint8_t, glyph_width> columns{};
};

static bool is_used_slot(int offset)
{
    for (const SlotRange& range : used_slots) {
        const int first = range.region + glyph_width * range.first_slot;
        const int last = range.region + glyph_width * range.last_slot;
        if (offset >= first && offset <= last && (offset - first) % glyph_width == 0)
            return true;
    }
    return false;
}

static bool is_blank_slot(int offset)
{
    for (int blank : blank_slots)
        if (offset == blank)
            return true;
    return false;
}

static std::string hex(int value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value > 0);
    return "0x" + text;
}

static void report(const std::string& path, int line, const std::string& message)
{
    std::cerr << path << ':' << line << ": " << message << '\n';
}

static void report_short_block(const std::string& path, int line, int offset, int rows)
{
    report(path, line, "glyph " + hex(offset) + " has " + std::to_string(rows) + " of its " +
                           std::to_string(glyph_height) + " rows");
}

static std::string without_trailing_space(std::string text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

static bool is_blank_or_comment(const std::string& line)
{
    const std::size_t start = line.find_first_not_of(" \t");
    return start == std::string::npos || line[start] == ';' || line.compare(start, 2, "//") == 0;
}

static bool looks_like_row(const std::string& line)
{
    return !line.empty() && line.find_first_not_of("#.") == std::string::npos;
}

// Reads a header such as "0x906 A capital A": a hex offset, white space and a
// non-empty label. Offsets too large to matter come back as image_size.
static std::optional<int> parse_header(const std::string& line)
{
    if (line.size() < 3 || line[0] != '0' || (line[1] != 'x' && line[1] != 'X'))
        return std::nullopt;
    std::size_t end = 2;
    int offset = 0;
    while (end < line.size() && std::isxdigit(static_cast<unsigned char>(line[end]))) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[end])));
        const int digit = c <= '9' ? c - '0' : c - 'a' + 10;
        offset = offset >= image_size ? image_size : offset * 16 + digit;
        ++end;
    }
    if (end == 2 || end == line.size() || (line[end] != ' ' && line[end] != '\t'))
        return std::nullopt;
    if (line.find_first_not_of(" \t", end) == std::string::npos)
        return std::nullopt;
    return offset >= image_size ? image_size : offset;
}

// Checks where a block's offset points; returns an error message or "".
static std::string check_offset(int offset, const std::map<int, Glyph>& glyphs)
{
    if (offset >= image_size)
        return "offset is outside the " + std::to_string(image_size) + "-byte image";
    if (offset % region_size % glyph_width != 0)
        return "offset " + hex(offset) + " is not on a slot boundary (region start + 6*n)";
    if (!is_used_slot(offset))
        return "offset " + hex(offset) + " is not one of the slots the printer uses";
    const auto earlier = glyphs.find(offset);
    if (earlier != glyphs.end())
        return "offset " + hex(offset) + " is already defined at line " +
               std::to_string(earlier->second.line);
    return "";
}

// Parses the whole source; prints the first error and returns nothing on failure.
static std::optional<std::map<int, Glyph>> parse_source(const std::string& path, std::istream& in)
{
    std::map<int, Glyph> glyphs;
    Glyph* block = nullptr;  // the block being read, while rows are expected
    int block_offset = 0;
    int rows = 0;
    int line_number = 0;
    std::string raw;

    while (std::getline(in, raw)) {
        ++line_number;
        const std::string line = without_trailing_space(raw);

        if (block) {
            if (!looks_like_row(line)) {
                if (is_blank_or_comment(line) || parse_header(line)) {
                    report_short_block(path, line_number, block_offset, rows);
                } else {
                    report(path, line_number, "glyph row may only hold '#' (dot) and '.' (no dot)");
                }
                return std::nullopt;
            }
            if (line.size() != glyph_width) {
                report(path, line_number, "glyph row has " + std::to_string(line.size()) +
                                              " dots, expected " + std::to_string(glyph_width));
                return std::nullopt;
            }
            for (int column = 0; column < glyph_width; ++column)
                if (line[column] == '#')
                    block->columns[column] |= static_cast<std::uint8_t>(1u << rows);
            if (++rows == glyph_height)
                block = nullptr;
            continue;
        }

        if (is_blank_or_comment(line))
            continue;
        if (looks_like_row(line)) {
            report(path, line_number, "glyph has more than " + std::to_string(glyph_height) +
                                          " rows, or a row without a header");
            return std::nullopt;
        }
        const std::optional<int> offset = parse_header(line);
        if (!offset) {
            report(path, line_number, "expected a glyph header such as '0x906 A capital A'");
            return std::nullopt;
        }
        const std::string problem = check_offset(*offset, glyphs);
        if (!problem.empty()) {
            report(path, line_number, problem);
            return std::nullopt;
        }
        block = &glyphs[*offset];
        block->line = line_number;
        block_offset = *offset;
        rows = 0;
    }

    if (block) {
        report_short_block(path, line_number, block_offset, rows);
        return std::nullopt;
    }
    return glyphs;
}

// Every used slot must be drawn, and only the space slots may be blank.
static bool check_complete(const std::string& path, const std::map<int, Glyph>& glyphs)
{
    bool complete = true;
    for (const SlotRange& range : used_slots) {
        for (int slot = range.first_slot; slot <= range.last_slot; ++slot) {
            const int offset = range.region + glyph_width * slot;
            if (glyphs.count(offset) == 0) {
                std::cerr << path << ": missing glyph for slot " << hex(offset) << '\n';
                complete = false;
            }
        }
    }
    for (const auto& [offset, glyph] : glyphs) {
        bool has_dots = false;
        for (std::uint8_t column : glyph.columns)
            has_dots = has_dots || column != 0;
        if (!has_dots && !is_blank_slot(offset)) {
            report(path, glyph.line, "glyph " + hex(offset) + " has no dots; only the space slots may be blank");
            complete = false;
        }
        if (has_dots && is_blank_slot(offset)) {
            report(path, glyph.line, "glyph " + hex(offset) + " prints like a space and must stay blank");
            complete = false;
        }
    }
    return complete;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: make_font <source> <output>\n";
        return exit_usage;
    }
    const std::string source_path = argv[1];
    const std::string output_path = argv[2];

    std::ifstream source(source_path);
    if (!source) {
        std::cerr << source_path << ": cannot open\n";
        return exit_invalid;
    }
    const std::optional<std::map<int, Glyph>> glyphs = parse_source(source_path, source);
    if (!glyphs || !check_complete(source_path, *glyphs))
        return exit_invalid;

    std::vector<char> image(image_size, 0);
    for (const auto& [offset, glyph] : *glyphs)
        for (int column = 0; column < glyph_width; ++column)
            image[offset + column] = static_cast<char>(glyph.columns[column]);

    std::ofstream output(output_path, std::ios::binary | std::ios::trunc);
    output.write(image.data(), static_cast<std::streamsize>(image.size()));
    output.close();
    if (!output) {
        std::cerr << output_path << ": cannot write\n";
        return exit_invalid;
    }
    return 0;
}
