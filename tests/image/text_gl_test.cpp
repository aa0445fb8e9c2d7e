#include "tests/image/gl_fixture.h"

#include <string>

#include "platform/bitmap_text.h"
#include "platform/font_data.h"

namespace {

bool GlyphBit(unsigned char c, int row, int column) {
    return (FontData[static_cast<std::size_t>(row) * 96 + (c - 32)] >> column & 1) != 0;
}

}  // namespace

using TextTest = GlTest;

// Each glyph covers its 8 × 16 cell exactly: its bits in the ink, the rest of
// the cell black. Codes without a glyph leave gaps; text is cut off at every
// edge, not wrapped. Text drawn into an image without GL (the CPU path, the
// browser's 2D canvas) shows the same, pixel for pixel. The GL state is left
// as it was found.
TEST_F(TextTest, LinesCoverTheirCellsExactlyOnScreenAndInAnImageAndLeaveTheState) {
    struct TLine {
        std::string text;
        int x, y;
        TTextInk ink;
    };
    const TLine lines[] = {{"FPS: 62", 0, 0, {}},
                           {"Particles: 8022", 100, 0, {}},
                           {"A\x01"
                            "B\xC8"
                            "C~\x7f",
                            100,
                            200,
                            {255, 0, 0}},
                           {"WWW", 795, 300, {}},
                           {"gjpqy", 300, 590, {0, 255, 128}},
                           {"left", -5, -3, {}},
                           {"", 10, 100, {}}};
    glClearColor(0.25f, 0.25f, 0.25f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glEnable(GL_CULL_FACE);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3, 4, 0);
    std::vector<GLfloat> before(32), after(32);
    glGetFloatv(GL_PROJECTION_MATRIX, before.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, before.data() + 16);
    std::vector<std::uint8_t> image(FRAME_WIDTH * FRAME_HEIGHT * 4), expected(FRAME_WIDTH * FRAME_HEIGHT * 3, 64);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = i % 4 == 3 ? 255 : 64;
    for (const TLine& line : lines) {
        glColor3ub(line.ink.r, line.ink.g, line.ink.b);
        DrawBitmapText(line.text, line.x, line.y);
        DrawBitmapTextImage(image.data(), FRAME_WIDTH, FRAME_HEIGHT, FRAME_WIDTH * 4, line.text, line.x, line.y,
                            line.ink);
        for (std::size_t i = 0; i < line.text.size(); ++i) {
            const auto c = static_cast<unsigned char>(line.text[i]);
            for (int r = 0; r < 16 && c >= 32 && c < 128; ++r)
                for (int k = 0, x = line.x + static_cast<int>(i) * 8 + k, y = line.y + r; k < 8; ++k, ++x)
                    if (x >= 0 && x < FRAME_WIDTH && y >= 0 && y < FRAME_HEIGHT) {
                        const bool lit = GlyphBit(c, r, k);
                        std::uint8_t* p = &expected[(static_cast<std::size_t>(y) * FRAME_WIDTH + x) * 3];
                        p[0] = lit ? line.ink.r : 0, p[1] = lit ? line.ink.g : 0, p[2] = lit ? line.ink.b : 0;
                    }
        }
    }
    GLint bound = 0, mode = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(bound, static_cast<GLint>(tex));
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST) && glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_BLEND));
    glGetFloatv(GL_PROJECTION_MATRIX, after.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, after.data() + 16);
    EXPECT_EQ(after, before);
    glDisable(GL_CULL_FACE);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &tex);
    glColor3f(1, 1, 1);
    glClearColor(0, 0, 0, 1);
    const TFrame f = ReadFrame();
    int screenWrong = 0, imageWrong = 0;
    for (std::size_t i = 0; i < expected.size() / 3; ++i)
        for (std::size_t k = 0; k < 4; ++k) {
            screenWrong += k < 3 && f.rgb[i * 3 + k] != expected[i * 3 + k];
            imageWrong += image[i * 4 + k] != (k < 3 ? expected[i * 3 + k] : 255);
        }
    EXPECT_EQ(screenWrong, 0);
    EXPECT_EQ(imageWrong, 0);

    // The atlas: glyph g in columns 8g to 8g + 7, bits as opaque white; the
    // columns after the last glyph stay transparent black.
    ASSERT_NE(BitmapFontTexture(), 0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(BitmapFontTexture()));
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    ASSERT_TRUE(w == 1024 && h == 16);
    std::vector<std::uint8_t> atlas(1024 * 16 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, atlas.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    int atlasWrong = 0;
    for (int i = 0; i < 1024 * 16 * 4; ++i) {
        const int x = i / 4 % 1024;
        atlasWrong +=
            atlas[i] != (x < 768 && GlyphBit(static_cast<unsigned char>(32 + x / 8), i / 4096, x % 8) ? 255 : 0);
    }
    EXPECT_EQ(atlasWrong, 0);
}
