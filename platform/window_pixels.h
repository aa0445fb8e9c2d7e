// Reading the window's pixels back, for screenshots.
#pragma once

#include <memory>

#include "platform/pixmap.h"

enum class TWindowBuffer {
    Drawn,  // the frame being drawn: read it before Flip, which leaves the back buffer undefined
    Shown,  // the frame on show, after Flip (a browser keeps only the one being drawn, which it reads instead)
};

// The client area of the open graphics as RGB pixels (format 4), top row
// first. None with no graphics open.
std::unique_ptr<TPixmap> ReadWindowPixels(TWindowBuffer buffer);
