// Reading PNG files into pixmaps.
#pragma once

#include <memory>
#include <string>

#include "platform/pixmap.h"

// Decodes a whole PNG file. Palettes are expanded (a transparency chunk
// becomes alpha), grey below 8 bits is widened and 16-bit samples keep their
// high byte. Grey gives format 1, RGB format 4, RGB with alpha format 6 and
// grey with alpha format 6 as (g, g, g, a). None for a file that cannot be
// read, is not PNG, is damaged or truncated, or is larger than
// MAX_PIXMAP_PIXELS; nothing is printed.
std::unique_ptr<TPixmap> LoadPngPixmap(const std::string& path);
