#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "mechanism/character_rom.h"
#include "ribbon/strike_store.h"

namespace {

// Page heights in pixels: the shortest page, one pixel more, a page that holds one
// text line and a little, and the default 12 inches.
const unsigned fuzzPageHeights[4] = {21, 22, 35, 1512};
// The same for the ESC/P printer, at 240 pixels an inch: its shortest page (1/6 inch),
// one pixel more, a line of 1/6 inch and a half, and 11 inches.
const unsigned fuzzEscpPageHeights[4] = {40, 41, 60, 2640};

constexpr uint8_t heightBits = 3;      // settings byte: index into the page heights
constexpr uint8_t rawBit = 4;          // settings byte: raw stream
constexpr uint8_t businessBit = 8;     // settings byte: business default set
constexpr uint8_t escpBits = rawBit | businessBit;  // settings byte: both, the ESC/P printer
constexpr unsigned debugShift = 4;     // settings byte: debug level in bits 4-5
constexpr uint8_t debugBits = 3;
constexpr uint8_t halfLifeBit = 64;    // settings byte: ribbon simulation on
constexpr uint8_t nearWrapBit = 128;   // settings byte: counters near the wrap

constexpr uint32_t shortHalfLife = 50;        // strikes; shades change within one input
constexpr int32_t nearWrapCount = -100;  // wrap after 100 strikes
constexpr const char *nearWrapCounts = "-100 -100 -100 -100 -100 -100 -100";  // the same, as stored

constexpr const char *romFolder = "PRINTER";
constexpr const char *romName = "PRINTER/mps801.bin";
constexpr const char *escpFontName = "PRINTER/escp.fake";

std::string workDirectory;  // the temporary directory the targets run in
RunCarry carry;             // page memory handed from input to input, as runs in one process may

// fmemopen refuses a zero-length buffer, so an empty stream is read from this one byte,
// read to its end first.
const uint8_t noBytes[1] = {0};

// A deterministic ROM image with every glyph different and most pins used.
void writeRomImage() {
  uint8_t rom[romSize];
  uint32_t state = 0x2545F491u;
  for (unsigned i = 0; i < romSize; ++i) {
    state = state * 1103515245u + 12345u;
    rom[i] = uint8_t((state >> 16) & 0x7F);
  }
  std::filesystem::create_directories(romFolder);
  FILE *file = std::fopen(romName, "wb");
  if (file == nullptr || std::fwrite(rom, 1, romSize, file) != romSize) std::abort();
  std::fclose(file);
}

// The ESC/P printer's font, copied from the source tree where the program looks for it
// first.
void writeEscpFont() {
  std::error_code error;
  std::filesystem::copy_file(TAMBRIX_ESCP_FONT, escpFontName, std::filesystem::copy_options::overwrite_existing, error);
  if (error) std::abort();
}

// Starts the strike store afresh for the next input, or near the counters' wrap.
void seedStrikeStore(bool nearWrap) {
  unlink(strikeStoreName);
  if (!nearWrap) return;
  FILE *file = std::fopen(strikeStoreName, "w");
  if (file == nullptr || std::fputs(nearWrapCounts, file) < 0) std::abort();
  std::fclose(file);
}

// Removes the page files and documents the last input left in the working directory.
void removeOutputs() {
  unlink(fuzzTranscriptName);
  unlink(fuzzDocumentName);
  DIR *folder = opendir(".");
  if (folder == nullptr) return;
  size_t prefixLength = std::strlen(fuzzPagePrefix);
  while (dirent *entry = readdir(folder)) {
    if (std::strncmp(entry->d_name, fuzzPagePrefix, prefixLength) == 0 && entry->d_name[prefixLength] == '-')
      unlink(entry->d_name);
  }
  closedir(folder);
}

void removeWorkDirectory() {
  if (workDirectory.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(workDirectory, ignored);
}

}  // namespace

void startFuzzing() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tambrix-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) std::abort();
  workDirectory = pattern;
  std::atexit(removeWorkDirectory);
  writeRomImage();
  writeEscpFont();
  // "f-001.png written." and the trace messages would drown libFuzzer's own log.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

RunOptions fuzzOptions(const uint8_t *data, size_t size) {
  uint8_t settings = size > 0 ? data[0] : 0;
  RunOptions options;
  if ((settings & escpBits) == escpBits) {
    options.settings.model = PrinterModel::Escp;
    options.settings.pageHeight = fuzzEscpPageHeights[settings & heightBits];
  } else {
    options.settings.pageHeight = fuzzPageHeights[settings & heightBits];
    if (settings & rawBit) options.settings.streamKind = StreamKind::Raw;
    options.settings.businessDefault = settings & businessBit;
  }
  options.settings.debugLevel = uint16_t((settings >> debugShift) & debugBits);
  if (settings & halfLifeBit) options.settings.halfLife = shortHalfLife;
  return options;
}

void fuzzStrikeCounts(const uint8_t *data, size_t size, int32_t (&counts)[maxPins]) {
  bool nearWrap = size > 0 && (data[0] & nearWrapBit);
  for (int32_t &count : counts) count = nearWrap ? nearWrapCount : 0;
}

void runFuzzInput(const RunOptions &options, const uint8_t *data, size_t size) {
  seedStrikeStore(size > 0 && (data[0] & nearWrapBit));
  FILE *stream = size > 1 ? fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "rb")
                          : fmemopen(const_cast<uint8_t *>(noBytes), sizeof noBytes, "rb");
  if (stream == nullptr) std::abort();
  if (size <= 1) std::fgetc(stream);
  if (runPrintJob(options, stream, &carry) != 0) std::abort();
  std::fclose(stream);
  // The run's output record went with the run. An input that ends with more blocks
  // allocated than it freed is run again by libFuzzer to look for a leak; only the page
  // memory carried to the next run stays.
  removeOutputs();
}
