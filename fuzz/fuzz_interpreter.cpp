// Fast fuzz target: one printer stream per input, interpreted and printed, its pages
// going into the text transcript alone. No page is encoded or written as a file, so
// that the fuzzer spends its time on the stream, the head, the page and the text;
// fuzz_output takes the pages through the encoders to their files.
//
// The first byte picks the run's settings (see fuzz_support.h), the rest is the stream.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  startFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  RunOptions options = fuzzOptions(data, size);
  options.settings.textName = fuzzTranscriptName;  // a transcript alone: no page files
  options.settings.threads = 1;
  runFuzzInput(options, data, size);
  return 0;
}
