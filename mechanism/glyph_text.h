// The text character of each glyph of the character ROM, so that a printed cell can be
// turned back into text whatever ROM image the run loaded. make_font writes the table
// from the font source (build tree, glyph_text.cpp).
#pragma once

#include <cstdint>

// One glyph and the character it stands for.
struct GlyphText {
  uint16_t glyph;  // offset of the glyph's first byte in the ROM image, 0x800-0xDBA
  char32_t text;   // Unicode code point it gives in text; 0 for none (left out of the text)
};

extern const GlyphText glyphTexts[];   // every glyph of the font, in glyph order
extern const unsigned glyphTextCount;  // entries of glyphTexts
