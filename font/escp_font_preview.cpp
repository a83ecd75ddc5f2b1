// escp_font_preview: draws every glyph of both 9-pin faces into a PNG, as the
// dots would stand on paper: half-dot columns 1/120 inch apart, dot rows 1/72
// inch apart, each dot a round spot a little wider than a pin's pitch.
//
//   escp_font_preview <glyph file> <output.png> [pixels per half-column]
//
// The roman face comes first, then the italic, each in the order of
// escp_coverage.h (32-126, codes 128-255 of the graphics table, the remaining
// national letters), 32 glyphs to a line of 1/6 inch.

#include "escp_coverage.h"
#include "escp_font_file.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int glyphs_per_line = 32;
constexpr int cell_columns = 12;    // half-dot columns per character at pica
constexpr int line_rows = 12;       // dot rows per 1/6-inch line
constexpr double row_per_column = 120.0 / 72.0;  // a dot row measured in half-columns
constexpr double dot_diameter = 1.9;             // in half-columns, about 0.4 mm
constexpr int margin_cells = 1;

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> grey;  // 255 white

    void dot(double x, double y, double radius)
    {
        const int x0 = std::max(0, static_cast<int>(x - radius) - 1);
        const int x1 = std::min(width - 1, static_cast<int>(x + radius) + 1);
        const int y0 = std::max(0, static_cast<int>(y - radius) - 1);
        const int y1 = std::min(height - 1, static_cast<int>(y + radius) + 1);
        for (int py = y0; py <= y1; ++py)
            for (int px = x0; px <= x1; ++px) {
                const double distance = std::hypot(px + 0.5 - x, py + 0.5 - y);
                const double cover = std::clamp(radius + 0.5 - distance, 0.0, 1.0);
                const int ink = static_cast<int>(255 - 225 * cover);
                unsigned char& pixel = grey[static_cast<std::size_t>(py) * width + px];
                pixel = static_cast<unsigned char>(std::min<int>(pixel, ink));
            }
    }
};

void put_uint32_be(std::string& out, unsigned long value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void put_chunk(std::string& out, const char* type, const std::string& body)
{
    put_uint32_be(out, body.size());
    const std::string typed = std::string(type, 4) + body;
    out += typed;
    put_uint32_be(out, crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
}

bool write_png(const Canvas& canvas, const std::string& path)
{
    std::string raw;
    for (int y = 0; y < canvas.height; ++y) {
        raw += '\0';  // no filter
        raw.append(reinterpret_cast<const char*>(&canvas.grey[static_cast<std::size_t>(y) * canvas.width]),
                   static_cast<std::size_t>(canvas.width));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    packed.resize(packed_size);

    std::string header;
    put_uint32_be(header, static_cast<unsigned long>(canvas.width));
    put_uint32_be(header, static_cast<unsigned long>(canvas.height));
    header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", packed);
    put_chunk(png, "IEND", "");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: escp_font_preview <glyph file> <output.png> [pixels per half-column]\n";
        return 2;
    }
    const double scale = argc == 4 ? std::stod(argv[3]) : 4.0;
    std::string error;
    const auto glyphs = escp_font::read_file(argv[1], error);
    if (!glyphs) {
        std::cerr << error << '\n';
        return 1;
    }
    std::map<std::pair<int, char32_t>, const escp_font::FileGlyph*> by_key;
    for (const escp_font::FileGlyph& glyph : *glyphs)
        by_key[{glyph.face, glyph.code_point}] = &glyph;
    std::vector<char32_t> order;
    escp_font::for_each_required([&](char32_t c) { order.push_back(c); });

    const int lines_per_face = (static_cast<int>(order.size()) + glyphs_per_line - 1) / glyphs_per_line;
    const double cell_width = cell_columns * scale;
    const double line_height = line_rows * row_per_column * scale;
    Canvas canvas;
    canvas.width = static_cast<int>(std::ceil((glyphs_per_line + 2 * margin_cells) * cell_width));
    canvas.height = static_cast<int>(std::ceil((2 * lines_per_face + 3) * line_height));
    canvas.grey.assign(static_cast<std::size_t>(canvas.width) * canvas.height, 255);

    const double radius = dot_diameter * scale / 2;
    for (int face = 0; face < 2; ++face)
        for (std::size_t i = 0; i < order.size(); ++i) {
            const auto found = by_key.find({face, order[i]});
            if (found == by_key.end())
                continue;
            const int line = static_cast<int>(i) / glyphs_per_line + face * (lines_per_face + 1) + 1;
            const double left = (margin_cells + static_cast<int>(i) % glyphs_per_line) * cell_width;
            const double top = line * line_height;
            for (int pin = 0; pin < escp_font::rows; ++pin)
                for (int column = 0; column < escp_font::columns; ++column)
                    if (found->second->dot(pin, column))
                        canvas.dot(left + (column + 0.5) * scale, top + (pin + 0.5) * row_per_column * scale,
                                   radius);
        }
    if (!write_png(canvas, argv[2])) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
