// A printer port that reaches us as a serial device (a USB adapter's /dev/ttyUSB0, or
// any terminal): read raw, every byte as it came, with the line's own settings put
// back when we are done with it.
#pragma once

#include <termios.h>

#include <string>

// A terminal opened for reading raw, and its settings as they were found.
struct SerialLine {
  int fd = -1;           // open for reading; -1 when closed
  bool saved = false;    // before holds the settings to put back
  termios before{};      // the settings as found
};

// Whether the named file is a terminal device. It is opened without waiting for a
// carrier and without becoming our controlling terminal, and closed again.
bool isTerminalFile(const std::string &name);

// Opens the named terminal for reading, saves its settings and sets it raw: no echo,
// no translation of carriage returns or line feeds, no signal, end-of-file or flow
// control characters (every byte is data), 8 data bits, each read returning as soon as
// one byte has come. baud 0 leaves the line's speed as it is. Returns 0, or the errno
// value of the failure, with the line closed and its settings as they were.
int openSerialLine(const std::string &name, unsigned baud, SerialLine &line);

// Puts the saved settings back at once and closes the line; nothing when it is closed.
void closeSerialLine(SerialLine &line);

// Whether baud is a line speed the terminal interface has (50 to 4000000).
bool knownBaud(unsigned baud);
