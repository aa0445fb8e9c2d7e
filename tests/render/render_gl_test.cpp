#include "tests/image/gl_fixture.h"

#include <cmath>
#include <string>

#include "platform/bitmap_text.h"
#include "platform/png.h"
#include "platform/texture.h"
#include "render/render.h"
#include "tests/render/particles.h"

namespace {

using namespace render_test;

constexpr float SPRITE_SIZE = 9.5f;  // the demo's: sprites 19 pixels wide

std::int32_t UniformTexture(std::uint32_t argb) {
    auto p = TPixmap::Create(16, 16, 6, 4);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) p->WritePixel(x, y, static_cast<std::int32_t>(argb));
    return TexFromPixmap(p.get(), 1);
}

TSprites Sprites;  // of the world MakeWorld made last

std::unique_ptr<TSPH> MakeWorld(std::int32_t texture) {
    Sprites = {800, 600, SPRITE_SIZE, static_cast<std::uint32_t>(texture)};
    return DemoWorld();
}

// What a channel of value byte × texel shows after the sharpening.
int Sharpened(int byte, int texel, int sprites = 1) {
    const double c = std::min(1.0, sprites * byte / 256.0 * texel / 255.0);
    return static_cast<int>(std::lround(std::pow(c, 4) * 255));
}

int CountNonBlack(const TFrame& f) {
    int n = 0;
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) n += f.IsBlack(x, y) ? 0 : 1;
    return n;
}

}  // namespace

using RenderTest = GlTest;

TEST_F(RenderTest, EmptyWorldLeavesTheFrameBlackAndTheStateAsDocumented) {
    const std::int32_t tex = UniformTexture(0xFFFFFFFFu);
    auto world = MakeWorld(tex);
    Render(*world, Sprites);
    EXPECT_EQ(CountNonBlack(ReadFrame()), 0);

    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    GLint src = 0, dst = 0, bound = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(src, GL_ZERO);
    EXPECT_EQ(dst, GL_DST_COLOR);
    EXPECT_EQ(bound, tex);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 1.0f);
}

TEST_F(RenderTest, IsolatedSpriteIsTheFourthPowerOfItsTexel) {
    auto world = MakeWorld(UniformTexture(0xFF808080u));
    world->AddFluidParticle(Fluid(*world, 200, 200, {0, 0, 255}));
    Fluid(*world, 500, 200, {255, 255, 255});  // made but not registered: never drawn
    Render(*world, Sprites);
    const TFrame f = ReadFrame();

    const auto centre = f.At(199, 199);
    EXPECT_EQ(centre[0], 0);
    EXPECT_EQ(centre[1], 0);
    EXPECT_NEAR(centre[2], Sharpened(255, 128), 2);  // about 16, far below the texel's 128
    // A square of 19 × 19 pixels centred on the particle, nothing else.
    EXPECT_FALSE(f.IsBlack(192, 192));
    EXPECT_FALSE(f.IsBlack(207, 207));
    EXPECT_TRUE(f.IsBlack(188, 200));
    EXPECT_TRUE(f.IsBlack(200, 211));
    EXPECT_EQ(CountNonBlack(f), 19 * 19);
}

TEST_F(RenderTest, OverlappingSpritesAddUpBeforeTheSharpening) {
    auto world = MakeWorld(UniformTexture(0xFF606060u));  // texel 96
    world->AddFluidParticle(Fluid(*world, 300, 300, {0, 0, 255}));
    world->AddFluidParticle(Fluid(*world, 310, 300, {0, 0, 255}));
    for (int i = 0; i < 4; ++i) world->AddFluidParticle(Fluid(*world, 500, 300, {0, 255, 0}));
    Render(*world, Sprites);
    const TFrame f = ReadFrame();

    const int single = f.At(293, 300)[2];
    const int overlap = f.At(305, 300)[2];
    EXPECT_NEAR(single, Sharpened(255, 96), 2);
    EXPECT_NEAR(overlap, Sharpened(255, 96, 2), 3);
    // Before sharpening the overlap is twice as bright; after it, about 16 times.
    EXPECT_GT(overlap, 10 * std::max(single, 1));
    // Four sprites on one spot saturate.
    EXPECT_EQ(f.At(500, 300), (std::array<int, 3>{0, 255, 0}));
}

TEST_F(RenderTest, TexelsWithoutAlphaContributeNothing) {
    auto world = MakeWorld(UniformTexture(0x00FFFFFFu));
    for (int i = 0; i < 5; ++i) world->AddFluidParticle(Fluid(*world, 100 + 5.0f * i, 100, {255, 255, 255}));
    world->AddSolidParticle(Solid(*world, 300, 300, {255, 255, 255}));
    Render(*world, Sprites);
    EXPECT_EQ(CountNonBlack(ReadFrame()), 0);
}

