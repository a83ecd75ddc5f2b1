// make_font: turns the dot-picture font source into the 4096-byte character
// ROM image the printer emulation loads, and optionally into a C++ source that
// lists the text character of every glyph.
//
//   make_font <source> <output> [<glyph text source>]
//
// The source is a sequence of blocks, one per glyph:
//
//   0x906 U+0041 A capital A   <- offset in the image, text character, label
//   .###..                     <- 7 rows of 6 dots, '#' set, '.' clear
//   ...
//
// The text character is U+ and 4 to 6 hex digits, or U+none for a glyph that
// gives no text. Blank lines and comment lines (starting with ';' or '//') may
// sit between blocks. Anything else is an error, reported as file:line. The
// outputs are only written when the whole source is valid and every used slot
// has a glyph.

#include <algorithm>
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
constexpr char32_t last_code_point = 0x10FFFF;
constexpr char32_t first_surrogate = 0xD800;
constexpr char32_t last_surrogate = 0xDFFF;
constexpr char32_t no_text = 0;  // the table's value for U+none
constexpr int exit_invalid = 1;
constexpr int exit_usage = 2;

struct SlotRange {
    int region;
    int first_slot;
    int last_slot;
};

// The slots the printer reads; every other byte of the image stays zero.
// Mirrors the glyph region map of mechanism/character_rom.cpp (its region starts,
// code runs and business-set singles): change both together.
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
    int line = 0;              // line of the block's header, for messages
    char32_t text = no_text;   // Unicode code point it gives in text, or no_text
    std::array<std::uint8_t, glyph_width> columns{};
};

struct Header {
    int offset = 0;    // image offset; image_size for any offset too large to matter
    std::string rest;  // what follows the offset: text character and label
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

// Reads a header such as "0x906 U+0041 A capital A" as far as a hex offset,
// white space and something after it.
static std::optional<Header> parse_header(const std::string& line)
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
    const std::size_t rest = line.find_first_not_of(" \t", end);
    if (rest == std::string::npos)
        return std::nullopt;
    return Header{offset >= image_size ? image_size : offset, line.substr(rest)};
}

// Reads the text character that starts a header's rest ("U+0041 A capital A")
// into text; returns an error message or "".
static std::string read_text(const std::string& rest, char32_t& text)
{
    const std::size_t end = std::min(rest.find_first_of(" \t"), rest.size());
    const std::string field = rest.substr(0, end);
    if (field.compare(0, 2, "U+") != 0)
        return "expected the glyph's text character after the offset, such as U+0041 or U+none";
    const std::string digits = field.substr(2);
    if (digits == "none") {
        text = no_text;
    } else {
        const bool well_formed = digits.size() >= 4 && digits.size() <= 6 &&
                                 digits.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
        text = well_formed ? static_cast<char32_t>(std::stoul(digits, nullptr, 16)) : no_text;
        if (text == no_text || text > last_code_point || (text >= first_surrogate && text <= last_surrogate))
            return "'" + field + "' is not a text character: U+ and 4 to 6 hex digits up to U+10FFFF, "
                   "no surrogate, or U+none";
    }
    if (rest.find_first_not_of(" \t", end) == std::string::npos)
        return "expected a label after the text character";
    return "";
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
        const std::optional<Header> header = parse_header(line);
        if (!header) {
            report(path, line_number, "expected a glyph header such as '0x906 U+0041 A capital A'");
            return std::nullopt;
        }
        char32_t text = no_text;
        std::string problem = check_offset(header->offset, glyphs);
        if (problem.empty())
            problem = read_text(header->rest, text);
        if (!problem.empty()) {
            report(path, line_number, problem);
            return std::nullopt;
        }
        block = &glyphs[header->offset];
        block->line = line_number;
        block->text = text;
        block_offset = header->offset;
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

// Writes the C++ source that lists every glyph with its text character, in
// offset order, for mechanism/glyph_text.h; returns whether it was written.
static bool write_text_table(const std::string& path, const std::map<int, Glyph>& glyphs)
{
    std::ofstream output(path, std::ios::trunc);
    output << "// Generated by make_font from the font source; do not edit.\n"
              "#include \"mechanism/glyph_text.h\"\n\n"
              "const GlyphText glyphTexts[] = {\n";
    for (const auto& [offset, glyph] : glyphs)
        output << "    {" << hex(offset) << ", " << hex(static_cast<int>(glyph.text)) << "},\n";
    output << "};\n"
              "const unsigned glyphTextCount = " << glyphs.size() << ";\n";
    output.close();
    if (!output) {
        std::cerr << path << ": cannot write\n";
        return false;
    }
    return true;
}

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: make_font <source> <output> [<glyph text source>]\n";
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
    if (argc == 4 && !write_text_table(argv[3], *glyphs))
        return exit_invalid;
    return 0;
}
