// The demo's busiest scene filled quickly, for benchmarks that time a world
// of a given size.
#pragma once

#include "app/scenes.h"
#include "sph/task_runner.h"

namespace test_support {

// Scene 2 with its three emitters pouring on every update, stepped until the
// world holds at least `particles`, on `runner`'s threads if one is given.
inline TDemoScenes PouredSceneTwo(int particles, TTaskRunner* runner = nullptr) {
    TDemoScenes scenes = BuildScenes();
    scenes.SetTaskRunner(runner);
    scenes.CurrentScene = 2;
    TFluidEmitter* emitters[] = {scenes.Emitter2a.get(), scenes.Emitter2b.get(), scenes.Emitter2c.get()};
    for (TFluidEmitter* emitter : emitters) {
        emitter->Trigger();
        emitter->TimerDelay = -1;  // pour on every update to get there quickly
    }
    while (scenes.World2->GetParticleCount() < particles) {
        for (TFluidEmitter* emitter : emitters) emitter->Update();
        scenes.World2->Update();
    }
    return scenes;
}

}  // namespace test_support
