#include "base/page_raster.h"

size_t rasterRowBytes(PixelKind kind, unsigned width) {
  switch (kind) {
    case PixelKind::BlackWhite: return (size_t(width) + 7) / 8;
    case PixelKind::Gray:       return width;
    case PixelKind::Indexed:    return width;
    case PixelKind::Rgb:        return size_t(width) * 3;
  }
  return 0;
}
