// Uploading pixmaps as OpenGL textures.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/pixmap.h"

// A runtime error that nothing in the program handles: main prints its
// message on standard error and ends the process with status -1.
class TRuntimeException : public std::runtime_error {
public:
    explicit TRuntimeException(const std::string& message) : std::runtime_error(message) {}
};

// Turns a wanted texture size into one the GL accepts: each side is raised to
// a power of two, then both are halved until a proxy texture of that size is
// accepted. Throws TRuntimeException("Unable to calculate tex size") when not
// even 1 × 1 is. Needs a current GL context.
void FitTexSize(std::int32_t& width, std::int32_t& height);

// Makes a 2-D texture of internal format GL_RGBA8 from a pixmap of any
// format, stretched to the fitted size, with every mipmap level down to 1 × 1
// when mipmapped is non-zero. Sets no sampling parameter and restores the
// previous texture binding and unpack row length. Returns the texture name,
// or 0 when there is no pixmap or a level cannot be made; `error`, when
// given, then receives one line saying which size failed and why. Needs a
// current GL context.
std::int32_t TexFromPixmap(const TPixmap* pixmap, std::int32_t mipmapped, std::string* error = nullptr);
