// Reading PNG files into pixmaps.
#pragma once

#include <memory>
#include <string>

#include "platform/pixmap.h"

// Decodes a whole PNG file. Palettes are expanded (a transparency chunk
// becomes alpha), grey below 8 bits is widened and 16-bit samples keep their
// high byte. Grey gives format 1, RGB format 4, RGB with alpha format 6 and
// grey with alpha format 6 as (g, g, g, a). None for a file that cannot be
// read, is not PNG, is damaged or truncated, is larger than
// MAX_PIXMAP_PIXELS or has a side longer than 65 536; nothing is printed,
// and when `error` is given it receives one line saying what was wrong.
//
// A hostile file costs little: no chunk may claim more than a few MiB,
// ancillary chunks other than transparency are skipped unread, a file too
// small to hold the image its header declares is refused before any pixel
// memory is taken, and every error libpng would let pass ends the decoding.
std::unique_ptr<TPixmap> LoadPngPixmap(const std::string& path, std::string* error = nullptr);

// Writes a pixmap as an 8-bit PNG file: format 1 as grey, format 4 as RGB,
// format 6 as RGB with alpha; the other formats are converted to format 6
// first. Returns false when the file cannot be made or written, with one line
// saying why in `error` when it is given; nothing is printed and no partial
// file is left behind.
bool SavePngPixmap(const TPixmap& pixmap, const std::string& path, std::string* error = nullptr);

// Whether SavePngPixmap could make the file at `path` now, checked before
// there is an image: its folder is there and may be written, and the path is
// neither a folder nor a file that may not be written. Leaves the path as it
// found it. False, with one line saying why (as SavePngPixmap says it) in
// `error` when it is given, when the file could not be made.
bool CanSavePngAt(const std::string& path, std::string* error = nullptr);
