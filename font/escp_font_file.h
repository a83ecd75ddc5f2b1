// Reading the 9-pin glyph file that make_escp_font writes (its layout is
// described at the top of make_escp_font.cpp). Used by the font's own tools:
// the preview and the checks.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace escp_font {

inline constexpr int rows = 9;
inline constexpr int columns = 11;
inline constexpr char file_magic[] = "TMBXESCP1\n";
inline constexpr int record_size = 1 + 4 + 2 * columns;

struct FileGlyph {
    int face = 0;  // 0 roman, 1 italic
    char32_t code_point = 0;
    std::array<std::uint16_t, columns> columns_{};  // bit 0 is pin 1

    bool dot(int pin, int column) const  // pin 0-8 from the top, column 0-10
    {
        return (columns_[column] >> pin) & 1u;
    }
};

// Reads the whole file; nothing if it cannot be read or its layout is wrong
// (error says why).
inline std::optional<std::vector<FileGlyph>> read_file(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open";
        return std::nullopt;
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t magic_size = sizeof file_magic - 1;
    if (data.size() < magic_size + 4 || data.compare(0, magic_size, file_magic) != 0) {
        error = path + ": not a 9-pin glyph file";
        return std::nullopt;
    }
    const auto byte = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])); };
    const auto u16 = [&](std::size_t at) { return byte(at) | byte(at + 1) << 8; };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::uint32_t count = u32(magic_size);
    if (data.size() != magic_size + 4 + std::size_t{count} * record_size) {
        error = path + ": size does not match its glyph count " + std::to_string(count);
        return std::nullopt;
    }
    std::vector<FileGlyph> glyphs;
    for (std::size_t at = magic_size + 4; at < data.size(); at += record_size) {
        FileGlyph glyph;
        glyph.face = static_cast<int>(byte(at));
        glyph.code_point = static_cast<char32_t>(u32(at + 1));
        for (int column = 0; column < columns; ++column)
            glyph.columns_[column] = static_cast<std::uint16_t>(u16(at + 5 + 2 * column));
        glyphs.push_back(glyph);
    }
    return glyphs;
}

}  // namespace escp_font
