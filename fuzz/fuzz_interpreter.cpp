// Fuzz target: one printer stream per input, interpreted and printed to PNG pages.
//
// The first byte picks the run's settings, the rest is the stream:
//   bits 0-1  page height, one of pageHeights
//   bit 2     raw stream instead of a text-mode file
//   bit 3     business set as the default set
//   bits 4-5  debug level (trace messages, page marks)
//   bit 6     ribbon simulation on, with a short half-life
//   bit 7     strike counters start just below their 32-bit wrap
// Pages are written into a private temporary directory and removed after each input.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/run_options.h"
#include "mechanism/character_rom.h"
#include "output/page_image.h"
#include "ribbon/strike_store.h"

namespace {

// Page heights in pixels: the shortest page, one pixel more, a page that holds one
// text line and a little, and the default 12 inches.
const unsigned pageHeights[4] = {21, 22, 35, 1512};

constexpr uint8_t heightBits = 3;      // settings byte: index into pageHeights
constexpr uint8_t rawBit = 4;          // settings byte: raw stream
constexpr uint8_t businessBit = 8;     // settings byte: business default set
constexpr unsigned debugShift = 4;     // settings byte: debug level in bits 4-5
constexpr uint8_t debugBits = 3;
constexpr uint8_t halfLifeBit = 64;    // settings byte: ribbon simulation on
constexpr uint8_t nearWrapBit = 128;   // settings byte: counters near the wrap

constexpr uint32_t shortHalfLife = 50;        // strikes; shades change within one input
constexpr const char *nearWrapCounts = "-100 -100 -100 -100 -100 -100 -100";  // wrap after 100 strikes

constexpr const char *pagePrefix = "f";       // page files are f-NNN.png
constexpr const char *romFolder = "PRINTER";
constexpr const char *romName = "PRINTER/mps801.bin";

std::string workDirectory;  // the temporary directory the target runs in

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

// Starts the strike store afresh for the next input, or near the counters' wrap.
void seedStrikeStore(bool nearWrap) {
  unlink(strikeStoreName);
  if (!nearWrap) return;
  FILE *file = std::fopen(strikeStoreName, "w");
  if (file == nullptr || std::fputs(nearWrapCounts, file) < 0) std::abort();
  std::fclose(file);
}

// Removes every page the last input left in the working directory.
void removePages() {
  DIR *folder = opendir(".");
  if (folder == nullptr) return;
  while (dirent *entry = readdir(folder)) {
    if (std::strncmp(entry->d_name, pagePrefix, std::strlen(pagePrefix)) == 0) unlink(entry->d_name);
  }
  closedir(folder);
}

void removeWorkDirectory() {
  if (workDirectory.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(workDirectory, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  initImageLibrary(*argc > 0 ? (*argv)[0] : "fuzz_interpreter");
  std::string pattern = (std::filesystem::temp_directory_path() / "tambrix-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) std::abort();
  workDirectory = pattern;
  std::atexit(removeWorkDirectory);
  writeRomImage();
  // "f-001.png written." and the trace messages would drown libFuzzer's own log.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  uint8_t settings = size > 0 ? data[0] : 0;
  RunOptions options;
  options.settings.pageHeight = pageHeights[settings & heightBits];
  options.settings.outputPrefix = pagePrefix;
  options.settings.threads = 1;  // the fuzzer runs one input at a time, on one thread
  if (settings & rawBit) options.settings.streamKind = StreamKind::Raw;
  options.settings.businessDefault = settings & businessBit;
  options.settings.debugLevel = uint16_t((settings >> debugShift) & debugBits);
  if (settings & halfLifeBit) options.settings.halfLife = shortHalfLife;
  seedStrikeStore(settings & nearWrapBit);

  // fmemopen refuses a zero-length buffer, so an empty stream is read from an empty file.
  static const uint8_t noBytes[1] = {0};
  FILE *stream = size > 1 ? fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "rb")
                          : fmemopen(const_cast<uint8_t *>(noBytes), sizeof noBytes, "rb");
  if (stream == nullptr) std::abort();
  if (size <= 1) std::fgetc(stream);  // past the one placeholder byte: the stream is at its end
  if (runPrintJob(options, stream) != 0) std::abort();
  std::fclose(stream);
  removePages();
  return 0;
}
