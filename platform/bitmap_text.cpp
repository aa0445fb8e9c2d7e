#include "platform/bitmap_text.h"

#include <GL/gl.h>

#include "platform/font_data.h"
#include "platform/pixmap.h"
#include "platform/texture.h"

namespace {

// The atlas: glyph g in columns 8g to 8g + 7 of a 1024 × 16 image; the last
// 256 columns stay transparent black so the small mipmap levels are clean.
constexpr std::int32_t ATLAS_WIDTH = 1024;
constexpr std::int32_t ATLAS_HEIGHT = 16;
constexpr float GLYPH_U = 0.0078125f;  // 8 / 1024

std::int32_t FontTex = 0;

// The enables an overlay may change, saved and put back by hand: a GL
// running on WebGL has no attribute stack. (Emulated on WebGL, the GL reports
// texturing as off whatever it is, so there the overlay leaves it off; the
// scenes switch it on for their sprites every frame.)
constexpr GLenum OVERLAY_ENABLES[] = {GL_TEXTURE_2D, GL_CULL_FACE,    GL_ALPHA_TEST,  GL_DEPTH_TEST,
                                      GL_BLEND,      GL_SCISSOR_TEST, GL_STENCIL_TEST};
constexpr std::size_t OVERLAY_ENABLE_COUNT = sizeof(OVERLAY_ENABLES) / sizeof(OVERLAY_ENABLES[0]);

struct TOverlayState {
    GLboolean enabled[OVERLAY_ENABLE_COUNT];
    GLint texture;
    GLint matrixMode;
    GLfloat modelView[16];
    GLfloat projection[16];
};
TOverlayState Saved;

std::int32_t BuildFontTexture() {
    auto atlas = TPixmap::Create(ATLAS_WIDTH, ATLAS_HEIGHT, PIXEL_FORMAT_RGBA8, 4);
    for (std::size_t r = 0; r < FONT_GLYPH_HEIGHT; ++r) {
        for (std::size_t g = 0; g < FONT_GLYPH_COUNT; ++g) {
            const std::uint8_t bits = FontData[r * FONT_GLYPH_COUNT + g];
            for (std::size_t k = 0; k < FONT_GLYPH_WIDTH; ++k) {
                if ((bits >> k & 1u) == 0) continue;
                std::uint8_t* p =
                    atlas->PixelPtr(static_cast<std::int32_t>(g * FONT_GLYPH_WIDTH + k), static_cast<std::int32_t>(r));
                p[0] = p[1] = p[2] = p[3] = 255;
            }
        }
    }
    return TexFromPixmap(atlas.get(), 1);
}

}  // namespace

std::int32_t BitmapFontTexture() { return FontTex; }

void BeginPixelOverlay() {
    for (std::size_t i = 0; i < OVERLAY_ENABLE_COUNT; ++i) Saved.enabled[i] = glIsEnabled(OVERLAY_ENABLES[i]);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &Saved.texture);
    glGetIntegerv(GL_MATRIX_MODE, &Saved.matrixMode);
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_MODELVIEW_MATRIX, Saved.modelView);
    glGetFloatv(GL_PROJECTION_MATRIX, Saved.projection);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, viewport[2], viewport[3], 0, -1, 1);

    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
}

void EndPixelOverlay() {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(Saved.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(Saved.modelView);
    glMatrixMode(static_cast<GLenum>(Saved.matrixMode));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(Saved.texture));
    for (std::size_t i = 0; i < OVERLAY_ENABLE_COUNT; ++i) {
        if (Saved.enabled[i] != 0)
            glEnable(OVERLAY_ENABLES[i]);
        else
            glDisable(OVERLAY_ENABLES[i]);
    }
}

void DrawBitmapText(std::string_view text, std::int32_t x, std::int32_t y) {
    if (FontTex == 0) FontTex = BuildFontTexture();
    BeginPixelOverlay();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(FontTex));

    const float top = static_cast<float>(y);
    const float bottom = static_cast<float>(y + 16);
    std::int32_t pen = x;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 32 && c <= 127) {
            const float u = static_cast<float>(c - 32) * GLYPH_U;
            const float left = static_cast<float>(pen);
            const float right = static_cast<float>(pen + 8);
            glBegin(GL_QUADS);
            glTexCoord2f(u, 0);
            glVertex2f(left, top);
            glTexCoord2f(u + GLYPH_U, 0);
            glVertex2f(right, top);
            glTexCoord2f(u + GLYPH_U, 1);
            glVertex2f(right, bottom);
            glTexCoord2f(u, 1);
            glVertex2f(left, bottom);
            glEnd();
        }
        pen += 8;
    }
    EndPixelOverlay();
}
