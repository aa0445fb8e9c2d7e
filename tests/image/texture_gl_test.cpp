#include "tests/image/gl_fixture.h"

#include <vector>

#include "platform/texture.h"

namespace {

using TSizes = std::vector<std::pair<int, int>>;

TSizes LevelSizes(std::int32_t tex) {
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(tex));
    TSizes sizes;
    for (GLint level = 0, w = 1, h = 0; w != 0; ++level) {
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
        if (w != 0) sizes.emplace_back(w, h);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return sizes;
}

std::vector<std::uint8_t> TexLevel(std::int32_t tex, int level) {
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(tex));
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return rgba;
}

std::unique_ptr<TPixmap> Solid(std::int32_t w, std::int32_t h, std::uint32_t argb) {
    auto p = TPixmap::Create(w, h, 6, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p->WritePixel(x, y, static_cast<std::int32_t>(argb));
    return p;
}

}  // namespace

using TextureTest = GlTest;

// Sides are stretched to powers of two, and every further level halves each
// side longer than one pixel, down to 1 × 1. Level 0 holds the pixmap's
// pixels, read with its pitch (grey as opaque RGB), and each further level
// halves the level above.
TEST_F(TextureTest, LevelsAreStretchedToPowersOfTwoAndHalveTheLevelAbove) {
    auto wide = Solid(100, 50, 0xFF102030u);
    const std::int32_t stretched = TexFromPixmap(wide.get(), 1);
    EXPECT_EQ(LevelSizes(stretched), (TSizes{{128, 64}, {64, 32}, {32, 16}, {16, 8}, {8, 4}, {4, 2}, {2, 1}, {1, 1}}));
    const auto corner = TexLevel(stretched, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(corner.end() - 4, corner.end()),
              (std::vector<std::uint8_t>{0x10, 0x20, 0x30, 0xFF}));
    auto line = Solid(8, 1, 0xFFFFFFFFu);
    EXPECT_EQ(LevelSizes(TexFromPixmap(line.get(), 1)), (TSizes{{8, 1}, {4, 1}, {2, 1}, {1, 1}}));
    EXPECT_EQ(LevelSizes(TexFromPixmap(line.get(), 0)), (TSizes{{8, 1}}));
    EXPECT_EQ(TexFromPixmap(nullptr, 1), 0);

    auto p = TPixmap::Create(4, 1, 6, 4);
    const std::uint32_t row[] = {0xFF000000u, 0xFF640000u, 0xFFC80000u, 0xFFFF0000u};
    for (int x = 0; x < 4; ++x) p->WritePixel(x, 0, static_cast<std::int32_t>(row[x]));
    const std::int32_t tex = TexFromPixmap(p.get(), 1);
    EXPECT_EQ(TexLevel(tex, 1), (std::vector<std::uint8_t>{50, 0, 0, 255, 227, 0, 0, 255}));
    EXPECT_EQ(TexLevel(tex, 2), (std::vector<std::uint8_t>{138, 0, 0, 255}));

    auto grey = TPixmap::Create(2, 2, 1, 4);
    const std::uint8_t values[] = {0, 90, 180, 255};
    for (int i = 0; i < 4; ++i) grey->PixelPtr(i % 2, i / 2)[0] = values[i];
    EXPECT_EQ(TexLevel(TexFromPixmap(grey.get(), 0), 0),
              (std::vector<std::uint8_t>{0, 0, 0, 255, 90, 90, 90, 255, 180, 180, 180, 255, 255, 255, 255, 255}));

    // Two pixels per row with room for four: the padding must not show.
    std::vector<std::uint8_t> memory(16 * 2, 0xEE);
    auto wrapped = TPixmap::Wrap(memory.data(), 2, 2, 16, 6);
    for (int i = 0; i < 4; ++i) wrapped->WritePixel(i % 2, i / 2, static_cast<std::int32_t>(0xFF000000u | i));
    const auto level0 = TexLevel(TexFromPixmap(wrapped.get(), 0), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(level0[i * 4 + 2], i) << "pixel " << i;
}

TEST_F(TextureTest, LeavesBindingRowLengthAndSamplingStateAlone) {
    GLuint previous = 0;
    glGenTextures(1, &previous);
    glBindTexture(GL_TEXTURE_2D, previous);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 3);
    auto p = Solid(16, 16, 0xFFFFFFFFu);
    const std::int32_t tex = TexFromPixmap(p.get(), 1);
    auto get = [](GLenum what) {
        GLint v = 0;
        glGetIntegerv(what, &v);
        return v;
    };
    EXPECT_EQ(get(GL_TEXTURE_BINDING_2D), static_cast<GLint>(previous));
    EXPECT_EQ(get(GL_UNPACK_ROW_LENGTH), 3);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);

    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(tex));
    std::vector<GLint> params;
    for (const GLenum name : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
        glGetTexParameteriv(GL_TEXTURE_2D, name, &params.emplace_back());
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &params.emplace_back());
    EXPECT_EQ(params, (std::vector<GLint>{GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, GL_REPEAT, GL_REPEAT, GL_MODULATE}));
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(TextureTest, FitTexSizeRoundsUpToPowersOfTwoWithinTheLimit) {
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    struct Case {
        std::int32_t w, h, fw, fh;
    };
    // Too wide for the GL: both sides are halved until it fits.
    for (const Case c : {Case{0, 1, 1, 1}, Case{1, 3, 1, 4}, Case{1024, 16, 1024, 16}, Case{513, 257, 1024, 512},
                         Case{max * 4, 8, max, 2}}) {
        std::int32_t w = c.w, h = c.h;
        FitTexSize(w, h);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.fw, c.fh)) << c.w << "x" << c.h;
    }
}
