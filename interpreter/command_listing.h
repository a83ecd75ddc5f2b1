// The stream listing of the MPS801's bytes: it observes the interpreter, which hands it
// each byte with what the byte was and the printer's state before it, and lists what
// the byte did.
#pragma once

#include <cstdint>

#include "interpreter/command_table.h"

// Lists the byte just interpreted: an operand (the command listed once complete), a
// command, or a byte of the print path.
void listByte(Printer &p, uint8_t c, Role role, const Before &before);
