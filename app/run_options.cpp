#include "app/run_options.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "interpreter/printer_model.h"
#include "output/page_output.h"
#include "mechanism/print_head.h"
#include "stream/serial_line.h"

// The option words; matched whole, ignoring case.
enum class Option {
  Height, Out, Test, HalfLife, Debug, Business, Graphic, Raw, Ascii, Pdf, Text, Explain, Threads, Follow, Idle, Listen,
  Paper, Look, Dpi, Ribbon, Baud, Then, Printer, Endless, Help, None
};

struct OptionWord {
  const char *word;
  Option option;
  bool takesValue;  // the next word is its value, whatever it looks like
};

static const OptionWord optionWords[27] = {
    {"-height", Option::Height, true},     {"-out", Option::Out, true},
    {"-test", Option::Test, true},         {"-halflife", Option::HalfLife, true},
    {"-debug", Option::Debug, true},       {"-business", Option::Business, false},
    {"-graphic", Option::Graphic, false},  {"-raw", Option::Raw, false},
    {"-ascii", Option::Ascii, false},      {"-pdf", Option::Pdf, true},
    {"-text", Option::Text, true},         {"-explain", Option::Explain, true},
    {"-threads", Option::Threads, true},   {"-follow", Option::Follow, false},
    {"-idle", Option::Idle, true},         {"-listen", Option::Listen, true},
    {"-paper", Option::Paper, true},       {"-look", Option::Look, true},
    {"-dpi", Option::Dpi, true},           {"-ribbon", Option::Ribbon, true},
    {"-baud", Option::Baud, true},         {"-then", Option::Then, true},
    {"-printer", Option::Printer, true},   {"-endless", Option::Endless, false},
    {"-help", Option::Help, false},        {"-h", Option::Help, false},
    {"-?", Option::Help, false},
};

static const OptionWord *findOption(const char *word) {
  for (const OptionWord &entry : optionWords)
    if (strcasecmp(word, entry.word) == 0) return &entry;
  return nullptr;
}

std::vector<std::string> acceptedOptionWords() {
  std::vector<std::string> words;
  for (const OptionWord &entry : optionWords) words.push_back(entry.word);
  return words;
}

static void printUsage(const char *program) {
  std::printf(
      "Usage:\n   %s [<printfile>] [-height <height>] [-out <outfile>] [-business|-graphic] [-debug 1|2|3] "
      "[-halflife <halflife>]\n",
      program);
  std::printf(
      "   <printfile>: filename of ORLA printer output file (text mode required), standard input is used if not "
      "specified\n");
  std::printf("   <outfile>:   filename prefix for PNG output file, 'TAMBRIX' is used if not specified\n");
  std::printf(
      "   <height>:    'paper' height in inches (1 inch = 2.54cm), 12 inches are used if not specified. "
      "Fractional values (like 11.69) are permitted\n");
  std::printf("   -business:   business character set is used\n");
  std::printf("   -graphic:    graphic character set is used (default)\n");
  std::printf("   -debug 1:    outputs additional info to the standard output\n");
  std::printf("   -debug 2:    draws additional info into the output file (ugly!)\n");
  std::printf("   -debug 3:    combination of 1 and 2 (still ugly!)\n");
  std::printf(
      "   <halflife>:  specifies the half-life of the ribbon in strikes and turns on ribbon simulation. Note that "
      "strike counting is always enabled, regardless of this setting. Strikes are persistently stored in the file "
      "'ribbon.dat'; to simulate insertion of a new ribbon, simply delete this file.\n");
  std::printf("Examples:\n   %s mps801.prn\n", program);
  std::printf("   %s <output.txt -halflife 100000\n", program);
}

