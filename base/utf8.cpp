#include "base/utf8.h"

void appendUtf8(std::string &text, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return;
  if (c < 0x80) {
    text += char(c);
  } else if (c < 0x800) {
    text += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
  } else if (c < 0x10000) {
    text += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
  } else {
    text += {char(0xF0 | c >> 18), char(0x80 | (c >> 12 & 0x3F)), char(0x80 | (c >> 6 & 0x3F)),
             char(0x80 | (c & 0x3F))};
  }
}
