// Serial lines: a terminal read raw, every byte as it came, and left as it was found.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "run_support.h"
#include "stream/serial_line.h"

namespace {

// A pseudo-terminal: the master end the test writes, the name of the slave end.
struct PseudoTerminal {
  int master = -1;
  std::string slave;
  PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    if (const char *name = ptsname(master)) slave = name;
  }
  ~PseudoTerminal() {
    if (master >= 0) close(master);
  }
};

// Reads from fd until count bytes came or nothing came for ten seconds.
std::string readBytes(int fd, size_t count) {
  std::string got;
  char buffer[512];
  while (got.size() < count) {
    pollfd ready = {fd, POLLIN, 0};
    if (poll(&ready, 1, 10000) <= 0) break;
    ssize_t length = read(fd, buffer, sizeof buffer);
    if (length <= 0) break;
    got.append(buffer, size_t(length));
  }
  return got;
}

void expectSameSettings(const termios &want, const termios &got) {
  EXPECT_EQ(want.c_iflag, got.c_iflag);
  EXPECT_EQ(want.c_oflag, got.c_oflag);
  EXPECT_EQ(want.c_lflag, got.c_lflag);
  EXPECT_EQ(want.c_cflag, got.c_cflag);
  EXPECT_EQ(std::memcmp(want.c_cc, got.c_cc, sizeof want.c_cc), 0);
  EXPECT_EQ(cfgetispeed(&want), cfgetispeed(&got));
}

}  // namespace

// Every byte value comes through unchanged, those a terminal would take as a line end,
// a signal, an end of file or flow control included; the line's settings are what they
// were once it is closed, and its speed is set only when asked.
TEST(SerialLine, EveryByteComesThroughAndTheSettingsAreRestored) {
  PseudoTerminal terminal;
  ASSERT_FALSE(terminal.slave.empty()) << std::strerror(errno);
  // A holder keeps the slave open as a terminal program would, in its cooked settings.
  int holder = open(terminal.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  termios before{};
  ASSERT_EQ(tcgetattr(holder, &before), 0);
  ASSERT_TRUE(before.c_lflag & ICANON);  // the line starts cooked, or the test proves nothing

  std::string all;
  for (int value = 0; value < 256; ++value) all += char(value);
  for (unsigned baud : {0u, 9600u}) {
    SerialLine line;
    ASSERT_EQ(openSerialLine(terminal.slave, baud, line), 0) << baud;
    ASSERT_GE(line.fd, 0);
    ASSERT_EQ(write(terminal.master, all.data(), all.size()), ssize_t(all.size()));
    EXPECT_EQ(readBytes(line.fd, all.size()), all) << baud;
    termios during{};
    ASSERT_EQ(tcgetattr(holder, &during), 0);
    EXPECT_EQ(cfgetispeed(&during), baud == 0 ? cfgetispeed(&before) : speed_t(B9600));
    closeSerialLine(line);
    EXPECT_EQ(line.fd, -1);
    termios after{};
    ASSERT_EQ(tcgetattr(holder, &after), 0);
    expectSameSettings(before, after);
    closeSerialLine(line);  // twice is harmless
  }

  SerialLine line;
  EXPECT_EQ(openSerialLine(terminal.slave, 12345, line), EINVAL);  // no such speed: nothing changed
  EXPECT_EQ(openSerialLine("/no/such/tty", 0, line), ENOENT);
  EXPECT_EQ(line.fd, -1);
  termios after{};
  ASSERT_EQ(tcgetattr(holder, &after), 0);
  expectSameSettings(before, after);
  close(holder);
}

TEST(SerialLine, TerminalsAreToldFromOtherFiles) {
  PseudoTerminal terminal;
  ASSERT_FALSE(terminal.slave.empty());
  EXPECT_TRUE(isTerminalFile(terminal.slave));
  TempDir dir;
  writeFile(dir.file("dump.prn"), "A");
  EXPECT_FALSE(isTerminalFile(dir.file("dump.prn")));
  EXPECT_FALSE(isTerminalFile(dir.path));
  EXPECT_FALSE(isTerminalFile("/dev/null"));
  EXPECT_FALSE(isTerminalFile(dir.file("missing")));
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  EXPECT_FALSE(isTerminalFile(dir.file("pipe")));

  // A run on a terminal is a serial line, live with the idle time of -follow unless given.
  RunOptions options;
  noteSerialLine(options);
  EXPECT_FALSE(options.serialLine);  // standard input, as it is
  EXPECT_EQ(idleSecondsOf(options), 0);
  options.inputName = terminal.slave;
  noteSerialLine(options);
  EXPECT_TRUE(options.serialLine);
  EXPECT_EQ(idleSecondsOf(options), liveIdleSeconds);
  options.idleSeconds = 0.5;
  EXPECT_EQ(idleSecondsOf(options), 0.5);
  options.inputName = dir.file("dump.prn");
  noteSerialLine(options);
  EXPECT_FALSE(options.serialLine);

  for (unsigned baud : {50u, 9600u, 115200u, 4000000u}) EXPECT_TRUE(knownBaud(baud)) << baud;
  for (unsigned baud : {0u, 49u, 9601u, 12345u, 4000001u}) EXPECT_FALSE(knownBaud(baud)) << baud;
}
