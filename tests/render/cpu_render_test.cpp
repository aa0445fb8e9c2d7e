// The CPU renderer without a display: what a sprite shows, saturation, walls,
// drawing in bands on two threads, and no allocation once warmed up.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "render/cpu_renderer.h"
#include "sph/sph.h"
#include "sph/task_runner.h"

namespace {

std::atomic<long> Allocations{0};

}  // namespace

// Every allocation counted; the replacements pair malloc with free, which GCC
// takes for a mismatch of new and free.
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

constexpr float SIZE = 9.5f;  // the demo's sprite: 19 pixels across

int BlockValue(int column, int row) { return (row * 16 + column * 7) % 256; }

// A 64 × 64 image of 16 × 16 blocks, each 4 × 4 texels of one value, so that
// every mipmap level the renderer samples shows the same block values; the
// value tells the block's column and row apart.
std::vector<std::uint8_t> BlockImage() {
    std::vector<std::uint8_t> image(64 * 64 * 4);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = &image[(y * 64 + x) * 4];
            const auto v = static_cast<std::uint8_t>(BlockValue(x / 4, y / 4));
            p[0] = v;
            p[1] = static_cast<std::uint8_t>(255 - v);
            p[2] = v;
            p[3] = 255;
        }
    return image;
}

std::vector<std::uint8_t> WhiteImage() { return std::vector<std::uint8_t>(16 * 16 * 4, 255); }

std::unique_ptr<TSPH> MakeWorld() {
    auto world = TSPH::Create(800, 600, 2800, 2100, 0.2857143f);
    world->SetParticleSize(SIZE);
    return world;
}

TParticle* Particle(TSPH& world, float x, float y, std::array<std::uint8_t, 3> colour) {
    TParticle* p = world.NewParticle();
    p->ScreenX = x;
    p->ScreenY = y;
    p->ColorR = colour[0];
    p->ColorG = colour[1];
    p->ColorB = colour[2];
    return p;
}

std::array<int, 4> At(const TCpuRenderer& r, int x, int y) {
    const std::uint8_t* p = r.Pixels() + static_cast<std::ptrdiff_t>(y) * r.Pitch() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// Runs tasks on this thread and one more, taking them in turn from a counter.
class TTwoThreads : public TTaskRunner {
public:
    std::int32_t ThreadCount() const override { return 2; }
    void Run(std::int32_t tasks, TTask task, void* context) override {
        std::atomic<std::int32_t> next{0};
        auto work = [&] {
            for (std::int32_t k; (k = next++) < tasks;) task(context, k);
        };
        std::thread other(work);
        work();
        other.join();
    }
};

}  // namespace

TEST(CpuRender, ALoneSpriteShowsItsImageTimesItsColour) {
    const std::vector<std::uint8_t> image = BlockImage();
    TCpuRenderer renderer(image.data(), 64, 64, 64 * 4);
    // Left and top edges at phases across a pixel, none on a texel boundary.
    for (const float phase : {0.11f, 0.37f, 0.52f, 0.73f, 0.96f}) {
        auto world = MakeWorld();
        const float x = 300 + phase, y = 200 + phase * 0.6f;
        world->AddFluidParticle(Particle(*world, x, y, {255, 0, 128}));
        renderer.Draw(*world);
        ASSERT_EQ(renderer.Width(), 800);
        ASSERT_EQ(renderer.Height(), 600);
        int covered = 0;
        for (int py = 185; py < 215; ++py)
            for (int px = 285; px < 315; ++px) {
                // The pixel centre's place on the sprite, 0 to 1 across.
                const double u = (px + 0.5 - (x - SIZE)) / (2 * SIZE);
                const double v = (py + 0.5 - (y - SIZE)) / (2 * SIZE);
                const auto got = At(renderer, px, py);
                EXPECT_EQ(got[3], 255);
                if (u < 0 || u >= 1 || v <= 0 || v > 1) {
                    EXPECT_EQ(got, (std::array<int, 4>{0, 0, 0, 255})) << px << "," << py;
                    continue;
                }
                ++covered;
                const int texel = BlockValue(static_cast<int>(u * 16), static_cast<int>(v * 16));
                auto shown = [&](int colour) {
                    const auto c = static_cast<std::uint8_t>(std::lround(colour / 256.0 * texel));
                    return TCpuRenderer::Sharpen(c);
                };
                EXPECT_EQ(got[0], shown(255)) << px << "," << py << " phase " << phase;
                EXPECT_EQ(got[1], 0);
                EXPECT_EQ(got[2], shown(128)) << px << "," << py << " phase " << phase;
            }
        EXPECT_EQ(covered, 19 * 19);
    }
}

