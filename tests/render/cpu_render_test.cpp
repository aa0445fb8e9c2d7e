// The CPU renderer without a display: what a sprite shows, drawing in bands on
// two threads, no allocation once warmed up, and nothing drawn outside the
// image. Saturation and walls are compared with the GL's picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "sph/thread_pool.h"
#include "render/cpu_renderer.h"
#include "tests/render/particles.h"

namespace {
std::atomic<long> Allocations{0};
}  // namespace

// Every allocation counted. GCC takes malloc paired with free in these for a
// mismatch of new and free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    ++Allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace render_test;

int BlockValue(int column, int row) { return (row * 16 + column * 7) % 256; }

// 64 × 64 texels in blocks of 4 × 4 of one value, so that every mipmap level
// shows the same blocks; the values tell blocks apart. Green is the inverse.
TCpuRenderer BlockSprite() {
    std::vector<std::uint8_t> image(64 * 64 * 4);
    for (int i = 0; i < 64 * 64; ++i) {
        const auto v = static_cast<std::uint8_t>(BlockValue(i % 64 / 4, i / 64 / 4));
        const std::array<std::uint8_t, 4> texel = {v, static_cast<std::uint8_t>(255 - v), v, 255};
        std::copy(texel.begin(), texel.end(), &image[static_cast<std::size_t>(i) * 4]);
    }
    return TCpuRenderer(image.data(), 64, 64, 64 * 4);
}

TCpuRenderer WhiteSprite() {
    const std::vector<std::uint8_t> image(16 * 16 * 4, 255);
    return TCpuRenderer(image.data(), 16, 16, 16 * 4);
}

constexpr TSprites SPRITES{800, 600, 9.5f, 0};  // the demo's: sprites 19 pixels across

