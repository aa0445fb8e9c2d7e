// Worlds drawn into a real window, and the CPU picture against the GL's.
#include "tests/image/gl_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/bitmap_text.h"
#include "platform/png.h"
#include "platform/texture.h"
#include "render/cpu_renderer.h"
#include "render/render.h"
#include "tests/render/particles.h"

namespace {

using namespace render_test;

std::unique_ptr<TPixmap> LoadSprite() {
    auto sprite = LoadPngPixmap(METABALL_PNG_PATH);
    if (!sprite || sprite->format != 6) std::abort();  // the build makes it
    return sprite;
}

}  // namespace

class RenderTest : public GlTest {
protected:
    // Draws the world both ways; the CPU picture may differ from the GL's by a
    // mean of 0.05 per channel and by more than 32 in one pixel in 10 000.
    void ExpectSamePicture(const TSPH& world, const std::string& name) {
        glClear(GL_COLOR_BUFFER_BIT);
        Render(world, Sprites);
        const TFrame gl = ReadFrame();
        Renderer.Draw(world, Sprites);
        std::array<double, 3> sums{};
        int over32 = 0, largest = 0;
        for (int i = 0; i < FRAME_WIDTH * FRAME_HEIGHT; ++i) {
            int worst = 0;
            for (int k = 0; k < 3; ++k) {
                const int diff = std::abs(gl.rgb[static_cast<std::size_t>(i) * 3 + k] - Renderer.Pixels()[i * 4 + k]);
                sums[static_cast<std::size_t>(k)] += diff;
                worst = std::max(worst, diff);
            }
            over32 += worst > 32;
            largest = std::max(largest, worst);
        }
        const double mean = *std::max_element(sums.begin(), sums.end()) / (FRAME_WIDTH * FRAME_HEIGHT);
        std::printf("%s: mean difference %.4f in the worse channel, %d pixels off by more than 32, largest %d\n",
                    name.c_str(), mean, over32, largest);
        EXPECT_LE(mean, 0.05) << name;
        EXPECT_LE(over32, FRAME_WIDTH * FRAME_HEIGHT / 10000) << name;
    }

    TSprites Sprites{800, 600, 9.5f, static_cast<std::uint32_t>(TexFromPixmap(LoadSprite().get(), 1))};
    TCpuRenderer Renderer = [] {
        auto sprite = LoadSprite();
        return TCpuRenderer(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
    }();
};

// Sprites of every kind on whole- and half-pixel edges, partly off every side
// of the window, piled until channels saturate, mixed colours, and walls on
// such edges over them.
TEST_F(RenderTest, SpritesOnPixelEdgesOffTheWindowAndPiledUpLookTheSame) {
    auto world = DemoWorld();
    auto add = [&](float x, float y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        world->AddFluidParticle(Fluid(*world, x, y, {r, g, b}));
    };
    for (int i = 0; i < 16; ++i) {
        const float x = 40 + 45 * i;
        add(x, 40, 0, 0, 255);               // edges at half pixels: centres exactly on them
        add(x + 0.5f, 90, 255, 0, 0);        // edges on whole pixels
        add(x + i / 16.0f, 140, 0, 255, 0);  // every sixteenth of a pixel
        add(x + 0.25f, 190 + i / 32.0f, 255, 255, 255);
        world->AddSolidParticle(Solid(*world, x + 0.3f, 240, {255, 0, 0}));
        world->AddRigidParticle(Rigid(*world, x + 0.6f, 250, {0, 255, 0}));
    }
    for (int i = 0; i < 40; ++i) {
        const float t = static_cast<float>(i) * 20;
        add(t, -3.5f, 0, 0, 255);        // partly above the window
        add(t + 7, 603.25f, 255, 0, 0);  // partly below
        add(-4.5f, t, 0, 255, 0);        // partly left
        add(804.5f, t + 3, 0, 0, 255);   // partly right
    }
    // Piles: the same spot many times, and dense blocks that saturate, one
    // under a wall.
    for (int k = 0; k < 12; ++k) add(300.3f, 300.7f, 255, 0, 0);
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 12; ++j) add(380 + 4.25f * i, 280 + 4.5f * j, 90, 40, 200);
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 10; ++j) add(120 + 3.1f * i, 400 + 6.7f * j, 0, 128, 255);
    CreateBoundaryRect(world.get(), 500, 400, 100, 60);
    CreateBoundaryRect(world.get(), 620.5f, 430.5f, 60, 40);
    CreateBoundaryRect(world.get(), 150, 420, 40, 20);
    world->AddBoundaryParticle(Wall(*world, 600.5f, 300, {10, 20, 30}));
    world->AddBoundaryParticle(Wall(*world, 610.25f, 300, {200, 100, 0}));  // covers the previous one
    ExpectSamePicture(*world, "synthetic");
}

