// tambrix: prints, as PNG pages, what a 7-pin dot-matrix printer would have printed
// from the byte stream sent to it.
#include <cstdio>

#include "app/run_options.h"
#include "base/stop_signal.h"
#include "output/page_image.h"

int main(int argc, char **argv) {
  installStopHandlers();
  // Each message goes out as it is printed, so that a stop or a reader watching a pipe
  // loses none of them.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  std::printf("TAMBRIX V0.1 beta 4\n");
  int status = runReportingErrors([argc, argv] {
    initImageLibrary(argc > 0 ? argv[0] : "tambrix");
    RunOptions options;
    if (parseOptions(argc, argv, options) == ParseResult::Help) return 0;
    noteSerialLine(options);
    return isLiveRun(options) ? runLiveCapture(options, stdin) : runPrintJob(options, stdin);
  });
  std::fflush(stdout);
  return status;
}