std::array<int, 4> At(const TCpuRenderer& r, int x, int y) {
    const std::uint8_t* p = r.Pixels() + static_cast<std::ptrdiff_t>(y) * r.Pitch() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(CpuRender, ALoneSpriteShowsItsImageTimesItsColourSharpened) {
    TCpuRenderer renderer = BlockSprite();
    for (const float phase : {0.11f, 0.37f, 0.52f, 0.73f, 0.96f}) {  // none on a texel boundary
        auto world = DemoWorld();
        const float x = 300 + phase, y = 200 + phase * 0.6f;
        world->AddFluidParticle(Fluid(*world, x, y, {255, 0, 128}));
        renderer.Draw(*world, SPRITES);
        ASSERT_TRUE(renderer.Width() == 800 && renderer.Height() == 600);
        int covered = 0;
        for (int py = 185; py < 215; ++py)
            for (int px = 285; px < 315; ++px) {
                // Where the pixel centre lies on the sprite, 0 to 1 across: a
                // centre on the left or bottom edge is in, on the right or top out.
                const double u = (px + 0.5 - (x - 9.5)) / 19, v = (py + 0.5 - (y - 9.5)) / 19;
                const bool in = u >= 0 && u < 1 && v > 0 && v <= 1;
                const int texel = in ? BlockValue(static_cast<int>(u * 16), static_cast<int>(v * 16)) : 0;
                auto shown = [texel](int colour) {
                    return TCpuRenderer::Sharpen(static_cast<std::uint8_t>(std::lround(colour / 256.0 * texel)));
                };
                covered += in;
                EXPECT_EQ(At(renderer, px, py), (std::array<int, 4>{shown(255), 0, shown(128), 255}))
                    << px << "," << py << " phase " << phase;
            }
        EXPECT_EQ(covered, 19 * 19);
    }
}

TEST(CpuRender, TwoThreadsDrawWhatOneDrawsAndNothingIsAllocatedOnceWarm) {
    TCpuRenderer one = BlockSprite(), two = BlockSprite();
    auto world = DemoWorld();
    // Sprites everywhere, across band boundaries and past every edge of the window.
    std::uint32_t seed = 7;
    auto next = [&seed](float range) { return (seed = seed * 1664525u + 1013904223u) / 4294967296.0f * range; };
    const std::array<TColour, 4> colours = {{{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {90, 40, 200}}};
    for (int i = 0; i < 6000; ++i)
        world->AddFluidParticle(Fluid(*world, next(840) - 20, next(640) - 20, colours[i % 4]));
    for (int i = 0; i < 200; ++i)
        world->AddBoundaryParticle(Wall(*world, next(840) - 20, next(640) - 20, {255, 128, 128}));

    TThreadPool runner(2);
    one.Draw(*world, SPRITES);
    two.Draw(*world, SPRITES, &runner);
    const std::vector<std::uint8_t> image(one.Pixels(), one.Pixels() + 800 * 600 * 4);
    ASSERT_TRUE(std::equal(image.begin(), image.end(), two.Pixels()));
    EXPECT_GT(std::count_if(image.begin(), image.end(), [](std::uint8_t c) { return c != 0 && c != 255; }), 100000);

    for (const TParticle* p : world->GetFluidParticles()) const_cast<TParticle*>(p)->ScreenX += 0.3f;
    const long before = Allocations;
    one.Draw(*world, SPRITES);
    EXPECT_EQ(Allocations - before, 0);
}

// Particles anywhere, at any size, in any count: the address sanitizer sees
// no write outside the image, and only sprites that reach it show. The world
// is wider than 32767 pixels, and its sprite size changes between draws.
TEST(CpuRender, NoParticleDrawsOutsideTheImageAndOnlyThoseOnItShow) {
    using TAt = std::array<float, 2>;
    const float w = 40000, h = 60;
    // Shown: one sprite of each kind and a wall, and sprites partly off two
    // corners. Not shown: just past each edge (a sprite's right and bottom
    // edges hold no pixel centre), far away, and not numbers, of every kind.
    const std::vector<TAt> shown = {{35000, 30}, {-5, -5}, {w + 5, h + 5}, {30000, 30}, {20000, 30}, {100, 30}};
    const std::vector<TAt> edges = {{-9.5f, 30}, {w + 9.5f, 30}, {300, -9.5f}, {300, h + 9.5f}};
    std::vector<TAt> hidden = edges;
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (const float far : {nan, inf, -inf, 1e9f, -1e9f, 1e30f, -1e30f, 70000.0f, -70000.0f})
        for (const TAt at : {TAt{far, 30}, TAt{300, far}, TAt{far, far}}) hidden.push_back(at);

    auto world = DemoWorld();
    TSprites sprites{40000, 60, 9.5f, 0};
    // Each kind at its own places, then at the hidden ones.
    auto places = [&](std::vector<TAt> at) {
        at.insert(at.end(), hidden.begin(), hidden.end());
        return at;
    };
    for (const auto& [x, y] : places({shown[0], shown[1], shown[2]}))
        world->AddFluidParticle(Fluid(*world, x, y, {255, 0, 0}));
    for (const auto& [x, y] : places({shown[3]})) world->AddSolidParticle(Solid(*world, x, y, {0, 255, 0}));
    for (const auto& [x, y] : places({shown[4]})) world->AddRigidParticle(Rigid(*world, x, y, {0, 0, 255}));
    for (const auto& [x, y] : places({shown[5]})) world->AddBoundaryParticle(Wall(*world, x, y, {255, 255, 255}));

    TCpuRenderer renderer = WhiteSprite();
    const std::array<int, 4> black = {0, 0, 0, 255};
    // Pixels lit farther than `reach` in x or y from every one of `centres`.
    auto stray = [&](const std::vector<TAt>& centres, float reach) {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                n += At(renderer, x, y) != black && std::none_of(centres.begin(), centres.end(), [&](const TAt& c) {
                         return std::abs(x + 0.5f - c[0]) <= reach && std::abs(y + 0.5f - c[1]) <= reach;
                     });
        return n;
    };
    renderer.Draw(*world, sprites);
    ASSERT_TRUE(renderer.Width() == 40000 && renderer.Height() == 60);
    EXPECT_EQ(stray(shown, 9.5f), 0);
    for (const auto& [x, y] : {std::pair{35000, 30}, {0, 0}, {39999, 59}, {30000, 30}, {20000, 30}, {100, 30}})
        EXPECT_NE(At(renderer, x, y), black) << x << "," << y;

    // The largest sprites and walls, now reaching in from past the edges.
    sprites.Size = TCpuRenderer::MAX_PARTICLE_SIZE;
    renderer.Draw(*world, sprites);
    std::vector<TAt> near = shown;
    near.insert(near.end(), edges.begin(), edges.end());
    EXPECT_EQ(stray(near, TCpuRenderer::MAX_PARTICLE_SIZE), 0);
    EXPECT_NE(At(renderer, 35250, 1), black);

    // Sizes that draw nothing.
    for (const float size : {0.0f, -9.5f, nan}) {
        sprites.Size = size;
        renderer.Draw(*world, sprites);
        EXPECT_EQ(stray({}, 0), 0) << size;
    }
    // Sizes and images too large, refused with the picture left as it was.
    sprites.Size = 9.5f;
    renderer.Draw(*world, sprites);
    const std::vector<std::uint8_t> before(renderer.Pixels(), renderer.Pixels() + 40000 * 60 * 4);
    for (const float size : {1e30f, inf}) {
        sprites.Size = size;
        EXPECT_THROW(renderer.Draw(*world, sprites), std::length_error) << size;
    }
    sprites.Size = 9.5f;
    for (const std::int32_t side : {100000, 8192}) {
        sprites.Width = side;
        sprites.Height = side / 2;
        EXPECT_THROW(renderer.Draw(*world, sprites), std::length_error) << side;
    }
    ASSERT_TRUE(renderer.Width() == 40000 && renderer.Height() == 60);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), renderer.Pixels()));
    sprites.Width = -3;
    renderer.Draw(*world, sprites);
    EXPECT_TRUE(renderer.Width() == 0 && renderer.Pixels() == nullptr);
    // A sprite image that stretched to powers of two would be too large, before any of it is read.
    EXPECT_THROW(TCpuRenderer(nullptr, 4097, 4096, 0), std::length_error);
    EXPECT_THROW(TCpuRenderer(nullptr, INT32_MAX, INT32_MAX, 0), std::length_error);
}
