#include "bench/png_quality.h"

#include <Magick++.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/workloads.h"

namespace {

using Clock = std::chrono::steady_clock;

// Tens digit: zlib level; ones digit: PNG filter (0 none .. 4 Paeth, 5 adaptive).
// 0 is also the library's "not set", and 75 is what the engine writes with.
static const unsigned qualities[] = {0, 1, 5, 10, 11, 15, 31, 35, 51, 55, 71, 75, 91, 95, 99};
constexpr unsigned defaultQuality = 75;
constexpr unsigned encodeRepeats = 5;  // encodings per setting, for the median
constexpr double bytesPerKb = 1024.0;

struct Encoding {
  unsigned quality;
  double ms;     // median time of one encoding
  size_t bytes;  // size of the PNG data
};

// The page as the engine holds it, rebuilt from the file it wrote: a fresh white
// DirectClass image, 8 bits deep, without time chunks, given the file's pixels. The
// image read from the file itself would not do: it comes back as a colour map with
// the file's background, and a page with debug marks then encodes twice as large.
Magick::Image rebuildPage(const std::string &name) {
  Magick::Image file(name);
  size_t width = file.columns(), height = file.rows();
  Magick::Blob rgb;
  file.write(&rgb, "RGB", 8);
  Magick::Image image(Magick::Geometry(width, height), Magick::ColorMono(true));
  image.depth(8);
  image.magick("PNG");
  image.defineValue("png", "exclude-chunks", "date,time");
  image.modifyImage();
  image.classType(Magick::DirectClass);
  image.getPixels(0, 0, width, height);
  image.readPixels(Magick::RGBQuantum, static_cast<const unsigned char *>(rgb.data()));
  image.syncPixels();
  return image;
}

Encoding encodeAt(Magick::Image &image, unsigned quality) {
  std::vector<double> times;
  size_t bytes = 0;
  for (unsigned i = 0; i < encodeRepeats; ++i) {
    Magick::Blob blob;
    Clock::time_point start = Clock::now();
    image.quality(quality);
    image.write(&blob);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    bytes = blob.length();
  }
  return Encoding{quality, median(times), bytes};
}

size_t bytesAt(const std::vector<Encoding> &encodings, unsigned quality) {
  for (const Encoding &encoding : encodings)
    if (encoding.quality == quality) return encoding.bytes;
  return 0;
}

void printTable(const WorkloadInfo &info, size_t engineBytes, const std::vector<Encoding> &encodings) {
  size_t reference = bytesAt(encodings, defaultQuality);
  std::printf("\n### %s (engine's own file: %.1f KB, %s the encoding at %u)\n\n", info.label,
              double(engineBytes) / bytesPerKb, engineBytes == reference ? "same as" : "NOT the same as",
              defaultQuality);
  std::printf("| quality | zlib level | filter |     ms |       KB | size vs %u |\n", defaultQuality);
  std::printf("|--------:|-----------:|-------:|-------:|---------:|-----------:|\n");
  for (const Encoding &e : encodings)
    std::printf("| %7u | %10u | %6u | %6.1f | %8.1f | %8.0f %% |\n", e.quality, e.quality / 10, e.quality % 10, e.ms,
                double(e.bytes) / bytesPerKb, 100.0 * double(e.bytes) / double(reference));
}

void measureWorkload(const WorkloadInfo &info) {
  setUpEngine(info.workload);
  paintPage(info.workload);
  std::string name = writeBenchPage();
  eraseBenchPage();
  Magick::Image image = rebuildPage(name);
  std::vector<Encoding> encodings;
  for (unsigned quality : qualities) encodings.push_back(encodeAt(image, quality));
  printTable(info, std::filesystem::file_size(name), encodings);
}

}  // namespace

void printQualityTables() {
  std::printf("## PNG quality: encode time and size of one page (median of %u encodings)\n", encodeRepeats);
  for (const WorkloadInfo &info : allWorkloads()) measureWorkload(info);
}
