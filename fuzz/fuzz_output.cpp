// Output fuzz target: one printer stream per input, printed through the whole page
// output: PNG page files encoded by two encoder threads, each with its encoder
// process, one PDF document and the text transcript. Slower than fuzz_interpreter,
// which leaves the encoders and the document out.
//
// The first byte picks the run's settings (see fuzz_support.h), the rest is the stream.
#include "fuzz/fuzz_support.h"
#include "output/page_image.h"

namespace {

constexpr unsigned outputThreads = 2;  // encoder threads, so pages are encoded while the next is painted

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  initImageLibrary(*argc > 0 ? (*argv)[0] : "fuzz_output");
  startFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  RunOptions options = fuzzOptions(data, size);
  options.settings.outputPrefix = fuzzPagePrefix;
  options.settings.pdfName = fuzzDocumentName;
  options.settings.textName = fuzzTranscriptName;
  options.settings.threads = outputThreads;
  runFuzzInput(options, data, size);
  return 0;
}