// The usage text, then a line for each option it does not describe.
static void printHelp(const char *program) {
  printUsage(program);
  std::printf("Other options:\n");
  std::printf("   -test:       1, 2 or 3: prints the ROM dump, the glyph list or the code chart first; with -printer "
              "escp, the character chart\n");
  std::printf("   -pdf:        <file>: writes every page into one searchable PDF document\n");
  std::printf("   -text:       <file>: writes a UTF-8 transcript of the printed characters\n");
  std::printf("   -explain:    <file>: lists what each byte of the stream did; '-' is standard output\n");
  std::printf("   -threads:    <n>: encodes pages on n threads, 1 to 64; one per core if not specified\n");
  std::printf("   -raw:        reads the stream as the printer itself did, not as a text mode file\n");
  std::printf("   -ascii:      reads the input as plain text (ASCII or UTF-8) and prints it as its letters look\n");
  std::printf("   -follow:     follows the input file as it grows and prints it live, job by job\n");
  std::printf(
      "   -idle:       <seconds>: a job ends when no byte has come for this long; 0 never; 5 with -follow, -listen "
      "or a serial line\n");
  std::printf("   -listen:     [<address>:]<port>: prints the jobs sent to a TCP port; address 127.0.0.1 if not "
              "specified\n");
  std::printf("   -paper:      none, plain, greenbar or bluebar: the paper pages are printed on\n");
  std::printf("   -look:       dots or ink: square dots, or round ink dots at -dpi pixels per inch\n");
  std::printf("   -dpi:        <n>: pixels per inch of -look ink pages, 100 to 1200; 300 if not specified\n");
  std::printf("   -ribbon:     black, blue or purple: the ink of -look ink pages\n");
  std::printf("   -baud:       <rate>: the speed of a serial line read as the input file; kept if not specified\n");
  std::printf("   -then:       <command>: runs after each job, the job's files as its arguments\n");
  std::printf("   -printer:    <name>: the printer emulated: %s; mps801 if not specified; escp is the 9-pin "
              "ESC/P printer, 240 pixels an inch, 11-inch pages\n",
              printerModelNames().c_str());
  std::printf("   -endless:    prints each job on one continuous sheet of fanfold paper, not on cut pages\n");
  std::printf("   -help:       prints this text (so do -h and -?)\n");
}

// Reads a decimal integer the way "%ld" does; false when the word holds none. Out of
// range values saturate, as the library's conversion does.
static bool parseLong(const char *word, long &value) {
  char *end = nullptr;
  long parsed = std::strtol(word, &end, 10);
  if (end == word) return false;
  value = parsed;
  return true;
}

// -height: inches as a 32-bit float, kept only when the page would hold at least one
// text line and at most 100 inches.
static void setHeight(const char *word, const PageGeometry &geometry, unsigned &pageHeight) {
  char *end = nullptr;
  float inches = std::strtof(word, &end);
  if (end != word) {
    double pixels = double(inches) * geometry.pixelsPerInchY + 0.5;
    if (!(pixels >= geometry.minPageHeight && pixels < geometry.maxPageHeight + 1.0)) {
      std::printf("Height %s out of range (%u to %u pixels), keeping %d pixels.\n", word, geometry.minPageHeight,
                  geometry.maxPageHeight, int(pageHeight));
      return;
    }
    pageHeight = unsigned(pixels);
  }
  std::printf("Height set to %d pixels.\n", int(pageHeight));
}

// -threads: the number of page encoders, 1 to 64; others are refused and the number in
// force is kept (0 stands for one per core).
static void setThreads(const char *word, unsigned &threads) {
  long value = 0;
  if (parseLong(word, value) && (value < 1 || value > long(maxEncoderThreads))) {
    std::printf("Threads %s out of range (1 to %u), keeping %s.\n", word, maxEncoderThreads,
                threads == 0 ? "one per core" : std::to_string(threads).c_str());
    return;
  }
  if (parseLong(word, value)) threads = unsigned(value);
  if (threads == 0)
    std::printf("Encoder threads: one per core.\n");
  else
    std::printf("Encoder threads: %u.\n", threads);
}

// -idle: seconds without a byte that end a job, fractions allowed, 0 for never; others
// are refused and the time in force is kept.
static void setIdle(const char *word, double &idleSeconds) {
  char *end = nullptr;
  double seconds = std::strtod(word, &end);
  if (end == word || *end != '\0' || !(seconds >= 0 && seconds <= maxIdleSeconds)) {
    char kept[64] = "the default";
    if (idleSeconds >= 0) std::snprintf(kept, sizeof kept, "%g seconds", idleSeconds);
    std::printf("Idle time %s out of range (0 to %g seconds), keeping %s.\n", word, maxIdleSeconds, kept);
    return;
  }
  idleSeconds = seconds;
  std::printf("Idle time: %g seconds.\n", idleSeconds);
}

