// Times the step of the demo's busiest scene where the web build runs, for
// comparison with the desktop's frame benchmark (build/bench/frame_bench,
// BM_SceneTwoStep): scene 2 with its emitters pouring until the world holds
// about 6 000 and 10 000 particles, then steps of the world alone. Prints
// milliseconds per step and a checksum of the particles' state after 300
// steps of the scene as the demo plays it, to compare the simulation itself.
//
//   node build-web/demo/bench/step_timing.js    (the web build)
//   build/bench/step_timing                     (natively, for the checksum)
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "app/scenes.h"
#include "app/world_checksum.h"
#include "tests/support/poured_scene.h"

int main() {
    {
        TDemoScenes scenes = BuildScenes();
        for (auto* emitter : {scenes.Emitter2a.get(), scenes.Emitter2b.get(), scenes.Emitter2c.get()})
            emitter->Trigger();
        for (int i = 0; i < 300; ++i) {
            for (auto* emitter : {scenes.Emitter2a.get(), scenes.Emitter2b.get(), scenes.Emitter2c.get()})
                emitter->Update();
            scenes.World2->Update();
        }
        std::printf("scene 2 after 300 steps: %d particles, checksum %016" PRIx64 "\n",
                    scenes.World2->GetParticleCount(), WorldChecksum(*scenes.World2));
    }
    for (const int particles : {6000, 10000}) {
        TDemoScenes scenes = test_support::PouredSceneTwo(particles);
        constexpr int STEPS = 50;
#ifdef __EMSCRIPTEN__
        emscripten_sleep(0);  // as the demo's frame loop does between steps
#endif
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < STEPS; ++i) scenes.World2->Update();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        std::printf("scene 2 step, %d particles: %.2f ms\n", scenes.World2->GetParticleCount(), took.count() / STEPS);
    }
    return 0;
}
