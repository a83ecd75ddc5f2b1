// The MPS801's control codes, as a table that reads like its manual: what each code
// does in a printer output file and in a raw stream, when it acts, and its name in the
// stream listing. The interpreter acts on it; the command listing names from it.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

#include "interpreter/printer.h"

// When a code of the table acts; at other times it goes to the print path.
enum class Acts {
  Always,           // in every mode
  UnlessQuote,      // not inside quotes
  InTextMode,       // not in bit-image mode, where it is a data column; inside quotes too
};

struct CommandRow {
  uint8_t code;          // byte value
  Acts acts;             // when it is a command
  Action textFile;       // what it does in a printer output file
  const char *textName;  // its name there, as the stream listing gives it
  Action raw;            // what it does in a raw stream
  const char *rawName;   // its name there
};

// The control codes, in code order.
static const CommandRow commandRows[13] = {
    // code  acts               text-mode file                              raw stream
    {8,      Acts::UnlessQuote, Action::BitImageOn,     "bit image",       Action::BitImageOn,         "bit image"},
    {10,     Acts::Always,      Action::LineFeed,       "line feed",       Action::ReturnFeed,         "line feed"},
    {13,     Acts::Always,      Action::CarriageReturn, "carriage return", Action::CarriageReturnFeed, "carriage return"},
    {14,     Acts::UnlessQuote, Action::DoubleWidthOn,  "double width",    Action::DoubleWidthText,    "double width"},
    {15,     Acts::UnlessQuote, Action::StandardText,   "standard width",  Action::StandardText,       "standard width"},
    {16,     Acts::UnlessQuote, Action::PixelPosition,  "pixel position",  Action::CellPosition,       "column position"},
    {17,     Acts::UnlessQuote, Action::GraphicSet,     "graphic set",     Action::BusinessSet,        "business set"},
    {18,     Acts::UnlessQuote, Action::ReverseOn,      "reverse on",      Action::ReverseOn,          "reverse on"},
    {26,     Acts::UnlessQuote, Action::RepeatColumn,   "repeat column",   Action::RepeatColumn,       "repeat column"},
    {27,     Acts::UnlessQuote, Action::PixelAddress,   "pixel address",   Action::DotAddress,         "dot address"},
    {34,     Acts::Always,      Action::ToggleQuote,    "quote",           Action::ToggleQuote,        "quote"},
    {145,    Acts::InTextMode,  Action::BusinessSet,    "business set",    Action::GraphicSet,         "graphic set"},
    {146,    Acts::InTextMode,  Action::ReverseOff,     "reverse off",     Action::ReverseOff,         "reverse off"},
};

constexpr int noCommand = -1;  // a byte value that is no command

constexpr std::array<int, 256> makeCommandIndex() {
  std::array<int, 256> index{};
  for (int &entry : index) entry = noCommand;
  for (int row = 0; row < int(std::size(commandRows)); ++row) index[commandRows[row].code] = row;
  return index;
}

// Row of commandRows for each byte value, or noCommand.
static const std::array<int, 256> commandIndex = makeCommandIndex();

// What one byte was.
enum class Role {
  Operand,  // an operand of the pending command
  Command,  // a command that acts (and may now wait for operands)
  Printed,  // it went to the print path
};