// -listen [<address>:]<port>: a numeric IPv4 address, 127.0.0.1 when none is given,
// and a port from 0 (one the system picks) to 65535; others end the run before it
// reads anything.
static void setListen(const char *word, RunOptions &options) {
  std::string given = word, address = defaultListenAddress, port = given;
  if (size_t colon = given.rfind(':'); colon != std::string::npos) {
    address = given.substr(0, colon);
    port = given.substr(colon + 1);
  }
  char *end = nullptr;
  long number = std::strtol(port.c_str(), &end, 10);
  in_addr parsed;
  if (port.empty() || *end != '\0' || number < 0 || number > 65535 || inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
    std::printf("Listen address %s not understood (give [<address>:]<port>).\n", word);
    throw OptionError(std::string("tambrix: -listen `") + word +
                      "' is no [<address>:]<port>: a port from 0 to 65535, after a numeric IPv4 address and a colon "
                      "for an address other than " + defaultListenAddress);
  }
  options.listen = true;
  options.listenAddress = address;
  options.listenPort = unsigned(number);
  std::printf("Listen address: %s:%u.\n", address.c_str(), options.listenPort);
}

// The values of -paper, -look and -ribbon, by the enum's order.
static const char *const paperNames[4] = {"none", "plain", "greenbar", "bluebar"};  // PaperStyle
static const char *const lookNames[2] = {"dots", "ink"};                            // LookStyle
static const char *const ribbonNames[3] = {"black", "blue", "purple"};              // RibbonColour

// A value chosen by name, ignoring case: returns the index of the word among the count
// names, echoed as "<what>: <name>."; an unknown word is refused with the names it may
// be, and the index in force, current, is kept.
static int chooseNamed(const char *what, const char *word, const char *const *names, size_t count, int current) {
  for (size_t i = 0; i < count; ++i)
    if (strcasecmp(word, names[i]) == 0) {
      std::printf("%s: %s.\n", what, names[i]);
      return int(i);
    }
  std::string known;
  for (size_t i = 0; i < count; ++i) known += (i == 0 ? "" : ", ") + std::string(names[i]);
  std::printf("%s %s unknown (%s), keeping %s.\n", what, word, known.c_str(), names[current]);
  return current;
}

// -dpi: the pixels per inch of ink pages, a whole number from 100 to 1200; others are
// refused and the number in force is kept.
static void setInkDpi(const char *word, unsigned &dpi) {
  char *end = nullptr;
  long value = std::strtol(word, &end, 10);
  if (end == word || *end != '\0') {
    std::printf("Resolution %s is not a number (%u to %u pixels per inch), keeping %u.\n", word, minInkDpi,
                maxInkDpi, dpi);
    return;
  }
  if (value < long(minInkDpi) || value > long(maxInkDpi)) {
    std::printf("Resolution %s out of range (%u to %u pixels per inch), keeping %u.\n", word, minInkDpi, maxInkDpi,
                dpi);
    return;
  }
  dpi = unsigned(value);
  std::printf("Ink resolution set to %u pixels per inch.\n", dpi);
}

// -printer: the model by name; an unknown one stops the run before anything is read,
// since the stream would mean something else on the printer in force.
static void setPrinter(const char *word, PrinterModel &model) {
  const PrinterModelInfo *info = findPrinterModel(word);
  if (info == nullptr)
    throw OptionError(std::string("tambrix: unknown printer `") + word + "': the printers known are " +
                      printerModelNames());
  model = info->model;
  std::printf("Printer: %s.\n", info->name);
}

// -baud: a line speed the serial line can have; others are refused and the speed in
// force is kept.
static void setBaud(const char *word, unsigned &baud) {
  char *end = nullptr;
  unsigned long value = std::strtoul(word, &end, 10);
  if (end == word || *end != '\0' || word[0] == '-' || value > 4000000 || !knownBaud(unsigned(value))) {
    std::string kept = baud == 0 ? "the line's own" : std::to_string(baud) + " baud";
    std::printf("Line speed %s is no rate a serial line has (50 to 4000000 baud, such as 9600), keeping %s.\n", word,
                kept.c_str());
    return;
  }
  baud = unsigned(value);
  std::printf("Line speed: %u baud.\n", baud);
}

