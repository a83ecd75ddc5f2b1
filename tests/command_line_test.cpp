// The command line: echoes, usage text, exit statuses and the run sequence's messages.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/run_options.h"
#include "run_support.h"

static const std::string banner = "TAMBRIX V0.1 beta 4\n";
static const std::string noOutput = "Input did not generate any output (empty printfile?).\n";

static std::string usage(const std::string &program) {
  return "Usage:\n   " + program +
         " [<printfile>] [-height <height>] [-out <outfile>] [-business|-graphic] [-debug 1|2|3] "
         "[-halflife <halflife>]\n"
         "   <printfile>: filename of ORLA printer output file (text mode required), standard input is used if "
         "not specified\n"
         "   <outfile>:   filename prefix for PNG output file, 'TAMBRIX' is used if not specified\n"
         "   <height>:    'paper' height in inches (1 inch = 2.54cm), 12 inches are used if not specified. "
         "Fractional values (like 11.69) are permitted\n"
         "   -business:   business character set is used\n"
         "   -graphic:    graphic character set is used (default)\n"
         "   -debug 1:    outputs additional info to the standard output\n"
         "   -debug 2:    draws additional info into the output file (ugly!)\n"
         "   -debug 3:    combination of 1 and 2 (still ugly!)\n"
         "   <halflife>:  specifies the half-life of the ribbon in strikes and turns on ribbon simulation. Note "
         "that strike counting is always enabled, regardless of this setting. Strikes are persistently stored in "
         "the file 'ribbon.dat'; to simulate insertion of a new ribbon, simply delete this file.\n"
         "Examples:\n   " +
         program + " mps801.prn\n   " + program + " <output.txt -halflife 100000\n";
}

// The lines -help prints after the usage text, one for each option it does not describe.
static const std::string otherOptions = "Other options:\n";

