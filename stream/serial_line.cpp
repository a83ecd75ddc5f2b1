#include "stream/serial_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

struct BaudRate {
  unsigned baud;
  speed_t code;
};

// The speeds of the terminal interface, slowest first.
constexpr BaudRate baudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

const BaudRate *findBaud(unsigned baud) {
  for (const BaudRate &rate : baudRates)
    if (rate.baud == baud) return &rate;
  return nullptr;
}

// The settings as found, made raw for a printer's bytes.
termios rawSettings(const termios &found) {
  termios raw = found;
  raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
#ifdef IUCLC
  raw.c_iflag &= ~tcflag_t(IUCLC);
#endif
  raw.c_oflag &= ~tcflag_t(OPOST);
  raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
  raw.c_cflag &= ~tcflag_t(CSIZE | PARENB);
  raw.c_cflag |= CS8 | CREAD | CLOCAL;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  return raw;
}

}  // namespace

bool knownBaud(unsigned baud) { return findBaud(baud) != nullptr; }

bool isTerminalFile(const std::string &name) {
  // Only a character device is opened to ask: opening a named pipe would let its writer
  // go on before the run opens it.
  struct stat status;
  if (stat(name.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return false;
  int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  bool terminal = isatty(fd) == 1;
  close(fd);
  return terminal;
}

int openSerialLine(const std::string &name, unsigned baud, SerialLine &line) {
  closeSerialLine(line);
  const BaudRate *rate = nullptr;
  if (baud != 0 && (rate = findBaud(baud)) == nullptr) return EINVAL;
  int fd = open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  termios found{};
  if (tcgetattr(fd, &found) != 0) {
    int error = errno;
    close(fd);
    return error;
  }
  termios raw = rawSettings(found);
  if (rate != nullptr && (cfsetispeed(&raw, rate->code) != 0 || cfsetospeed(&raw, rate->code) != 0)) {
    close(fd);
    return EINVAL;
  }
  if (tcsetattr(fd, TCSANOW, &raw) != 0) {
    int error = errno;
    tcsetattr(fd, TCSANOW, &found);  // a part may have been taken
    close(fd);
    return error;
  }
  line.fd = fd;
  line.saved = true;
  line.before = found;
  return 0;
}

void closeSerialLine(SerialLine &line) {
  if (line.fd < 0) return;
  if (line.saved) tcsetattr(line.fd, TCSANOW, &line.before);
  close(line.fd);
  line.fd = -1;
  line.saved = false;
}
