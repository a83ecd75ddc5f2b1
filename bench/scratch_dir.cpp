#include "bench/scratch_dir.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

static fs::path startDirectory;

std::string enterScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "tambrix-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  startDirectory = fs::current_path();
  fs::current_path(pattern);
  return pattern;
}

void leaveScratchDir(const std::string &dir) {
  std::error_code ignored;
  fs::current_path(startDirectory, ignored);
  fs::remove_all(dir, ignored);
}
