// Reading the window's pixels back, for screenshots.
#pragma once

#include <memory>

#include "platform/pixmap.h"

// The frame being drawn in the open graphics, as RGB pixels (format 4), top
// row first. Read it before Flip: the frame on show cannot be read back
// everywhere (Mesa's software GL gives black for the front buffer), and after
// Flip the back buffer is undefined. None with no GL graphics open.
std::unique_ptr<TPixmap> ReadWindowPixels();
