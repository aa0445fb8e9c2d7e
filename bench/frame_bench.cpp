// Where a frame's time goes in the demo's busiest scene: the step of the
// world and its drawing, as liquid keeps pouring in. Needs an X server:
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
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        scenes.World2->Render();
        glFinish();
    }
    Flip(0);
    state.counters["particles"] = scenes.World2->GetParticleCount();
}

}  // namespace

BENCHMARK(BM_SceneTwoStep)->Arg(6000)->Arg(10000)->Arg(15000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneTwoRender)->Arg(6000)->Arg(10000)->Arg(15000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    std::string error;
    if (!InitGraphics(error)) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        return EXIT_FAILURE;
    }
    if (chdir(PARTICLE_DEMO_DIR) != 0) return EXIT_FAILURE;
    SetParticleTextureLoader(LoadSprite);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
