#include "render/image_presenter.h"

#include <GL/gl.h>

namespace {

std::int32_t CeilPowerOfTwo(std::int32_t v) {
    std::int32_t p = 1;
    while (p < v) p *= 2;
    return p;
}

}  // namespace

TImagePresenter::~TImagePresenter() {
    // The context may be gone by now; a name it never made is harmless.
    if (Texture != 0) {
        const auto name = static_cast<GLuint>(Texture);
        glDeleteTextures(1, &name);
    }
}

void TImagePresenter::Present(const std::uint8_t* rgba, std::int32_t width, std::int32_t height) {
    if (rgba == nullptr || width <= 0 || height <= 0) return;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    if (Texture == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        Texture = name;
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(Texture));
    if (width > TextureWidth || height > TextureHeight) {
        TextureWidth = CeilPowerOfTwo(width);
        TextureHeight = CeilPowerOfTwo(height);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, TextureWidth, TextureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    // Rows are width × 4 bytes: always aligned to 4, never padded.
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);

    // White times the texel is the texel: the default texture environment will do.
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    const auto w = static_cast<float>(width);
    const auto h = static_cast<float>(height);
    const float u = w / static_cast<float>(TextureWidth);
    const float v = h / static_cast<float>(TextureHeight);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(u, 0);
    glVertex2f(w, 0);
    glTexCoord2f(u, v);
    glVertex2f(w, h);
    glTexCoord2f(0, v);
    glVertex2f(0, h);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}