// Render's two multiplying passes turn every value of every channel into
// what the CPU's sharpening makes of it; texels of alpha 0 add nothing
// however bright, on either path. Render leaves the blending set for the
// passes, switched off, and the colour white.
TEST_F(RenderTest, TheFourthPowerMatchesTheCpusOnEveryValueAndTheStateIsAsDocumented) {
    glBegin(GL_QUADS);
    for (int c = 0; c < 256; ++c) {
        glColor3ub(static_cast<GLubyte>(c), static_cast<GLubyte>(255 - c), static_cast<GLubyte>((c * 7) % 256));
        glVertex2f(static_cast<float>(c), 0);
        glVertex2f(static_cast<float>(c + 1), 0);
        glVertex2f(static_cast<float>(c + 1), 10);
        glVertex2f(static_cast<float>(c), 10);
    }
    glEnd();
    auto clear = TPixmap::Create(16, 16, 6, 4);
    for (std::int32_t i = 0; i < clear->capacity; ++i) clear->pixels[i] = i % 4 == 3 ? 0 : 255;
    const TSprites seeThrough{800, 600, 9.5f, static_cast<std::uint32_t>(TexFromPixmap(clear.get(), 1))};
    auto world = DemoWorld();
    for (int i = 0; i < 3; ++i) world->AddFluidParticle(Fluid(*world, 400, 300, {255, 255, 255}));
    world->AddSolidParticle(Solid(*world, 500, 300, {255, 255, 255}));
    Render(*world, seeThrough);
    TCpuRenderer cpu(clear->pixels, 16, 16, clear->pitch);
    cpu.Draw(*world, seeThrough);
    EXPECT_EQ(std::count(cpu.Pixels(), cpu.Pixels() + 800 * 600 * 4, 0), 800 * 600 * 3);
    const TFrame f = ReadFrame();
    for (int c = 0; c < 256; ++c) {
        const std::array<int, 3> expected = {TCpuRenderer::Sharpen(static_cast<std::uint8_t>(c)),
                                             TCpuRenderer::Sharpen(static_cast<std::uint8_t>(255 - c)),
                                             TCpuRenderer::Sharpen(static_cast<std::uint8_t>((c * 7) % 256))};
        EXPECT_EQ(f.At(c, 5), expected) << c;
    }
    int lit = 0;
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) lit += (x >= 256 || y >= 10) && !f.IsBlack(x, y);
    EXPECT_EQ(lit, 0);

    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    GLint state[3] = {};
    glGetIntegerv(GL_BLEND_SRC, &state[0]);
    glGetIntegerv(GL_BLEND_DST, &state[1]);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &state[2]);
    EXPECT_EQ(std::vector<GLint>(state, state + 3),
              (std::vector<GLint>{GL_ZERO, GL_DST_COLOR, static_cast<GLint>(seeThrough.Texture)}));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(std::vector<GLfloat>(colour, colour + 3), std::vector<GLfloat>(3, 1.0f));
}

// The sprite merges a liquid into one body, and walls show flat, drawn either
// way.
TEST_F(RenderTest, TheSpriteMergesALiquidIntoOneBody) {
    auto world = DemoWorld();
    // A block of liquid 8.5 pixels apart, an elastic block, a rigid bar, a
    // lone drop, the walls of a basin, and liquid under the text.
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 20; ++j)
            world->AddFluidParticle(Fluid(*world, 120 + 8.5f * i, 250 + 8.5f * j + (i % 2) * 1.5f, {0, 0, 255}));
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 6; ++j) world->AddSolidParticle(Solid(*world, 500 + 7.0f * i, 380 + 7.0f * j, {255, 0, 0}));
    for (int i = 0; i < 20; ++i) world->AddRigidParticle(Rigid(*world, 450 + 7.0f * i, 200, {0, 255, 0}));
    world->AddFluidParticle(Fluid(*world, 700, 100, {0, 0, 255}));
    for (int i = 0; i < 12; ++i) world->AddFluidParticle(Fluid(*world, 8.0f + 6 * i, 24, {0, 0, 255}));
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

    ExpectSamePicture(*world, "look");
    glClear(GL_COLOR_BUFFER_BIT);
    Render(*world, Sprites);
    DrawBitmapText("Particles: " + std::to_string(world->GetParticleCount()), 0, 0);
    DrawBitmapText("FPS: 62", 0, 16);
    const TFrame f = ReadFrame();

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
    // Walls are flat pink, byte / 256 in 8 bits, on both paths.
    EXPECT_EQ(f.At(400, 445), (std::array<int, 3>{254, 128, 128}));
    const std::uint8_t* wall = Renderer.Pixels() + (445 * 800 + 400) * 4;
    EXPECT_EQ(std::vector<int>(wall, wall + 4), (std::vector<int>{254, 128, 128, 255}));
    // Text drawn after the frame shows in its own colours over the liquid.
    int tinted = 0;
    for (int y = 16; y < 32; ++y)
        for (int x = 0; x < 56; ++x)
            tinted += f.At(x, y) != std::array<int, 3>{} && f.At(x, y) != std::array<int, 3>{255, 255, 255};
    EXPECT_EQ(tinted, 0);
    EXPECT_GT(f.At(64, 24)[2], 200);  // the liquid beside the text
}
