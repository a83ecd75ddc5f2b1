// UTF-8 encoding of single characters, for the transcript and the PDF's text.
#pragma once

#include <string>

// Appends the character to text as UTF-8; a value that is no character adds nothing.
void appendUtf8(std::string &text, char32_t character);
