// Writes the pixels of a page file on standard output as a binary PPM (8-bit RGB), so
// that pages written by builds against different image libraries can be compared by
// their pixels rather than their bytes.
//
//   page_pixels <page.png> > page.ppm
#include <Magick++.h>

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: page_pixels <page.png>\n");
    return 2;
  }
  try {
    Magick::InitializeMagick(argv[0]);
    Magick::Image image;
    image.read(std::string("png:") + argv[1]);
    Magick::Blob rgb;
    image.write(&rgb, "RGB", 8);
    std::printf("P6\n%zu %zu\n255\n", image.columns(), image.rows());
    std::fwrite(rgb.data(), 1, rgb.length(), stdout);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "page_pixels: %s\n", e.what());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