TEST(CommandLine, EchoesEveryOptionInOrder) {
  TempDir dir;
  RunResult r = runTambrix(dir, {"-HEIGHT", "11.69", "-Test", "7", "-halflife", "100000", "-debug", "-1", "-out",
                                 "x", "-business", "-graphic", "-PAPER", "GreenBar", "-look", "INK", "-Dpi", "600",
                                 "-ribbon", "purple"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, banner +
                       "Height set to 1473 pixels.\nTest mode: 7.\nRibbon half-life: 100000.\nDebug mode: 65535.\n"
                       "Paper: greenbar.\nLook: ink.\nInk resolution set to 600 pixels per inch.\nRibbon: purple.\n"
                       "ROM file PRINTER/mps801.bin not found.\nReal ROM not found, looking for fake ROM...\n"
                       "ROM file PRINTER/mps801.fake not found.\n"
                       "ROM file " BUILD_DIR "/tests/share/tambrix/PRINTER/mps801.fake not found.\n"
                       "Could not open printer ROM files 'PRINTER/mps801.bin' or 'PRINTER/mps801.fake'. "
                       "Character data is missing, text will be INVISIBLE.\n" +
                       noOutput);
  EXPECT_EQ(r.err, "");
}

// The settings the words leave for the run, parsed in this process.
TEST(CommandLine, LaterWordsWinInTheRunSettings) {
  struct Row {
    std::vector<std::string> words;
    bool business;
    StreamKind kind;
    std::string input;
  };
  const Row rows[] = {
      {{"-business"}, true, StreamKind::TextFile, ""},
      {{"-business", "-graphic"}, false, StreamKind::TextFile, ""},
      {{"-GRAPHIC", "-Business", "-raw", "a.prn", "-x"}, true, StreamKind::Raw, "-x"},
  };
  testing::internal::CaptureStdout();
  for (const Row &row : rows) {
    std::vector<char *> argv = {const_cast<char *>("tambrix")};
    for (const std::string &word : row.words) argv.push_back(const_cast<char *>(word.c_str()));
    RunOptions options;
    EXPECT_EQ(parseOptions(int(argv.size()), argv.data(), options), ParseResult::Run);
    EXPECT_EQ(options.settings.businessDefault, row.business) << row.words.back();
    EXPECT_EQ(options.settings.streamKind, row.kind) << row.words.back();
    EXPECT_EQ(options.inputName, row.input) << row.words.back();
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(CommandLine, UsageAfterEarlierEchoesAndNothingElse) {
  for (const char *help : {"-h", "-HELP", "-?"}) {
    TempDir dir;
    writeFile(dir.file("ribbon.dat"), "1 2 3 4 5 6 7");
    RunResult r = runTambrix(dir, {"-test", "3", help, "-height", "2", "missing.prn"});
    EXPECT_EQ(r.status, 0);
    std::string start = banner + "Test mode: 3.\n" + usage(TAMBRIX_BINARY) + otherOptions;
    EXPECT_EQ(r.out.substr(0, start.size()), start) << help;
    EXPECT_EQ(readFile(dir.file("ribbon.dat")), "1 2 3 4 5 6 7");
    EXPECT_TRUE(pngFiles(dir).empty());
  }
}

// -help names every option the parser takes, each other option on a line of its own,
// its text aligned with the usage text's.
TEST(CommandLine, HelpNamesEveryOption) {
  TempDir dir;
  RunResult r = runTambrix(dir, {"-help"});
  EXPECT_EQ(r.status, 0);
  std::string start = banner + usage(TAMBRIX_BINARY) + otherOptions;
  ASSERT_EQ(r.out.substr(0, start.size()), start);
  std::string others = r.out.substr(start.size());
  for (const std::string &word : acceptedOptionWords()) {
    bool named = false;
    for (char before : {' ', '['})
      for (char after : {':', ' ', ')', ',', ']'})
        named = named || r.out.find(before + word + after) != std::string::npos;
    EXPECT_TRUE(named) << word;
  }
  size_t count = 0;
  for (size_t begin = 0, end; begin < others.size(); begin = end + 1, ++count) {
    end = others.find('\n', begin);
    ASSERT_NE(end, std::string::npos);
    std::string line = others.substr(begin, end - begin);
    EXPECT_EQ(line.rfind("   -", 0), 0u) << line;
    EXPECT_EQ(line.find(": "), line.find(' ', 3) - 1) << line;  // the word and a colon, then the text
    EXPECT_TRUE(line.size() > 16 && line[15] == ' ' && line[16] != ' ') << line;
  }
  EXPECT_EQ(count, 19u);  // -test to -endless, and -help
}

TEST(CommandLine, IncompleteParameterChangesNothing) {
  TempDir dir;
  writeRom(dir, std::vector<uint8_t>(4096, 0x7F));
  writeFile(dir.file("ribbon.dat"), "100 100 100 100 100 100 100");
  RunResult r = runTambrix(dir, {"-halflife"}, "A\r\n");
  EXPECT_EQ(r.out, banner + "Incomplete parameter -halflife.\nTAMBRIX-001.png written.\n");
  // The simulation stayed off: worn pins still print black.
  EXPECT_EQ(readPage(dir.file("TAMBRIX-001.png")).red(0, 0), 0);
  r = runTambrix(dir, {"-out", "x", "-OUT"}, "A");
  EXPECT_EQ(r.out, banner + "Incomplete parameter -OUT.\nx-001.png written.\n");
}

TEST(CommandLine, NumbersThatDoNotParseKeepTheValueInForce) {
  TempDir dir;
  RunResult r = runTambrix(dir, {"-test", "2", "-test", "abc", "-debug", "5", "-debug", "x", "-halflife", "9",
                                 "-halflife", "y", "-height", "3", "-height", "tall"});
  std::string echoes = banner +
                       "Test mode: 2.\nTest mode: 2.\nDebug mode: 5.\nDebug mode: 5.\nRibbon half-life: 9.\n"
                       "Ribbon half-life: 9.\nHeight set to 378 pixels.\nHeight set to 378 pixels.\n";
  EXPECT_EQ(r.out.substr(0, echoes.size()), echoes);
}

TEST(CommandLine, HeightsOutsideOnePageLineToHundredInchesAreRefused) {
  struct Row {
    const char *word;
    const char *echo;
  };
  const Row rows[] = {
      {"0.16", "Height 0.16 out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
      {"0.17", "Height set to 21 pixels.\n"},
      {"100", "Height set to 12600 pixels.\n"},
      {"100.01", "Height 100.01 out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
      {"-3", "Height -3 out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
      {"1e39", "Height 1e39 out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
      {"nan", "Height nan out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
      {"-inf", "Height -inf out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
      {"12", "Height set to 1512 pixels.\n"},
  };
  for (const Row &row : rows) {
    TempDir dir;
    RunResult r = runTambrix(dir, {"-height", row.word});
    EXPECT_EQ(r.out.substr(banner.size(), std::string(row.echo).size()), row.echo) << row.word;
    EXPECT_EQ(r.status, 0);
  }
}

TEST(CommandLine, InputFileNamesAndPrefixes) {
  TempDir dir;
  writeRom(dir, testRom());
  writeFile(dir.file("mps801.prn"), "HI");
  RunResult r = runTambrix(dir, {"mps801.prn"});
  EXPECT_EQ(r.out, banner + "mps801.prn-001.png written.\n");
  r = runTambrix(dir, {"mps801.prn", "-out", "page", "-debug", "1"});
  EXPECT_EQ(r.out, banner +
                       "Debug mode: 1.\nAttempting to read mps801.prn...\nUsing ROM file PRINTER/mps801.bin.\n"
                       "Attempting to write page-001.png...\n"
                       "page-001.png written.\n");
  r = runTambrix(dir, {"-out", "", "mps801.prn"});  // an empty prefix counts as not given
  EXPECT_EQ(r.out, banner + "mps801.prn-001.png written.\n");
  r = runTambrix(dir, {}, "HI");
  EXPECT_EQ(r.out, banner + "TAMBRIX-001.png written.\n");
  EXPECT_EQ(pngFiles(dir), (std::vector<std::string>{"TAMBRIX-001.png", "mps801.prn-001.png", "page-001.png"}));
}

TEST(CommandLine, MissingInputAbortsWithStatusOne) {
  TempDir dir;
  writeFile(dir.file("ribbon.dat"), "9 9 9 9 9 9 9");
  RunResult r = runTambrix(dir, {"-x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner + "Cannot open input file -x - aborting.\n");
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "9 9 9 9 9 9 9");
  EXPECT_TRUE(pngFiles(dir).empty());
}

// A word that looks like an option and is none names the input file; when no such file
// exists, the message says it is no option either.
TEST(CommandLine, MistypedOptionIsTheInputFileAndSaidToBeNoOption) {
  TempDir dir;
  writeRom(dir, testRom());
  RunResult r = runTambrix(dir, {"-pfd", "out.pdf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner + "Cannot open input file out.pdf - aborting.\n");
  EXPECT_EQ(r.err, "Error: tambrix: cannot open input file `out.pdf': No such file or directory\n");
  r = runTambrix(dir, {"out.pdf", "-pfd"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner + "Cannot open input file -pfd - aborting.\n");
  EXPECT_EQ(r.err,
            "Error: tambrix: cannot open input file `-pfd': No such file or directory; -pfd is no option either (see "
            "-help)\n");
  writeFile(dir.file("-pfd"), "HI");
  r = runTambrix(dir, {"-pfd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pngFiles(dir), (std::vector<std::string>{"-pfd-001.png"}));
}

// A -listen value that is no port ends the run before anything is read.
TEST(CommandLine, ListenAddressNotUnderstoodEndsTheRun) {
  for (const char *word : {"99999", "host:port", "-1", "1.2.3:80", "127.0.0.1:", "80x"}) {
    TempDir dir;
    writeRom(dir, testRom());
    RunResult r = runTambrix(dir, {"-listen", word, "-out", "x"}, "HI");
    EXPECT_EQ(r.status, 1) << word;
    EXPECT_EQ(r.out, banner + "Listen address " + word + " not understood (give [<address>:]<port>).\n");
    EXPECT_EQ(r.err, "Error: tambrix: -listen `" + std::string(word) +
                         "' is no [<address>:]<port>: a port from 0 to 65535, after a numeric IPv4 address and a colon "
                         "for an address other than 127.0.0.1\n");
    EXPECT_TRUE(pngFiles(dir).empty()) << word;
    EXPECT_FALSE(fileExists(dir.file("ribbon.dat"))) << word;
  }
}

// -baud takes the rates a serial line has and keeps the one in force otherwise; -then
// takes its command as one word. Both are echoed.
TEST(CommandLine, LineSpeedAndCommandAfterEachJob) {
  auto refused = [](const std::string &word, const std::string &kept) {
    return "Line speed " + word + " is no rate a serial line has (50 to 4000000 baud, such as 9600), keeping " + kept +
           ".\n";
  };
  TempDir dir;
  RunResult r = runTambrix(dir, {"-baud", "0", "-baud", "1200", "-baud", "12345", "-BAUD", "115200", "-baud", "fast",
                                 "-baud", "-9600", "-then", "lp -d office", "-h"});
  std::string echoes = banner + refused("0", "the line's own") + "Line speed: 1200 baud.\n" +
                       refused("12345", "1200 baud") + "Line speed: 115200 baud.\n" + refused("fast", "115200 baud") +
                       refused("-9600", "115200 baud") + "Command after each job: lp -d office.\nUsage:\n";
  EXPECT_EQ(r.out.substr(0, echoes.size()), echoes);

  std::vector<std::string> words = {"tambrix", "-baud", "9600", "-baud", "7", "-then", "a b"};
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  RunOptions options;
  testing::internal::CaptureStdout();
  parseOptions(int(argv.size()), argv.data(), options);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(options.baud, 9600u);
  EXPECT_EQ(options.thenCommand, "a b");
}

TEST(CommandLine, EmptyInputSavesCountsAndSaysSo) {
  TempDir dir;
  writeRom(dir, testRom());
  RunResult r = runTambrix(dir, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, banner + noOutput);
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "0 0 0 0 0 0 0");
}

TEST(CommandLine, PageThatCannotBeWrittenIsAnErrorWithStatusOne) {
  TempDir dir;
  writeRom(dir, testRom());
  writeFile(dir.file("ribbon.dat"), "1 1 1 1 1 1 1");
  RunResult r = runTambrix(dir, {"-out", "no/such/folder/page"}, "ABC");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, banner);
  EXPECT_EQ(r.err.rfind("Error: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("no/such/folder/page-001.png"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
  // The run ended there: no closing message and the stored counts are untouched.
  EXPECT_EQ(readFile(dir.file("ribbon.dat")), "1 1 1 1 1 1 1");
}

// The manual page and the README's table of options name every option the parser takes.
TEST(CommandLine, ManualPageAndReadmeNameEveryOption) {
  std::string page = readFile(SOURCE_DIR "/docs/tambrix.1");
  ASSERT_FALSE(page.empty());
  std::string readme = readFile(SOURCE_DIR "/README.md");
  size_t top = readme.find("| word | what it does |\n");
  ASSERT_NE(top, std::string::npos);
  std::string table = readme.substr(top, readme.find("\n\n", top) - top);
  for (std::string word : acceptedOptionWords()) {
    std::string roff = "\\" + word;  // roff writes a hyphen as \-
    EXPECT_NE(page.find(roff), std::string::npos) << word;
    EXPECT_TRUE(table.find("`" + word + "`") != std::string::npos || table.find("`" + word + " ") != std::string::npos)
        << word << " is not in the README's table of options";
  }
}

// The program installed under a prefix finds its own font from any folder, and a ROM
// image in the working directory still wins.
TEST(CommandLine, InstalledProgramFindsItsFont) {
  TempDir prefix, dir;
  std::string install = "cmake --install '" BUILD_DIR "' --prefix '" + prefix.path + "' > /dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0);
  for (const char *file : {"share/tambrix/PRINTER/mps801.fake", "share/man/man1/tambrix.1",
                           "share/doc/tambrix/README.md"})
    EXPECT_TRUE(fileExists(prefix.file(file))) << file;
  std::string program = prefix.file("bin/tambrix");
  std::string showcase = SOURCE_DIR "/examples/showcase.prn";
  RunResult r = runTambrix(dir, {showcase, "-out", "font", "-debug", "1"}, "", program);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("INVISIBLE"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Using ROM file " + prefix.path + "/share/tambrix/PRINTER/mps801.fake.\n"), std::string::npos)
      << r.out;
  writeRom(dir, std::vector<uint8_t>(4096, 0x7F));
  r = runTambrix(dir, {showcase, "-out", "rom", "-debug", "1"}, "", program);
  EXPECT_NE(r.out.find("Using ROM file PRINTER/mps801.bin.\n"), std::string::npos) << r.out;
  size_t fontInk = readPage(dir.file("font-001.png")).inkedPixels();
  EXPECT_GT(fontInk, 10000u);
  EXPECT_GT(readPage(dir.file("rom-001.png")).inkedPixels(), 2 * fontInk);
}

// -printer chooses the printer by name, in any case; a name no printer has stops the
// run before it reads anything, naming the printers there are.
TEST(CommandLine, PrinterChoosesTheModel) {
  const std::string stream = "PRINTER MODEL\r\n" + bytes({14}) + "WIDE\r\n";
  TempDir plain, chosen;
  writeRom(plain, testRom());
  writeRom(chosen, testRom());
  RunResult a = runTambrix(plain, {"-out", "p", "-text", "t.txt"}, stream);
  RunResult b = runTambrix(chosen, {"-printer", "MPS801", "-out", "p", "-text", "t.txt"}, stream);
  EXPECT_EQ(b.status, 0) << b.err;
  EXPECT_NE(b.out.find("Printer: mps801.\n"), std::string::npos) << b.out;
  EXPECT_EQ(filesIn(plain), filesIn(chosen));

  TempDir unknown;
  writeRom(unknown, testRom());
  RunResult r = runTambrix(unknown, {"-printer", "daisywheel", "-out", "p"}, stream);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: tambrix: unknown printer `daisywheel': the printers known are mps801, escp\n");
  EXPECT_TRUE(filesIn(unknown).empty()) << "nothing but the ROM";

  // -height counts in the chosen printer's pixels, wherever -printer stands: 240 an
  // inch for the ESC/P printer, whose pages are 11 inches unless it says.
  TempDir escp;
  writeEscpFont(escp);
  RunResult tall = runTambrix(escp, {"-height", "2", "-printer", "escp", "-out", "h"}, "TWO INCHES\r\n");
  EXPECT_EQ(tall.status, 0) << tall.err;
  EXPECT_NE(tall.out.find("Height set to 480 pixels.\n"), std::string::npos) << tall.out;
  EXPECT_EQ(readPage(escp.file("h-001.png")).height, 480u);
  RunResult plainEscp = runTambrix(escp, {"-printer", "escp", "-out", "d"}, "ELEVEN INCHES\r\n");
  EXPECT_EQ(plainEscp.status, 0) << plainEscp.err;
  EXPECT_EQ(readPage(escp.file("d-001.png")).height, 2640u);
  EXPECT_EQ(readPage(escp.file("d-001.png")).width, 1920u);
  RunResult low = runTambrix(escp, {"-printer", "escp", "-height", "0.1", "-out", "l"}, "X\r\n");
  EXPECT_NE(low.out.find("Height 0.1 out of range (40 to 24000 pixels), keeping 2640 pixels.\n"), std::string::npos)
      << low.out;
}