TEST(CpuRender, ChannelsSaturateAndWallsCoverTheLiquid) {
    const std::vector<std::uint8_t> image = WhiteImage();
    TCpuRenderer renderer(image.data(), 16, 16, 16 * 4);
    auto world = MakeWorld();
    // Forty sprites of green 5 add up to 200; sixty would wrap past 255 without saturation.
    for (int i = 0; i < 40; ++i) world->AddFluidParticle(Particle(*world, 100, 100, {0, 5, 0}));
    for (int i = 0; i < 60; ++i) world->AddSolidParticle(Particle(*world, 200, 100, {0, 5, 0}));
    for (int i = 0; i < 3; ++i) world->AddRigidParticle(Particle(*world, 400, 400, {255, 255, 0}));
    world->AddBoundaryParticle(Particle(*world, 405, 405, {255, 128, 128}));
    world->AddBoundaryParticle(Particle(*world, 600, 300, {10, 20, 30}));
    world->AddBoundaryParticle(Particle(*world, 610, 300, {200, 100, 0}));  // covers the previous one
    world->AddBoundaryParticle(Particle(*world, 795, 595, {0, 0, 255}));    // partly off the window
    renderer.Draw(*world);

    EXPECT_EQ(At(renderer, 100, 100), (std::array<int, 4>{0, TCpuRenderer::Sharpen(200), 0, 255}));
    EXPECT_EQ(At(renderer, 200, 100), (std::array<int, 4>{0, 255, 0, 255}));
    EXPECT_EQ(At(renderer, 392, 392), (std::array<int, 4>{255, 255, 0, 255}));
    // Walls: byte / 256 in 8 bits, flat, whatever lies beneath.
    int wall = 0;
    for (int y = 380; y < 430; ++y)
        for (int x = 380; x < 430; ++x) wall += At(renderer, x, y) == std::array<int, 4>{254, 128, 128, 255};
    EXPECT_EQ(wall, 19 * 19);
    EXPECT_EQ(At(renderer, 605, 300), (std::array<int, 4>{199, 100, 0, 255}));
    EXPECT_EQ(At(renderer, 595, 300), (std::array<int, 4>{10, 20, 30, 255}));
    EXPECT_EQ(At(renderer, 799, 599), (std::array<int, 4>{0, 0, 254, 255}));
}

TEST(CpuRender, EverySumIsSharpenedAsTheGlDoes) {
    const std::vector<std::uint8_t> image = WhiteImage();
    TCpuRenderer renderer(image.data(), 16, 16, 16 * 4);
    auto world = MakeWorld();
    // Spot k holds k sprites of colour 1, which add up to k in every channel.
    for (int k = 0; k < 300; ++k)
        for (int i = 0; i < k; ++i)
            world->AddFluidParticle(Particle(*world, 10.0f + 20 * (k % 40), 10.0f + 20 * (k / 40), {1, 1, 1}));
    renderer.Draw(*world);
    for (int k = 0; k < 300; ++k) {
        const int v = TCpuRenderer::Sharpen(static_cast<std::uint8_t>(std::min(k, 255)));
        EXPECT_EQ(At(renderer, 10 + 20 * (k % 40), 10 + 20 * (k / 40)), (std::array<int, 4>{v, v, v, 255})) << k;
    }
}

TEST(CpuRender, TwoThreadsDrawWhatOneDrawsAndNothingIsAllocatedOnceWarm) {
    const std::vector<std::uint8_t> image = BlockImage();
    TCpuRenderer one(image.data(), 64, 64, 64 * 4);
    TCpuRenderer two(image.data(), 64, 64, 64 * 4);
    auto world = MakeWorld();
    // Sprites everywhere, across band boundaries and past every edge of the window.
    std::uint32_t seed = 7;
    auto next = [&seed](float range) { return (seed = seed * 1664525u + 1013904223u) / 4294967296.0f * range; };
    const std::array<std::array<std::uint8_t, 3>, 4> colours = {{{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {90, 40, 200}}};
    for (int i = 0; i < 6000; ++i)
        world->AddFluidParticle(Particle(*world, next(840) - 20, next(640) - 20, colours[i % 4]));
    for (int i = 0; i < 200; ++i)
        world->AddBoundaryParticle(Particle(*world, next(840) - 20, next(640) - 20, {255, 128, 128}));

    TTwoThreads runner;
    one.Draw(*world);
    two.Draw(*world, &runner);
    ASSERT_EQ(std::vector<std::uint8_t>(one.Pixels(), one.Pixels() + 800 * 600 * 4),
              std::vector<std::uint8_t>(two.Pixels(), two.Pixels() + 800 * 600 * 4));
    int lit = 0;
    for (int i = 0; i < 800 * 600; ++i) lit += one.Pixels()[i * 4 + 2] > 0;
    EXPECT_GT(lit, 800 * 600 / 2);

    for (std::int32_t i = 0; i < world->FluidCount; ++i)
        world->FluidParticles[static_cast<std::size_t>(i)]->ScreenX += 0.3f;
    const long before = Allocations;
    one.Draw(*world);
    EXPECT_EQ(Allocations - before, 0);
}
