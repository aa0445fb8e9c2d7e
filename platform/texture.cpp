#include "platform/texture.h"

#include <GL/gl.h>

#include <cstdio>
#include <memory>

namespace {

std::int32_t NextPowerOfTwo(std::int32_t n) {
    std::int32_t p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p;
}

}  // namespace

void FitTexSize(std::int32_t& width, std::int32_t& height) {
    std::int32_t w = NextPowerOfTwo(width);
    std::int32_t h = NextPowerOfTwo(height);
    for (;;) {
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        GLint accepted = 0;
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &accepted);
        if (accepted != 0) break;
        if (w == 1 && h == 1) throw TRuntimeException("Unable to calculate tex size");
        if (w > 1) w /= 2;
        if (h > 1) h /= 2;
    }
    width = w;
    height = h;
}

std::int32_t TexFromPixmap(const TPixmap* pixmap, std::int32_t mipmapped, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) *error = why;
        return 0;
    };
    if (pixmap == nullptr) return fail("no image to make a texture from");
    const std::string imageSize = std::to_string(pixmap->width) + " x " + std::to_string(pixmap->height);
    // Why an RGBA pixmap of this size could not be made from the image.
    auto refusal = [&](std::int32_t w, std::int32_t h) {
        const std::string why = PixmapRefusal(w, h, PIXEL_FORMAT_RGBA8, 4);
        return why.empty() ? "the image's pixel format " + std::to_string(pixmap->format) + " is unknown" : why;
    };

    std::unique_ptr<TPixmap> owned;
    const TPixmap* level = pixmap;
    if (level->format != PIXEL_FORMAT_RGBA8) {
        owned = level->Convert(PIXEL_FORMAT_RGBA8);
        if (!owned) {
            return fail("cannot convert the " + imageSize + " image to RGBA: " + refusal(level->width, level->height));
        }
        level = owned.get();
    }
    std::int32_t width = level->width;
    std::int32_t height = level->height;
    FitTexSize(width, height);
    if (width != level->width || height != level->height) {
        owned = ScalePixmap(level, width, height);
        if (!owned) {
            return fail("the " + imageSize + " image needs a texture of " + std::to_string(width) + " x " +
                        std::to_string(height) + ", and stretching it there failed: " + refusal(width, height));
        }
        level = owned.get();
    }

    GLint previousTexture = 0;
    GLint previousRowLength = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &previousRowLength);
    // Errors raised before are not this upload's.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);

    for (GLint i = 0;; ++i) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, level->pitch / 4);
        glTexImage2D(GL_TEXTURE_2D, i, GL_RGBA8, level->width, level->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     level->pixels);
        if (mipmapped == 0 || (level->width == 1 && level->height == 1)) break;
        const std::int32_t w = level->width > 1 ? level->width / 2 : 1;
        const std::int32_t h = level->height > 1 ? level->height / 2 : 1;
        auto next = ScalePixmap(level, w, h);
        if (!next) break;
        owned = std::move(next);
        level = owned.get();
    }

    const GLenum uploadError = glGetError();
    glPixelStorei(GL_UNPACK_ROW_LENGTH, previousRowLength);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
    if (uploadError != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        char code[16];
        std::snprintf(code, sizeof code, "0x%04X", uploadError);
        return fail("the GL could not make a texture of " + std::to_string(width) + " x " + std::to_string(height) +
                    " for the " + imageSize + " image (GL error " + code + ")");
    }
    return static_cast<std::int32_t>(name);
}
