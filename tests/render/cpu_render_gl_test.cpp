// The CPU picture against the GL's, drawn from the same worlds in one window,
// and the presenter's upload read back.
#include "tests/image/gl_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/scenes.h"
#include "platform/png.h"
#include "platform/texture.h"
#include "render/cpu_renderer.h"
#include "render/image_presenter.h"
#include "sph/sph.h"

namespace {

std::unique_ptr<TPixmap> LoadSprite() {
    auto sprite = LoadPngPixmap(METABALL_PNG_PATH);
    if (!sprite) {
        std::fprintf(stderr, "cannot load %s\n", METABALL_PNG_PATH);
        std::abort();
    }
    return sprite;
}

std::int32_t LoadSpriteTexture() { return TexFromPixmap(LoadSprite().get(), 1); }

TCpuRenderer MakeRenderer() {
    auto sprite = LoadSprite();
    return TCpuRenderer(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
}

struct TDifference {
    double worstChannelMean = 0;  // mean |cpu − gl| of the worse channel
    int pixelsOver32 = 0;
    int largest = 0;
};

TDifference Compare(const TFrame& gl, const TCpuRenderer& cpu) {
    TDifference d;
    std::array<double, 3> sums{};
    for (int y = 0; y < FRAME_HEIGHT; ++y)
        for (int x = 0; x < FRAME_WIDTH; ++x) {
            const auto g = gl.At(x, y);
            const std::uint8_t* c = cpu.Pixels() + (static_cast<std::size_t>(y) * cpu.Width() + x) * 4;
            int worst = 0;
            for (int k = 0; k < 3; ++k) {
                const int diff = std::abs(g[k] - c[k]);
                sums[k] += diff;
                worst = std::max(worst, diff);
            }
            d.pixelsOver32 += worst > 32 ? 1 : 0;
            std::printf("  %d,%d gl %d %d %d cpu %d %d %d\n", x, y, g[0], g[1], g[2], c[0], c[1], c[2]);
            d.largest = std::max(d.largest, worst);
        }
    for (double s : sums) d.worstChannelMean = std::max(d.worstChannelMean, s / (FRAME_WIDTH * FRAME_HEIGHT));
    return d;
}

}  // namespace

class CpuRenderTest : public GlTest {
protected:
    // Draws the world both ways and holds the CPU picture to the GL's.
    void ExpectSamePicture(const TSPH& world, const std::string& name) {
        glClear(GL_COLOR_BUFFER_BIT);
        const_cast<TSPH&>(world).Render();
        const TFrame gl = ReadFrame();
        Renderer.Draw(world);
        const TDifference d = Compare(gl, Renderer);
        std::printf("%s: worst channel mean %.4f, %d pixels off by more than 32, largest %d\n", name.c_str(),
                    d.worstChannelMean, d.pixelsOver32, d.largest);
        EXPECT_LE(d.worstChannelMean, 0.05) << name;
        EXPECT_LE(d.pixelsOver32, FRAME_WIDTH * FRAME_HEIGHT / 10000) << name;
        if (HasFailure()) gl.SavePng(name + "_gl.png");
    }

    TCpuRenderer Renderer = MakeRenderer();
};

TEST_F(CpuRenderTest, SceneOneWithWallsLiquidAndAnElasticBlock) {
    SetParticleTextureLoader(LoadSpriteTexture);
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
