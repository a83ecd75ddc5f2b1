// Bad input of every kind, through the real program: option values that do not parse,
// files that are folders, devices or dangling links, page names the image library would
// misread, ROM images of the wrong size and strike stores that hold nonsense.
//
// Each row is one run in a fresh directory and says what the run must print, its exit
// status, every page it leaves and what "ribbon.dat" holds afterwards. Every run also
// checks that no temporary file is left behind, that a run with a readable ROM says
// nothing about the ROM, and that a failed run prints no closing message.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "run_support.h"

namespace fs = std::filesystem;

namespace {

const std::string banner = "TAMBRIX V0.1 beta 4\n";
const std::string noOutput = "Input did not generate any output (empty printfile?).\n";
const std::string romMissing =
    "Could not open printer ROM files 'PRINTER/mps801.bin' or 'PRINTER/mps801.fake'. "
    "Character data is missing, text will be INVISIBLE.\n";

// The store every run starts with. The newline is one the program never writes, so
// "unchanged" below means the file was not rewritten at all.
const std::string seededRibbon = "1 2 3 4 5 6 7\n";
const std::string rewrittenRibbon = "1 2 3 4 5 6 7";  // read and saved without a strike
const std::string oneColumnRibbon = "2 3 4 5 6 7 8";  // after one dot on every pin

// One bit-image column with all seven pins: one page, one strike per pin, no ROM needed.
const std::string oneColumn = bytes({8, 255});

// Every column of the test ROMs below strikes pin 0 only, so a printed "A" (six
// columns) adds exactly six strikes to pin 0.
constexpr uint8_t topDotColumn = 0x01;
const std::string letterRibbon = "7 2 3 4 5 6 7";  // after one "A"

constexpr size_t fullRom = 4096;          // bytes of a whole ROM image
constexpr unsigned defaultHeight = 1512;  // pixels of a page when -height changes nothing
constexpr unsigned pageWidth = 960;       // pixels

const std::string longPrefix(4100, 'x');  // past PATH_MAX and past NAME_MAX alike

// What the run's directory holds besides the seeded ROM and ribbon.dat.
enum class Fixture {
  Standard,          // nothing else
  InputFolder,       // a folder "folder.prn"
  DanglingLink,      // "link.prn", a symbolic link to a file that does not exist
  ReadOnlyFolder,    // a folder "locked" with mode 0555
  RomFolder,         // PRINTER/mps801.bin is a folder, and there is no fake ROM
  RomFolderAndFake,  // PRINTER/mps801.bin is a folder, PRINTER/mps801.fake a ROM image
  RibbonFolder,      // ribbon.dat is a folder (with a file inside), not a file
  InputFiles,        // "in.prn" (one column), "link.pdf" a link to it, "pg-002.png" a hard
                     //   link to it, a folder "sub" and a folder "doc.pdf"
};

enum class Stream { Out, Err };

struct Row {
  const char *name;
  std::vector<std::string> words;                   // command words after the program name
  Stream stream = Stream::Out;                      // where the message must appear
  std::string message;                              // a substring of that stream
  int status = 0;                                   // exit status
  std::vector<std::string> pages = {"TAMBRIX-001.png"};  // every PNG file left, relative, sorted
  std::string ribbonAfter = oneColumnRibbon;        // ribbon.dat afterwards
  std::string input = oneColumn;                    // standard input
  Fixture fixture = Fixture::Standard;
  size_t romBytes = fullRom;                        // length of PRINTER/mps801.bin
  std::string ribbonBefore = seededRibbon;          // ribbon.dat at the start
  unsigned pageHeight = defaultHeight;              // pixels of every page written
  unsigned pageWidth = ::pageWidth;                 // pixels across every page written
  std::string errMessage = {};                      // with Stream::Out: a substring of standard
                                                    //   error too; empty: nothing there
};

// Every numeric option given a non-number, a negative number, a number past 64 bits,
// nan and inf. Heights are floats in inches; the others are read like strtol, so nan
// and inf are no numbers to them and a huge value saturates to LONG_MAX, whose low 32
// bits are all ones.
const Row optionRows[] = {
    // -height: a non-number keeps the height in force
    {.name = "height word", .words = {"-height", "11", "-height", "tall"},
     .message = "Height set to 1386 pixels.\nHeight set to 1386 pixels.\n", .pageHeight = 1386},
    // -height: a negative height is refused
    {.name = "height negative", .words = {"-height", "11", "-height", "-5"},
     .message = "Height -5 out of range (21 to 12600 pixels), keeping 1386 pixels.\n", .pageHeight = 1386},
    // -height: 1e20 inches is refused, not wrapped to something that fits
    {.name = "height huge", .words = {"-height", "99999999999999999999"},
     .message = "Height 99999999999999999999 out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
    // -height: nan compares false with everything and must still be refused
    {.name = "height nan", .words = {"-height", "11", "-height", "nan"},
     .message = "Height nan out of range (21 to 12600 pixels), keeping 1386 pixels.\n", .pageHeight = 1386},
    // -height: infinity is refused
    {.name = "height inf", .words = {"-height", "INF"},
     .message = "Height INF out of range (21 to 12600 pixels), keeping 1512 pixels.\n"},
    // -test: a non-number keeps the mode in force
    {.name = "test word", .words = {"-test", "7", "-test", "abc"}, .message = "Test mode: 7.\nTest mode: 7.\n"},
    // -test: a negative mode selects no sheet
    {.name = "test negative", .words = {"-test", "-5"}, .message = "Test mode: -5.\n"},
    // -test: LONG_MAX keeps its low 32 bits, -1, which selects no sheet
    {.name = "test huge", .words = {"-test", "99999999999999999999"}, .message = "Test mode: -1.\n"},
    // -test: nan is no number
    {.name = "test nan", .words = {"-test", "7", "-test", "nan"}, .message = "Test mode: 7.\nTest mode: 7.\n"},
    // -test: inf is no number
    {.name = "test inf", .words = {"-test", "inf"}, .message = "Test mode: 0.\n"},
    // -halflife: a non-number keeps the half-life in force
    {.name = "halflife word", .words = {"-halflife", "9", "-halflife", "long"},
     .message = "Ribbon half-life: 9.\nRibbon half-life: 9.\n"},
    // -halflife: -5 keeps its low 32 bits, unsigned
    {.name = "halflife negative", .words = {"-halflife", "-5"}, .message = "Ribbon half-life: 4294967291.\n"},
    // -halflife: LONG_MAX keeps its low 32 bits
    {.name = "halflife huge", .words = {"-halflife", "99999999999999999999"},
     .message = "Ribbon half-life: 4294967295.\n"},
    // -halflife: nan is no number
    {.name = "halflife nan", .words = {"-halflife", "9", "-halflife", "nan"},
     .message = "Ribbon half-life: 9.\nRibbon half-life: 9.\n"},
    // -halflife: inf is no number
    {.name = "halflife inf", .words = {"-halflife", "inf"}, .message = "Ribbon half-life: 0.\n"},
    // -debug: a non-number keeps the level in force
    {.name = "debug word", .words = {"-debug", "4", "-debug", "x"}, .message = "Debug mode: 4.\nDebug mode: 4.\n"},
    // -debug: -5 keeps its low 16 bits, unsigned; trace and marks both on
    {.name = "debug negative", .words = {"-debug", "-5"},
     .message = "Debug mode: 65531.\nUsing ROM file PRINTER/mps801.bin.\nAttempting to write TAMBRIX-001.png...\nTAMBRIX-001.png written.\n"},
    // -debug: LONG_MAX keeps its low 16 bits
    {.name = "debug huge", .words = {"-debug", "99999999999999999999"}, .message = "Debug mode: 65535.\n"},
    // -debug: nan is no number
    {.name = "debug nan", .words = {"-debug", "4", "-debug", "nan"},
     .message = "Debug mode: 4.\nDebug mode: 4.\nTAMBRIX-001.png written.\n"},
    // -debug: inf is no number
    {.name = "debug inf", .words = {"-debug", "inf"}, .message = "Debug mode: 0.\nTAMBRIX-001.png written.\n"},
    // an option with no value is named as given and the run goes on with standard input
    {.name = "height alone", .words = {"-height"}, .message = "Incomplete parameter -height.\nTAMBRIX-001.png"},
    // the same for -test, in capitals
    {.name = "test alone", .words = {"-TEST"}, .message = "Incomplete parameter -TEST.\n"},
    // the same for -halflife, after a value that was taken
    {.name = "halflife alone", .words = {"-halflife", "9", "-HalfLife"},
     .message = "Ribbon half-life: 9.\nIncomplete parameter -HalfLife.\n"},
    // the same for -debug
    {.name = "debug alone", .words = {"-debug"}, .message = "Incomplete parameter -debug.\n"},
    // the same for -out: the default prefix stays
    {.name = "out alone", .words = {"-out"}, .message = "Incomplete parameter -out.\nTAMBRIX-001.png written.\n"},
    // -threads: outside 1 to 64 is refused, a non-number keeps the count in force
    {.name = "threads zero", .words = {"-threads", "0"},
     .message = "Threads 0 out of range (1 to 64), keeping one per core.\n"},
    {.name = "threads many", .words = {"-threads", "3", "-threads", "65", "-threads", "x"},
     .message = "Encoder threads: 3.\nThreads 65 out of range (1 to 64), keeping 3.\nEncoder threads: 3.\n"},
    // -threads: both ends of the range are taken
    {.name = "threads one and most", .words = {"-threads", "1", "-threads", "64"},
     .message = "Encoder threads: 1.\nEncoder threads: 64.\nTAMBRIX-001.png written.\n"},
    // -dpi: outside 100 to 1200, or no whole number, is refused and the resolution in
    // force kept; it is echoed, and changes nothing without -look ink
    {.name = "dpi out of range", .words = {"-dpi", "150", "-dpi", "99", "-dpi", "1201", "-dpi", "-300"},
     .message = "Ink resolution set to 150 pixels per inch.\n"
                "Resolution 99 out of range (100 to 1200 pixels per inch), keeping 150.\n"
                "Resolution 1201 out of range (100 to 1200 pixels per inch), keeping 150.\n"
                "Resolution -300 out of range (100 to 1200 pixels per inch), keeping 150.\n"},
    {.name = "dpi not a number", .words = {"-dpi", "abc", "-dpi", "300x", "-dpi", "1e3", "-dpi", ""},
     .message = "Resolution abc is not a number (100 to 1200 pixels per inch), keeping 300.\n"
                "Resolution 300x is not a number (100 to 1200 pixels per inch), keeping 300.\n"
                "Resolution 1e3 is not a number (100 to 1200 pixels per inch), keeping 300.\n"
                "Resolution  is not a number (100 to 1200 pixels per inch), keeping 300.\n"},
    // the look's words take named values; an unknown one is refused with the names it
    // may be, and the value in force kept: here the page stays today's
    {.name = "paper unknown", .words = {"-paper", "tractor"},
     .message = "Paper tractor unknown (none, plain, greenbar, bluebar), keeping none.\n"},
    {.name = "look unknown", .words = {"-look", "crayon", "-ribbon", "red"},
     .message = "Look crayon unknown (dots, ink), keeping dots.\n"
                "Ribbon red unknown (black, blue, purple), keeping black.\n"},
    {.name = "paper unknown keeps the paper", .words = {"-paper", "plain", "-paper", "green bar"},
     .message = "Paper: plain.\nPaper green bar unknown (none, plain, greenbar, bluebar), keeping plain.\n",
     .pageWidth = 1140},
    {.name = "dpi alone", .words = {"-look", "ink", "-dpi"},
     .message = "Look: ink.\nIncomplete parameter -dpi.\nTAMBRIX-001.png written.\n", .pageHeight = 3600,
     .pageWidth = 2400},
    // a page larger than pages may be: the usual error and status 1, no page, the
    // store left alone
    {.name = "ink page too large", .words = {"-look", "ink", "-dpi", "1200", "-height", "100"},
     .stream = Stream::Err,
     .message = "Error: tambrix: a page of 9600 x 120000 pixels is larger than a page may be (268435456 pixels); "
                "a lower -dpi or -height makes it smaller\n",
     .status = 1, .pages = {}, .ribbonAfter = seededRibbon},
    // the same for a PDF page's image, 32767 pixels each way at most
    {.name = "ink document too tall", .words = {"-look", "ink", "-dpi", "400", "-height", "90", "-pdf", "x.pdf"},
     .stream = Stream::Err,
     .message = "Error: tambrix: a page of 3200 x 36000 pixels is larger than a PDF page's image may be (32767 "
                "pixels each way); a lower -dpi or -height makes it smaller\n",
     .status = 1, .pages = {}, .ribbonAfter = seededRibbon},
};

// Input files that are no printer file.
const Row inputRows[] = {
    // a folder cannot be read as a stream: the run stops before touching anything
    {.name = "input folder", .words = {"folder.prn"}, .message = "Cannot open input file folder.prn - aborting.\n",
     .status = 1, .pages = {}, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFolder,
     .errMessage = "Error: tambrix: cannot open input file `folder.prn': Is a directory\n"},
    // a device that reads as empty is an empty printer file
    {.name = "input device", .words = {"/dev/null"}, .message = noOutput, .pages = {},
     .ribbonAfter = rewrittenRibbon},
    // unreadable input: the tests run as root, where permission bits do not stop a
    // read, so a dangling symbolic link stands for a file that cannot be opened
    {.name = "input dangling link", .words = {"link.prn"}, .message = "Cannot open input file link.prn - aborting.\n",
     .status = 1, .pages = {}, .ribbonAfter = seededRibbon, .fixture = Fixture::DanglingLink,
     .errMessage = "Error: tambrix: cannot open input file `link.prn': No such file or directory\n"},
    // a path through a folder that does not exist
    {.name = "input missing", .words = {"missing/none.prn"},
     .message = "Cannot open input file missing/none.prn - aborting.\n", .status = 1, .pages = {},
     .ribbonAfter = seededRibbon,
     .errMessage = "Error: tambrix: cannot open input file `missing/none.prn': No such file or directory\n"},
};

// Outputs that are files the run reads, or one another: each refused before anything
// is written, naming both roles.
const std::vector<std::string> linkedPage = {"pg-002.png"};  // the hard link of InputFiles
// "./" enough times that a file name after it is past PATH_MAX while the folder is not.
const std::string tooLongToOpen = [] {
  std::string folder;
  while (folder.size() < 4090) folder += "./";
  return folder;
}();
const Row collisionRows[] = {
    {.name = "pdf is the input", .words = {"in.prn", "-pdf", "in.prn"}, .stream = Stream::Err,
     .message = "Error: tambrix: the PDF document `in.prn' is the input file\n", .status = 1, .pages = linkedPage,
     .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "pdf is the transcript", .words = {"in.prn", "-pdf", "s.out", "-text", "s.out"}, .stream = Stream::Err,
     .message = "Error: tambrix: the text transcript `s.out' is the PDF document\n", .status = 1,
     .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "pdf is a page file", .words = {"in.prn", "-out", "p", "-pdf", "p-001.png"}, .stream = Stream::Err,
     .message = "Error: tambrix: the PDF document `p-001.png' is a page file of this run\n", .status = 1,
     .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "transcript is the store", .words = {"in.prn", "-text", "ribbon.dat"}, .stream = Stream::Err,
     .message = "Error: tambrix: the text transcript `ribbon.dat' is the strike store\n", .status = 1,
     .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "input spelled another way", .words = {"in.prn", "-pdf", "./sub/../in.prn"}, .stream = Stream::Err,
     .message = "Error: tambrix: the PDF document `./sub/../in.prn' is the input file\n", .status = 1,
     .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "input through a link", .words = {"in.prn", "-pdf", "link.pdf"}, .stream = Stream::Err,
     .message = "Error: tambrix: the PDF document `link.pdf' is the input file\n", .status = 1,
     .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    // the input's link by a name too long to open: the file cannot be looked at, but
    // its folder can, and it is the same folder entry
    {.name = "input link by a name too long to open", .words = {"link.pdf", "-pdf", tooLongToOpen + "link.pdf"},
     .stream = Stream::Err, .message = "' is the input file\n", .status = 1, .pages = linkedPage,
     .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "transcript is the rom", .words = {"in.prn", "-text", "PRINTER/mps801.bin"}, .stream = Stream::Err,
     .message = "Error: tambrix: the text transcript `PRINTER/mps801.bin' is the character ROM in use\n",
     .status = 1, .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "input is a page file", .words = {"pg-002.png", "-out", "pg"}, .stream = Stream::Err,
     .message = "Error: tambrix: the page file `pg-002.png' is the input file\n", .status = 1, .pages = linkedPage,
     .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "page file linked to the input", .words = {"in.prn", "-out", "pg"}, .stream = Stream::Err,
     .message = "Error: tambrix: the page file `pg-002.png' is the input file\n", .status = 1, .pages = linkedPage,
     .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "listing is the transcript", .words = {"in.prn", "-text", "x.txt", "-explain", "x.txt"},
     .stream = Stream::Err, .message = "Error: tambrix: the stream listing `x.txt' is the text transcript\n",
     .status = 1, .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "store is the input", .words = {"ribbon.dat"}, .stream = Stream::Err,
     .message = "Error: tambrix: the strike store `ribbon.dat' is the input file\n", .status = 1, .pages = {},
     .ribbonAfter = seededRibbon},
    // destinations are checked before the first page
    {.name = "transcript in a missing folder", .words = {"in.prn", "-out", "p", "-text", "no/such/t.txt"},
     .stream = Stream::Err, .message = "unable to write text transcript `no/such/t.txt': No such file or directory",
     .status = 1, .pages = linkedPage, .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    {.name = "pdf is a folder", .words = {"in.prn", "-out", "p", "-pdf", "doc.pdf"}, .stream = Stream::Err,
     .message = "unable to write PDF document `doc.pdf': Is a directory", .status = 1, .pages = linkedPage,
     .ribbonAfter = seededRibbon, .fixture = Fixture::InputFiles},
    // a transcript alone writes no page files; with -out it does
    {.name = "transcript alone", .words = {"-text", "t.txt"}, .message = "t.txt written.\n", .pages = {}},
    {.name = "transcript and pages", .words = {"-text", "t.txt", "-out", "p"}, .message = "p-001.png written.\n",
     .pages = {"p-001.png"}},
};

// Page name prefixes that cannot be written, or that the image library would read as
// its own syntax; the page must be written under exactly the name asked for.
const Row prefixRows[] = {
    // a folder that does not exist: an error naming the page, and the store left alone
    {.name = "prefix missing folder", .words = {"-out", "no/such/folder/page"}, .stream = Stream::Err,
     .message = "no/such/folder/page-001.png': No such file or directory", .status = 1, .pages = {},
     .ribbonAfter = seededRibbon},
    // a read-only folder: root writes there anyway (the runner expects a refusal when
    // the tests do not run as root)
    {.name = "prefix read-only folder", .words = {"-out", "locked/page"}, .message = "locked/page-001.png written.\n",
     .pages = {"locked/page-001.png"}, .fixture = Fixture::ReadOnlyFolder},
    // a name past every length limit
    {.name = "prefix too long", .words = {"-out", longPrefix}, .stream = Stream::Err,
     .message = "-001.png': File name too long", .status = 1, .pages = {}, .ribbonAfter = seededRibbon},
    // a printf conversion
    {.name = "prefix percent", .words = {"-out", "report%d"}, .message = "report%d-001.png written.\n",
     .pages = {"report%d-001.png"}},
    // conversions that would read and write through missing arguments
    {.name = "prefix percent s n", .words = {"-out", "%s%n%x"}, .message = "%s%n%x-001.png written.\n",
     .pages = {"%s%n%x-001.png"}},
    // a frame subscript
    {.name = "prefix brackets", .words = {"-out", "scan[1]"}, .message = "scan[1]-001.png written.\n",
     .pages = {"scan[1]-001.png"}},
    // a "format:" head
    {.name = "prefix colon", .words = {"-out", "a:b"}, .message = "a:b-001.png written.\n", .pages = {"a:b-001.png"}},
    // a "format:" head that names a real image format
    {.name = "prefix format head", .words = {"-out", "gif:page"}, .message = "gif:page-001.png written.\n",
     .pages = {"gif:page-001.png"}},
    // a space
    {.name = "prefix space", .words = {"-out", "my page"}, .message = "my page-001.png written.\n",
     .pages = {"my page-001.png"}},
    // an option word is taken as the value, whatever it looks like
    {.name = "prefix option word", .words = {"-out", "-height"}, .message = "-height-001.png written.\n",
     .pages = {"-height-001.png"}},
    // a document in a folder that does not exist: refused before anything prints
    {.name = "pdf missing folder", .words = {"-pdf", "no/such/doc.pdf"}, .stream = Stream::Err,
     .message = "unable to write PDF document `no/such/doc.pdf': No such file or directory", .status = 1,
     .pages = {}, .ribbonAfter = seededRibbon},
    // document words without their file name
    {.name = "pdf alone", .words = {"-pdf"}, .message = "Incomplete parameter -pdf.\nTAMBRIX-001.png written.\n"},
    {.name = "text alone", .words = {"-out", "p", "-text"}, .message = "Incomplete parameter -text.\np-001.png written.\n",
     .pages = {"p-001.png"}},
    // a stream listing in a folder that does not exist: refused before anything prints
    {.name = "listing missing folder", .words = {"-explain", "no/such/run.lst"}, .stream = Stream::Err,
     .message = "unable to write stream listing `no/such/run.lst': No such file or directory", .status = 1,
     .pages = {}, .ribbonAfter = seededRibbon},
    {.name = "listing alone", .words = {"-out", "p", "-explain"},
     .message = "Incomplete parameter -explain.\np-001.png written.\n", .pages = {"p-001.png"}},
};

// ROM images of the wrong size; "A" is glyph slot 1 of the capitals at 0x900, and the
// business set's "a" lies in the lower-case region at 0xD00.
const Row romRows[] = {
    // an empty ROM file: no message, and text prints nothing at all
    {.name = "rom empty", .words = {}, .message = noOutput, .pages = {}, .ribbonAfter = rewrittenRibbon,
     .input = "A\r", .romBytes = 0},
    // a single byte: text still prints blank
    {.name = "rom one byte", .words = {}, .message = noOutput, .pages = {}, .ribbonAfter = rewrittenRibbon,
     .input = "A\r", .romBytes = 1},
    // 3000 bytes hold the capitals
    {.name = "rom short capitals", .words = {}, .message = "TAMBRIX-001.png written.\n", .ribbonAfter = letterRibbon,
     .input = "A\r", .romBytes = 3000},
    // 3000 bytes end before the business lower case, which prints blank
    {.name = "rom short lower case", .words = {"-business"}, .message = noOutput, .pages = {},
     .ribbonAfter = rewrittenRibbon, .input = "\rA\r", .romBytes = 3000},
    // a whole ROM
    {.name = "rom whole", .words = {}, .message = "TAMBRIX-001.png written.\n", .ribbonAfter = letterRibbon,
     .input = "A\r", .romBytes = fullRom},
    // a longer file is cut at 4096 bytes without a word
    {.name = "rom long", .words = {}, .message = "TAMBRIX-001.png written.\n", .ribbonAfter = letterRibbon,
     .input = "A\r", .romBytes = 10000},
    // a folder of the ROM's name is no ROM, and the run still prints dot columns
    {.name = "rom folder", .words = {}, .message = romMissing + "TAMBRIX-001.png written.\n",
     .fixture = Fixture::RomFolder},
    // a folder of the ROM's name is passed over for the fake ROM
    {.name = "rom folder and fake", .words = {}, .message = "TAMBRIX-001.png written.\n", .ribbonAfter = letterRibbon,
     .input = "A\r", .fixture = Fixture::RomFolderAndFake},
};

// Strike stores that hold nonsense: read as far as they parse, each number keeping its
// low 32 bits as strtol saturates it, and written back whole.
const Row ribbonRows[] = {
    // no number at all: a new ribbon
    {.name = "ribbon garbage", .words = {}, .message = "TAMBRIX-001.png written.\n",
     .ribbonAfter = "1 1 1 1 1 1 1", .ribbonBefore = "worn out\n"},
    // an empty store: a new ribbon
    {.name = "ribbon empty", .words = {}, .message = "TAMBRIX-001.png written.\n", .ribbonAfter = "1 1 1 1 1 1 1",
     .ribbonBefore = ""},
    // reading stops at the first item that is not a number
    {.name = "ribbon garbage inside", .words = {}, .message = "TAMBRIX-001.png written.\n",
     .ribbonAfter = "6 7 1 1 1 1 1", .ribbonBefore = "5 6 x 7 8 9 10"},
    // fewer than seven numbers: the other pins start from zero
    {.name = "ribbon short", .words = {}, .message = "TAMBRIX-001.png written.\n", .ribbonAfter = "6 7 8 1 1 1 1",
     .ribbonBefore = "5 6 7"},
    // numbers past 64 bits saturate, then keep their low 32 bits; no strike
    {.name = "ribbon huge unstruck", .words = {}, .message = noOutput, .pages = {},
     .ribbonAfter = "-1 0 -1 0 -1 -2147483648 7", .input = "",
     .ribbonBefore = "99999999999999999999 -99999999999999999999 18446744073709551616 4294967296 4294967295 "
                     "2147483648 7"},
    // the same, then one strike per pin, wrapping at 32 bits
    {.name = "ribbon huge struck", .words = {}, .message = "TAMBRIX-001.png written.\n",
     .ribbonAfter = "0 1 0 1 0 -2147483647 8",
     .ribbonBefore = "99999999999999999999 -99999999999999999999 18446744073709551616 4294967296 4294967295 "
                     "2147483648 7"},
    // a folder of the store's name: a new ribbon, no save, and the folder stays
    {.name = "ribbon folder", .words = {}, .message = "TAMBRIX-001.png written.\n", .fixture = Fixture::RibbonFolder},
};

// The ROM image of the given length: every column a single top dot.
std::string romImage(size_t length) { return std::string(length, char(topDotColumn)); }

void prepare(const TempDir &dir, const Row &row) {
  fs::create_directories(dir.file("PRINTER"));
  if (row.fixture == Fixture::RomFolder || row.fixture == Fixture::RomFolderAndFake)
    fs::create_directories(dir.file("PRINTER/mps801.bin"));
  else
    writeFile(dir.file("PRINTER/mps801.bin"), romImage(row.romBytes));
  if (row.fixture == Fixture::RomFolderAndFake) writeFile(dir.file("PRINTER/mps801.fake"), romImage(fullRom));

  if (row.fixture == Fixture::RibbonFolder) {
    fs::create_directories(dir.file("ribbon.dat"));
    writeFile(dir.file("ribbon.dat/inside"), seededRibbon);
  } else {
    writeFile(dir.file("ribbon.dat"), row.ribbonBefore);
  }
  if (row.fixture == Fixture::InputFolder) fs::create_directories(dir.file("folder.prn"));
  if (row.fixture == Fixture::DanglingLink) fs::create_symlink("nowhere.prn", dir.file("link.prn"));
  if (row.fixture == Fixture::InputFiles) {
    writeFile(dir.file("in.prn"), oneColumn);
    fs::create_symlink("in.prn", dir.file("link.pdf"));
    fs::create_hard_link(dir.file("in.prn"), dir.file("pg-002.png"));
    fs::create_directories(dir.file("sub"));
    fs::create_directories(dir.file("doc.pdf"));
  }
  if (row.fixture == Fixture::ReadOnlyFolder) {
    fs::create_directories(dir.file("locked"));
    chmod(dir.file("locked").c_str(), 0555);
  }
}

// Every PNG file under dir, as paths relative to it, sorted.
std::vector<std::string> pagesUnder(const TempDir &dir) {
  std::vector<std::string> names;
  for (auto &entry : fs::recursive_directory_iterator(dir.path))
    if (entry.is_regular_file() && entry.path().extension() == ".png")
      names.push_back(fs::relative(entry.path(), dir.path).string());
  std::sort(names.begin(), names.end());
  return names;
}

// Files left by a write that was not finished: "<name>.XXXXXX" beside a page, a
// document or the store.
std::vector<std::string> temporaryFilesUnder(const TempDir &dir) {
  std::vector<std::string> names;
  for (auto &entry : fs::recursive_directory_iterator(dir.path)) {
    std::string name = entry.path().filename().string();
    if (name.find(".png.") != std::string::npos || name.find(".pdf.") != std::string::npos ||
        name.find(".lst.") != std::string::npos ||
        name.rfind("ribbon.dat.", 0) == 0)
      names.push_back(fs::relative(entry.path(), dir.path).string());
  }
  return names;
}

// Every file under dir with its bytes.
std::map<std::string, std::string> filesUnder(const TempDir &dir) {
  std::map<std::string, std::string> files;
  for (auto &entry : fs::recursive_directory_iterator(dir.path))
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir.path).string()] = readFile(entry.path());
  return files;
}

// Width and height from a PNG file's header chunk; 0 x 0 when it is no PNG file.
struct PngSize {
  unsigned width;
  unsigned height;
};

PngSize pngSize(const std::string &png) {
  const std::string signature = "\x89PNG\r\n\x1a\n";
  constexpr size_t widthAt = 16;  // signature, chunk length and "IHDR"
  if (png.size() < widthAt + 8 || png.compare(0, signature.size(), signature) != 0) return {0, 0};
  auto word = [&png](size_t at) {
    unsigned value = 0;
    for (size_t i = 0; i < 4; ++i) value = (value << 8) | uint8_t(png[at + i]);
    return value;
  };
  return {word(widthAt), word(widthAt + 4)};
}

void checkRow(const Row &given) {
  SCOPED_TRACE(given.name);
  TempDir dir;
  prepare(dir, given);
  Row row = given;
  // Without root the read-only folder does refuse the page; nothing else may differ.
  if (row.fixture == Fixture::ReadOnlyFolder && access(dir.file("locked").c_str(), W_OK) != 0) {
    row.stream = Stream::Err;
    row.message = "locked/page-001.png': Permission denied";
    row.status = 1;
    row.pages = {};
    row.ribbonAfter = seededRibbon;
  }

  std::map<std::string, std::string> before = filesUnder(dir);
  RunResult r = runTambrix(dir, row.words, row.input);

  EXPECT_EQ(r.status, row.status);
  EXPECT_EQ(r.out.rfind(banner, 0), 0u) << r.out;
  const std::string &stream = row.stream == Stream::Out ? r.out : r.err;
  EXPECT_NE(stream.find(row.message), std::string::npos) << "out:\n" << r.out << "err:\n" << r.err;
  if (row.stream == Stream::Out && row.errMessage.empty()) {
    EXPECT_EQ(r.err, "");
  } else if (row.stream == Stream::Out) {
    EXPECT_NE(r.err.find(row.errMessage), std::string::npos) << r.err;
  } else {
    EXPECT_EQ(r.err.rfind("Error: ", 0), 0u) << r.err;
  }
  // A run that failed ended where it failed: no closing message. One refused before
  // its first page wrote nothing and left every file as it was.
  if (row.status != 0) {
    EXPECT_EQ(r.out.find(noOutput), std::string::npos) << r.out;
    if (r.out.find(" written.") == std::string::npos) {
      EXPECT_EQ(filesUnder(dir), before);
    }
  }
  // Only a run without a usable ROM says so.
  bool romUnusable = row.fixture == Fixture::RomFolder;
  EXPECT_EQ(r.out.find("Could not open printer ROM") != std::string::npos, romUnusable) << r.out;

  EXPECT_EQ(pagesUnder(dir), row.pages);
  for (const std::string &name : row.pages) {
    if (before.count(name) != 0) continue;  // there before the run, and no page of it
    PngSize size = pngSize(readFile(dir.file(name)));
    EXPECT_EQ(size.width, row.pageWidth) << name;
    EXPECT_EQ(size.height, row.pageHeight) << name;
  }
  EXPECT_EQ(temporaryFilesUnder(dir), std::vector<std::string>{});

  if (row.fixture == Fixture::RibbonFolder) {
    EXPECT_TRUE(fs::is_directory(dir.file("ribbon.dat")));
    EXPECT_EQ(readFile(dir.file("ribbon.dat/inside")), seededRibbon);
  } else {
    EXPECT_EQ(readFile(dir.file("ribbon.dat")), row.ribbonAfter);
  }
}

}  // namespace

TEST(BadInput, OptionValues) {
  for (const Row &row : optionRows) checkRow(row);
}

TEST(BadInput, InputFiles) {
  for (const Row &row : inputRows) checkRow(row);
}

TEST(BadInput, OutputPrefixes) {
  for (const Row &row : prefixRows) checkRow(row);
}

TEST(BadInput, OutputCollisions) {
  for (const Row &row : collisionRows) checkRow(row);
}

TEST(BadInput, RomFiles) {
  for (const Row &row : romRows) checkRow(row);
}

TEST(BadInput, RibbonStores) {
  for (const Row &row : ribbonRows) checkRow(row);
}
