// Times the step of the demo's busiest scene where the web build runs, for
// comparison with the desktop's frame benchmark (build/bench/frame_bench,
// BM_SceneTwoStep): scene 2 with its emitters pouring until the world holds
// about 6 000 and 10 000 particles, then steps of the world alone. Prints
// milliseconds per step and a checksum of the particle positions after 300
// steps of the scene as the demo plays it, to compare the simulation itself.
//
//   node build-web/demo/platform/web/step_timing.js
// Builds natively too, for the checksum (no Emscripten there).
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/scenes.h"

namespace {

TDemoScenes PouredSceneTwo(int particles) {
    TDemoScenes scenes = BuildScenes();
    for (auto* emitter : {scenes.Emitter2a.get(), scenes.Emitter2b.get(), scenes.Emitter2c.get()}) {
        emitter->Trigger();
        emitter->TimerDelay = -1;  // pour on every update to get there quickly
    }
    while (scenes.World2->GetParticleCount() < particles) {
        for (auto* emitter : {scenes.Emitter2a.get(), scenes.Emitter2b.get(), scenes.Emitter2c.get()})
            emitter->Update();
        scenes.World2->Update();
    }
    return scenes;
}

std::uint32_t Checksum(const TSPH& world) {
    std::uint32_t sum = 2166136261u;
    const auto add = [&](const TSPH::ParticleArray& particles, std::int32_t count) {
        for (std::int32_t i = 0; i < count; ++i) {
            const TParticle* p = particles[static_cast<std::size_t>(i)];
            for (const float v : {p->PositionX, p->PositionY}) {
                std::uint32_t bits = 0;
                std::memcpy(&bits, &v, sizeof bits);
                sum = (sum ^ bits) * 16777619u;
            }
        }
    };
    add(world.FluidParticles, world.FluidCount);
    add(world.SolidParticles, world.SolidCount);
    add(world.RigidParticles, world.RigidCount);
    return sum;
}

}  // namespace

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
        std::printf("scene 2 after 300 steps: %d particles, checksum %08x\n", scenes.World2->GetParticleCount(),
                    Checksum(*scenes.World2));
    }
    for (const int particles : {6000, 10000}) {
        TDemoScenes scenes = PouredSceneTwo(particles);
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
