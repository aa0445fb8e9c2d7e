// Where a frame's time goes in the demo's busiest scene: the step of the
// world and its drawing both ways, through the GL and on the CPU, as liquid
// keeps pouring in. Argument 0 is scene 2 as the demo starts it. Needs an X
// server:
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

#include "app/graphics_setup.h"
#include "app/scenes.h"
#include "app/step_threads.h"
#include "platform/graphics.h"
#include "platform/png.h"
#include "render/cpu_renderer.h"
#include "render/image_presenter.h"
#include "render/render.h"
#include "tests/support/poured_scene.h"

namespace {

// The demo's threads: SPH_THREADS, else the cores.
TTaskRunner* StepThreads() {
    static const auto threads = MakeStepThreads();
    return threads.get();
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
    TDemoScenes scenes = test_support::PouredSceneTwo(static_cast<int>(state.range(0)), StepThreads());
    scenes.World2->ParticleTex = LoadSprite();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        Render(*scenes.World2);
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
    for (auto _ : state) renderer.Draw(*scenes.World2, StepThreads());
    state.counters["particles"] = scenes.World2->GetParticleCount();
}

// The CPU path as the demo takes it: drawing, the upload and the quad,
// finished by the GL before the clock stops.
void BM_SceneTwoCpuRender(benchmark::State& state) {
    TDemoScenes scenes = test_support::PouredSceneTwo(static_cast<int>(state.range(0)), StepThreads());
    TCpuRenderer renderer = MakeCpuRenderer();
    TImagePresenter presenter;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        renderer.Draw(*scenes.World2, StepThreads());
        presenter.Present(renderer.Pixels(), renderer.Width(), renderer.Height());
        glFinish();
    }
    Flip(0);
    state.counters["particles"] = scenes.World2->GetParticleCount();
}

}  // namespace

BENCHMARK(BM_SceneTwoStep)->Arg(0)->Arg(6000)->Arg(10000)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneTwoRender)->Arg(0)->Arg(6000)->Arg(10000)->Arg(15000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneTwoCpuDraw)->Arg(0)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneTwoCpuRender)->Arg(0)->Arg(6000)->Arg(10000)->Arg(15000)->Arg(20000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    std::string error;
    if (!InitGraphics(error)) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        return EXIT_FAILURE;
    }
    if (chdir(PARTICLE_DEMO_DIR) != 0) return EXIT_FAILURE;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