// Solid and rigid particles are sprites like the liquid's; walls are flat
// squares drawn on top.
TEST_F(RenderTest, SolidsAndRigidsAreSpritesAndWallsFlatSquaresOnTop) {
    auto world = MakeWorld(UniformTexture(0xFFFFFFFFu));
    world->AddSolidParticle(Solid(*world, 100, 100, {255, 0, 0}));
    world->AddRigidParticle(Rigid(*world, 200, 100, {0, 255, 0}));
    for (int i = 0; i < 3; ++i) world->AddFluidParticle(Fluid(*world, 400, 400, {0, 0, 255}));
    world->AddBoundaryParticle(Wall(*world, 400, 400, {255, 128, 128}));
    world->AddBoundaryParticle(Wall(*world, 600, 400, {10, 20, 30}));
    world->AddBoundaryParticle(Wall(*world, 610, 400, {200, 100, 0}));  // covers the previous one
    Render(*world, Sprites);
    const TFrame f = ReadFrame();

    int wall = 0;
    for (int y = 380; y < 420; ++y)
        for (int x = 380; x < 420; ++x) {
            const auto c = f.At(x, y);
            if (c[0] != 0) {
                ++wall;
                EXPECT_NEAR(c[0], 254, 1);
                EXPECT_NEAR(c[1], 128, 1);
                EXPECT_NEAR(c[2], 128, 1);
            }
        }
    EXPECT_EQ(wall, 19 * 19);
    EXPECT_NEAR(f.At(605, 400)[0], 200, 1);  // the later wall wins
    EXPECT_NEAR(f.At(595, 400)[0], 10, 1);
    EXPECT_EQ(f.At(100, 100), (std::array<int, 3>{Sharpened(255, 255), 0, 0}));
    EXPECT_EQ(f.At(200, 100), (std::array<int, 3>{0, Sharpened(255, 255), 0}));
}

TEST_F(RenderTest, TextAfterRenderShowsInItsOwnColours) {
    auto world = MakeWorld(UniformTexture(0xFFFFFFFFu));
    for (int i = 0; i < 12; ++i) world->AddFluidParticle(Fluid(*world, 8.0f + 6 * i, 8, {0, 0, 255}));
    Render(*world, Sprites);
    DrawBitmapText("FPS: 62", 0, 0);
    const TFrame f = ReadFrame();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 56; ++x) {
            const auto c = f.At(x, y);
            EXPECT_TRUE(c == (std::array<int, 3>{0, 0, 0}) || c == (std::array<int, 3>{255, 255, 255}))
                << x << "," << y;
        }
    EXPECT_GT(f.At(64, 8)[2], 200);  // the liquid beside the text
}

TEST_F(RenderTest, TheSpriteMergesALiquidIntoOneBody) {
    auto sprite = LoadPngPixmap(METABALL_PNG_PATH);
    ASSERT_NE(sprite, nullptr) << METABALL_PNG_PATH;
    EXPECT_EQ(sprite->format, 6);
    auto world = MakeWorld(TexFromPixmap(sprite.get(), 1));

    // A block of liquid 8.5 pixels apart, an elastic block, a rigid bar, a
    // lone drop and the walls of a basin.
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 20; ++j)
            world->AddFluidParticle(Fluid(*world, 120 + 8.5f * i, 250 + 8.5f * j + (i % 2) * 1.5f, {0, 0, 255}));
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 6; ++j) world->AddSolidParticle(Solid(*world, 500 + 7.0f * i, 380 + 7.0f * j, {255, 0, 0}));
    for (int i = 0; i < 20; ++i) world->AddRigidParticle(Rigid(*world, 450 + 7.0f * i, 200, {0, 255, 0}));
    world->AddFluidParticle(Fluid(*world, 700, 100, {0, 0, 255}));
    // A splash: drops scattered 6 to 14 pixels apart.
    std::uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8 & 0xFFFF; };
    for (int i = 0; i < 120; ++i) {
        const float a = next() / 65536.0f * 6.2831853f;
        const float r = 55.0f * std::sqrt(next() / 65536.0f);
        world->AddFluidParticle(Fluid(*world, 250 + r * std::cos(a) * 1.6f, 110 + r * std::sin(a), {0, 0, 255}));
    }
    CreateBoundaryRect(world.get(), 80, 430, 640, 30);
    CreateBoundaryRect(world.get(), 80, 200, 30, 230);
    CreateBoundaryRect(world.get(), 690, 300, 30, 130);

    Render(*world, Sprites);
    DrawBitmapText("Particles: " + std::to_string(world->GetParticleCount()), 0, 0);
    DrawBitmapText("FPS: 62", 0, 16);
    const TFrame f = ReadFrame();
    f.SavePng("render_look.png");

    // Inside the block the sprites have merged: no dark gaps between particles.
    int darkest = 255;
    for (int y = 260; y < 400; ++y)
        for (int x = 130; x < 350; ++x) darkest = std::min(darkest, f.At(x, y)[2]);
    EXPECT_GT(darkest, 200);
    // Half a spacing beyond the block's edge the liquid has faded out.
    EXPECT_LT(f.At(230, 250 - 9)[2], 60);
    // The lone drop is a small bright dot, not a 19-pixel square.
    EXPECT_GT(f.At(700, 100)[2], 200);
    EXPECT_LT(f.At(706, 100)[2], 60);
    EXPECT_TRUE(f.IsBlack(709, 100));
    // Walls are flat pink.
    EXPECT_EQ(f.At(400, 445), (std::array<int, 3>{254, 128, 128}));
}
