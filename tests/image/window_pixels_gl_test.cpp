// The window read back as the demo's screenshots read it: the right way up,
// and saved as PNG without a change.
#include "tests/image/gl_fixture.h"

#include <string>

namespace {

void FillRect(float x, float y, float w, float h, float r, float g, float b) {
    glColor3f(r, g, b);
    glBegin(GL_QUADS);
    glVertex2f(x, y);
    glVertex2f(x + w, y);
    glVertex2f(x + w, y + h);
    glVertex2f(x, y + h);
    glEnd();
}

}  // namespace

using WindowPixelsTest = GlTest;

TEST_F(WindowPixelsTest, TheFrameReadsTopRowFirstAndSurvivesAPng) {
    FillRect(0, 0, 10, 5, 1, 0, 0);      // top left
    FillRect(790, 596, 10, 4, 0, 1, 0);  // bottom right
    FillRect(100, 200, 1, 1, 0, 0, 1);
    const TFrame drawn = ReadFrame();
    ASSERT_EQ(drawn.rgb.size(), std::size_t{FRAME_WIDTH} * FRAME_HEIGHT * 3);
    EXPECT_EQ(drawn.At(0, 0), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(drawn.At(9, 4), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(drawn.At(799, 599), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(drawn.At(790, 596), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(drawn.At(100, 200), (std::array<int, 3>{0, 0, 255}));
    int lit = 0;
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) lit += !drawn.IsBlack(x, y);
    EXPECT_EQ(lit, 50 + 40 + 1);

    const std::string path = ::testing::TempDir() + "window_pixels.png";
    ASSERT_TRUE(drawn.SavePng(path));
    const auto saved = LoadPngPixmap(path);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->format, PIXEL_FORMAT_RGB8);
    EXPECT_TRUE(std::equal(drawn.rgb.begin(), drawn.rgb.end(), saved->pixels));
}