static void setValue(Option option, const char *word, RunOptions &options) {
  RunSettings &settings = options.settings;
  long value = 0;
  switch (option) {
    case Option::Height:
      setHeight(word, pageGeometryOf(settings.model), settings.pageHeight);
      break;
    case Option::Out:
      settings.outputPrefix = word;
      break;
    case Option::Test:
      if (parseLong(word, value)) options.testMode = int32_t(uint32_t(value));
      std::printf("Test mode: %d.\n", int(options.testMode));
      break;
    case Option::HalfLife:
      if (parseLong(word, value)) settings.halfLife = uint32_t(value);
      std::printf("Ribbon half-life: %ld.\n", long(settings.halfLife));
      break;
    case Option::Debug:
      if (parseLong(word, value)) settings.debugLevel = uint16_t(value);
      std::printf("Debug mode: %d.\n", int(settings.debugLevel));
      break;
    case Option::Pdf:
      settings.pdfName = word;
      std::printf("PDF document: %s.\n", word);
      break;
    case Option::Threads:
      setThreads(word, settings.threads);
      break;
    case Option::Idle:
      setIdle(word, options.idleSeconds);
      break;
    case Option::Listen:
      setListen(word, options);
      break;
    case Option::Text:
      settings.textName = word;
      std::printf("Text transcript: %s.\n", word);
      break;
    case Option::Explain:
      settings.explainName = word;
      if (settings.explainName == "-")
        std::printf("Stream listing: standard output.\n");
      else
        std::printf("Stream listing: %s.\n", word);
      break;
    case Option::Paper:
      settings.paper = PaperStyle(chooseNamed("Paper", word, paperNames, std::size(paperNames), int(settings.paper)));
      break;
    case Option::Look:
      settings.look = LookStyle(chooseNamed("Look", word, lookNames, std::size(lookNames), int(settings.look)));
      break;
    case Option::Dpi:
      setInkDpi(word, settings.inkDpi);
      break;
    case Option::Ribbon:
      settings.ribbonColour =
          RibbonColour(chooseNamed("Ribbon", word, ribbonNames, std::size(ribbonNames), int(settings.ribbonColour)));
      break;
    case Option::Baud:
      setBaud(word, options.baud);
      break;
    case Option::Then:
      options.thenCommand = word;
      std::printf("Command after each job: %s.\n", word);
      break;
    case Option::Printer:
      setPrinter(word, settings.model);
      break;
    default:
      break;
  }
}

double idleSecondsOf(const RunOptions &options) {
  if (options.idleSeconds >= 0) return options.idleSeconds;
  return options.follow || options.listen || options.serialLine ? liveIdleSeconds : 0;
}

void noteSerialLine(RunOptions &options) {
  options.serialLine = !options.inputName.empty() && isTerminalFile(options.inputName);
}

ParseResult parseOptions(int argc, char **argv, RunOptions &options) {
  // The printer first, wherever -printer stands: -height counts in its pixels, and its
  // pages have their own power-on length. An unknown name is refused in its turn.
  for (int i = 1; i + 1 < argc; ++i)
    if (const OptionWord *entry = findOption(argv[i]); entry != nullptr && entry->option == Option::Printer) {
      if (const PrinterModelInfo *info = findPrinterModel(argv[i + 1])) {
        options.settings.model = info->model;
        options.settings.pageHeight = pageGeometryOf(info->model).defaultPageHeight;
      }
      ++i;
    } else if (entry != nullptr && entry->takesValue) {
      ++i;
    }
  for (int i = 1; i < argc; ++i) {
    const OptionWord *entry = findOption(argv[i]);
    if (entry == nullptr) {
      options.inputName = argv[i];
      continue;
    }
    if (entry->takesValue) {
      if (i + 1 >= argc) {
        std::printf("Incomplete parameter %s.\n", argv[i]);
        continue;
      }
      setValue(entry->option, argv[++i], options);
      continue;
    }
    switch (entry->option) {
      case Option::Business:
        options.settings.businessDefault = true;
        break;
      case Option::Graphic:
        options.settings.businessDefault = false;
        break;
      case Option::Raw:
        options.settings.streamKind = StreamKind::Raw;
        break;
      case Option::Follow:
        options.follow = true;
        std::printf("Following the input file.\n");
        break;
      case Option::Endless:
        options.settings.endless = true;
        break;
      case Option::Ascii:
        options.settings.streamKind = StreamKind::PlainText;
        break;
      case Option::Help:
        printHelp(argv[0]);
        return ParseResult::Help;
      default:
        break;
    }
  }
  return ParseResult::Run;
}
