#include "tests/image/gl_fixture.h"

#include <string>

#include "platform/bitmap_text.h"
#include "platform/font_data.h"

namespace {

bool GlyphBit(unsigned char c, int row, int column) {
    return (FontData[static_cast<std::size_t>(row) * 96 + (c - 32)] >> column & 1) != 0;
}

const std::array<int, 3> GREY = {64, 64, 64};
const std::array<int, 3> WHITE = {255, 255, 255};
const std::array<int, 3> BLACK = {0, 0, 0};

// Every pixel of the cell at (x, y) shows the glyph of c: `ink` where a bit
// is set, black elsewhere.
void ExpectCell(const TFrame& f, int x, int y, unsigned char c, std::array<int, 3> ink) {
    int mismatches = 0;
    for (int r = 0; r < 16; ++r)
        for (int k = 0; k < 8; ++k)
            if (f.At(x + k, y + r) != (GlyphBit(c, r, k) ? ink : BLACK)) ++mismatches;
    EXPECT_EQ(mismatches, 0) << "cell of '" << c << "' at " << x << "," << y;
}

void ExpectUntouched(const TFrame& f, int x0, int y0, int w, int h) {
    int touched = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            if (f.At(x, y) != GREY) ++touched;
    EXPECT_EQ(touched, 0) << "area " << x0 << "," << y0 << " " << w << "x" << h;
}

}  // namespace

class TextTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        glClearColor(0.25f, 0.25f, 0.25f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 1);
    }
};

// Glyphs cover their cells exactly in the current colour; codes without a
// glyph leave gaps; text past the right edge is cut off, not wrapped.
TEST_F(TextTest, LinesCoverTheirCellsExactly) {
    DrawBitmapText("FPS: 62", 0, 0);
    DrawBitmapText("WWW", 792, 300);
    glColor3f(1, 0, 0);
    DrawBitmapText(
        "A\x01"
        "B\xC8"
        "C",
        100, 200);
    glColor3f(1, 1, 1);
    const TFrame f = ReadFrame();
    const std::string text = "FPS: 62";
    for (std::size_t i = 0; i < text.size(); ++i)
        ExpectCell(f, static_cast<int>(i) * 8, 0, static_cast<unsigned char>(text[i]), WHITE);
    ExpectUntouched(f, 56, 0, 40, 20);  // right of x 55
    ExpectUntouched(f, 0, 16, 60, 4);   // below y 15
    for (int i = 0; i < 3; ++i) {
        ExpectCell(f, 100 + i * 16, 200, static_cast<unsigned char>('A' + i), {255, 0, 0});
        ExpectUntouched(f, 108 + i * 16, 200, 8, 16);
    }
    ExpectCell(f, 792, 300, 'W', WHITE);
    ExpectUntouched(f, 0, 290, 40, 40);
}

TEST_F(TextTest, EmptyTextDrawsNothingButBuildsTheAtlas) {
    DrawBitmapText("", 10, 10);
    ExpectUntouched(ReadFrame(), 0, 0, 100, 50);
    const std::int32_t tex = BitmapFontTexture();
    ASSERT_NE(tex, 0);

    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(tex));
    GLint w = 0, h = 0, levels = 0;
    for (;; ++levels) {
        GLint lw = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, levels, GL_TEXTURE_WIDTH, &lw);
        if (lw == 0) break;
    }
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 16);
    EXPECT_EQ(levels, 11);
    std::vector<std::uint8_t> atlas(1024 * 16 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, atlas.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    int unused = 0, wrong = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 1024; ++x) {
            const std::uint8_t* p = &atlas[(y * 1024 + x) * 4];
            const int expected = x < 768 && GlyphBit(static_cast<unsigned char>(32 + x / 8), y, x % 8) ? 255 : 0;
            if (x >= 768 && (p[0] | p[1] | p[2] | p[3]) != 0) ++unused;
            if (p[0] != expected || p[3] != expected) ++wrong;
        }
    EXPECT_EQ(unused, 0);
    EXPECT_EQ(wrong, 0);
}

TEST_F(TextTest, LeavesTheGlStateAsItFoundIt) {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glEnable(GL_CULL_FACE);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3, 4, 0);
    GLfloat projection[16], modelView[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);

    DrawBitmapText("state", 5, 5);

    GLint bound = 0, mode = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(bound, static_cast<GLint>(tex));
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLfloat projectionAfter[16], modelViewAfter[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelViewAfter);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(projectionAfter[i], projection[i]);
        EXPECT_EQ(modelViewAfter[i], modelView[i]);
    }
    glDisable(GL_CULL_FACE);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &tex);
}

// The text a frame drawn without GL gets (the CPU path, the browser's 2D
// canvas) matches the GL's pixel for pixel, cut off at every edge alike.
TEST_F(TextTest, TextDrawnIntoAnImageMatchesTheGlFrame) {
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
                           {"left", -5, -3, {}}};
    std::vector<std::uint8_t> image(FRAME_WIDTH * FRAME_HEIGHT * 4);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = i % 4 == 3 ? 255 : 64;
    for (const TLine& line : lines) {
        glColor3ub(line.ink.r, line.ink.g, line.ink.b);
        DrawBitmapText(line.text, line.x, line.y);
        DrawBitmapTextImage(image.data(), FRAME_WIDTH, FRAME_HEIGHT, FRAME_WIDTH * 4, line.text, line.x, line.y,
                            line.ink);
    }
    glColor3f(1, 1, 1);
    const TFrame f = ReadFrame();
    int differ = 0, opaque = 0;
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) {
            const std::uint8_t* p = &image[(static_cast<std::size_t>(y) * FRAME_WIDTH + x) * 4];
            if (f.At(x, y) != std::array<int, 3>{p[0], p[1], p[2]}) ++differ;
            if (p[3] == 255) ++opaque;
        }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(opaque, FRAME_WIDTH * FRAME_HEIGHT);
}
