// The CPU picture against the GL's, drawn from the same worlds in one window.
#include "tests/image/gl_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include "app/scenes.h"
#include "platform/png.h"
#include "platform/texture.h"
#include "render/cpu_renderer.h"
#include "render/render.h"
#include "sph/fluid.h"
#include "sph/sph.h"

namespace {

std::unique_ptr<TPixmap> LoadSprite() {
    auto sprite = LoadPngPixmap(METABALL_PNG_PATH);
    if (!sprite) std::abort();  // the build makes it
    return sprite;
}

std::int32_t LoadSpriteTexture() { return TexFromPixmap(LoadSprite().get(), 1); }

}  // namespace

class CpuRenderTest : public GlTest {
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

    TSprites Sprites{800, 600, 9.5f, static_cast<std::uint32_t>(LoadSpriteTexture())};
    TCpuRenderer Renderer = [] {
        auto sprite = LoadSprite();
        return TCpuRenderer(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
    }();
};

TEST_F(CpuRenderTest, TheDemosScenesLookTheSameBothWays) {
    TDemoScenes scenes = BuildScenes();
    ExpectSamePicture(*scenes.World1, "scene1_start");
    for (int i = 0; i < 400; ++i) {
        scenes.Emitter1->Update();
        scenes.World1->Update();
    }
    ExpectSamePicture(*scenes.World1, "scene1_poured");
    ExpectSamePicture(*scenes.World2, "scene2");
    ExpectSamePicture(*scenes.World3, "scene3");
}

// Sprites on whole- and half-pixel edges, partly off every side of the
// window, piled until channels saturate, mixed colours, and walls on such
// edges over them.
TEST_F(CpuRenderTest, SpritesOnPixelEdgesOffTheWindowAndPiledUpLookTheSame) {
    auto world = TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f});
    const auto fluid = TFluid::Create(world.get());
    auto add = [&](float x, float y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        // Placed and coloured by hand, as a step would.
        auto* p = const_cast<TParticle*>(TParticle::CreateFluidParticle(0, 0, fluid.get()));
        std::tie(p->ScreenX, p->ScreenY, p->ColorR, p->ColorG, p->ColorB) = std::make_tuple(x, y, r, g, b);
        world->AddFluidParticle(p);
    };
    for (int i = 0; i < 16; ++i) {
        const float x = 40 + 45 * i;
        add(x, 40, 0, 0, 255);               // edges at half pixels: centres exactly on them
        add(x + 0.5f, 90, 255, 0, 0);        // edges on whole pixels
        add(x + i / 16.0f, 140, 0, 255, 0);  // every sixteenth of a pixel
        add(x + 0.25f, 190 + i / 32.0f, 255, 255, 255);
    }
    for (int i = 0; i < 40; ++i) {
        const float t = static_cast<float>(i) * 20;
        add(t, -3.5f, 0, 0, 255);        // partly above the window
        add(t + 7, 603.25f, 255, 0, 0);  // partly below
        add(-4.5f, t, 0, 255, 0);        // partly left
        add(804.5f, t + 3, 0, 0, 255);   // partly right
    }
    // Piles: the same spot many times, and a dense block that saturates.
    for (int k = 0; k < 12; ++k) add(300.3f, 300.7f, 255, 0, 0);
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 12; ++j) add(380 + 4.25f * i, 280 + 4.5f * j, 90, 40, 200);
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 10; ++j) add(120 + 3.1f * i, 400 + 6.7f * j, 0, 128, 255);
    CreateBoundaryRect(world.get(), 500, 400, 100, 60);
    CreateBoundaryRect(world.get(), 620.5f, 430.5f, 60, 40);
    ExpectSamePicture(*world, "synthetic");
}

// The sharpening in 8 bits: every value of every channel against the GL's
// two multiplying passes over columns of flat colour.
TEST_F(CpuRenderTest, TheFourthPowerMatchesTheGlOnEveryValue) {
    glBegin(GL_QUADS);
    for (int c = 0; c < 256; ++c) {
        const auto v = static_cast<GLubyte>(c);
        glColor3ub(v, static_cast<GLubyte>(255 - c), static_cast<GLubyte>((c * 7) % 256));
        glVertex2f(static_cast<float>(c), 0);
        glVertex2f(static_cast<float>(c + 1), 0);
        glVertex2f(static_cast<float>(c + 1), 10);
        glVertex2f(static_cast<float>(c), 10);
    }
    glEnd();
    auto world = TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f});
    Render(*world, {800, 600, 9.5f, 0});  // no particles: just the two passes
    const TFrame f = ReadFrame();
    for (int c = 0; c < 256; ++c) {
        const auto got = f.At(c, 5);
        EXPECT_EQ(got[0], TCpuRenderer::Sharpen(static_cast<std::uint8_t>(c))) << c;
        EXPECT_EQ(got[1], TCpuRenderer::Sharpen(static_cast<std::uint8_t>(255 - c))) << c;
        EXPECT_EQ(got[2], TCpuRenderer::Sharpen(static_cast<std::uint8_t>((c * 7) % 256))) << c;
    }
}
