// Where a frame's time goes in the demo's busiest scene: the step of the
// world and its drawing both ways, through the GL and on the CPU, as liquid
// keeps pouring in, and the showing of the CPU's image. Argument 0 is scene 2
// as the demo starts it. Needs an X server:
//
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/frame_bench
//
// Run from anywhere: it reads the sprite from the demo's folder.
#include <GL/glew.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/frame_drawer.h"
#include "app/graphics_setup.h"
#include "app/scenes.h"
#include "app/step_threads.h"
#include "platform/graphics.h"
#include "platform/png.h"
#include "platform/window_surface.h"
#include "render/cpu_renderer.h"
#include "render/render.h"
#include "tests/support/poured_scene.h"

namespace {

// The demo's threads: SPH_THREADS, else the cores.
const std::shared_ptr<TTaskRunner>& StepThreads() {
    static const auto threads = MakeStepThreads();
    return threads;
}

// The GL's benchmarks draw in a GL window, the CPU path's image is shown in a
// window without GL, as in the demo: each opens its kind if the other is open.
void NeedWindow(TGraphicsDriver& driver) {
    if (CurrentGraphics() != nullptr && CurrentGraphics()->Driver() == &driver) return;
    std::string error;
    if (&driver == &GLGraphicsDriver()) {
        if (InitGraphics(error)) return;
    } else if (OpenGraphicsWith(driver, 800, 600, 0, 60, 0) != nullptr) {
        return;
    } else {
        error = GraphicsError();
    }
    std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
    std::exit(EXIT_FAILURE);
}

std::int32_t LoadSprite() {
    std::string error;
    const std::int32_t texture = LoadSpriteTexture(error);
    if (texture == 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(EXIT_FAILURE);
    }
    return texture;
}

void BM_SceneTwoStep(benchmark::State& state) {
    TDemoScenes scenes = test_support::PouredSceneTwo(static_cast<int>(state.range(0)), StepThreads());
    for (auto _ : state) scenes.World2->Update();
    state.counters["particles"] = scenes.World2->GetParticleCount();
}

// Drawing, finished by the GL before the clock stops.
void BM_SceneTwoRender(benchmark::State& state) {
    NeedWindow(GLGraphicsDriver());
    TDemoScenes scenes = test_support::PouredSceneTwo(static_cast<int>(state.range(0)), StepThreads());
    TSprites sprites = DEMO_SPRITES;
    sprites.Texture = static_cast<std::uint32_t>(LoadSprite());
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        Render(*scenes.World2, sprites);
        glFinish();
    }
    Flip(0);
    state.counters["particles"] = scenes.World2->GetParticleCount();
}

TCpuRenderer MakeCpuRenderer() {
    auto sprite = LoadPngPixmap(SPRITE_FILE);
    if (!sprite || sprite->format != PIXEL_FORMAT_RGBA8) {
        std::fprintf(stderr, "frame_bench: cannot read %s as RGBA\n", SPRITE_FILE);
        std::exit(EXIT_FAILURE);
    }
    return TCpuRenderer(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
}

// Drawing on the CPU into the image, on the step's threads; no GL.
void BM_SceneTwoCpuDraw(benchmark::State& state) {
    TDemoScenes scenes = test_support::PouredSceneTwo(static_cast<int>(state.range(0)), StepThreads());
    TCpuRenderer renderer = MakeCpuRenderer();
    for (auto _ : state) renderer.Draw(*scenes.World2, DEMO_SPRITES, StepThreads().get());
    state.counters["particles"] = scenes.World2->GetParticleCount();
}

// The CPU path as the demo takes it: drawing, then the image put into the
// window's surface and shown.
void BM_SceneTwoCpuRender(benchmark::State& state) {
    NeedWindow(SurfaceGraphicsDriver());
    TDemoScenes scenes = test_support::PouredSceneTwo(static_cast<int>(state.range(0)), StepThreads());
    TCpuRenderer renderer = MakeCpuRenderer();
    for (auto _ : state) {
        renderer.Draw(*scenes.World2, DEMO_SPRITES, StepThreads().get());
        PutSurfaceImage(renderer.Pixels(), renderer.Width(), renderer.Height(), renderer.Pitch());
        Flip(0);
    }
    state.counters["particles"] = scenes.World2->GetParticleCount();
}

// The showing alone, which does not depend on the picture: put and Flip.
void BM_CpuImageShow(benchmark::State& state) {
    NeedWindow(SurfaceGraphicsDriver());
    std::vector<std::uint8_t> image(800 * 600 * 4, 255);
    for (auto _ : state) {
        PutSurfaceImage(image.data(), 800, 600, 800 * 4);
        Flip(0);
    }
}

}  // namespace

BENCHMARK(BM_SceneTwoStep)->Arg(0)->Arg(6000)->Arg(10000)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneTwoRender)->Arg(0)->Arg(6000)->Arg(10000)->Arg(15000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneTwoCpuDraw)->Arg(0)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneTwoCpuRender)->Arg(0)->Arg(6000)->Arg(10000)->Arg(15000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpuImageShow)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    NeedWindow(GLGraphicsDriver());
    if (chdir(PARTICLE_DEMO_DIR) != 0) return EXIT_FAILURE;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
