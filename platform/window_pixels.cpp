#include "platform/window_pixels.h"

#include <GL/gl.h>

#include <algorithm>
#include <vector>

#include "platform/graphics.h"

std::unique_ptr<TPixmap> ReadWindowPixels() {
    const TGraphics* graphics = CurrentGraphics();
    // Another driver's window has no GL context to read.
    if (graphics == nullptr || graphics->Driver() != &GLGraphicsDriver()) return nullptr;
    // RGBA is the one layout every GL reads back, WebGL included.
    auto rgba = TPixmap::Create(graphics->_width, graphics->_height, PIXEL_FORMAT_RGBA8, 4);
    if (!rgba) return nullptr;
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
#ifndef __EMSCRIPTEN__
    GLint readBuffer = GL_BACK;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, rgba->width, rgba->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba->pixels);
    glReadBuffer(static_cast<GLenum>(readBuffer));
#else
    glReadPixels(0, 0, rgba->width, rgba->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba->pixels);
#endif
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    // The GL gives the bottom row first.
    for (std::int32_t top = 0, bottom = rgba->height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(rgba->PixelPtr(0, top), rgba->PixelPtr(0, top) + rgba->pitch, rgba->PixelPtr(0, bottom));
    }
    return rgba->Convert(PIXEL_FORMAT_RGB8);
}
