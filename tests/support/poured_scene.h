// The demo's busiest scene filled quickly, for benchmarks that time a world
// of a given size.
#pragma once

#include "app/scenes.h"
#include "sph/task_runner.h"

namespace test_support {

// Scene 2 with its three emitters pouring on every update, stepped until the
// world holds at least `particles`, on `runner`'s threads if one is given.
inline TDemoScenes PouredSceneTwo(int particles, const std::shared_ptr<TTaskRunner>& runner = nullptr) {
    TDemoScenes scenes = BuildScenes();
    scenes.SetTaskRunner(runner);
    scenes.CurrentScene = 2;
    // Emitters like the scene's that pour on every update, to get there quickly.
    for (auto* emitter : {&scenes.Emitter2a, &scenes.Emitter2b, &scenes.Emitter2c}) {
        TEmitterSettings settings = (*emitter)->GetSettings();
        settings.Delay = -1;
        *emitter = TFluidEmitter::Create((*emitter)->GetFluid(), settings);
        (*emitter)->Trigger();
    }
    TFluidEmitter* emitters[] = {scenes.Emitter2a.get(), scenes.Emitter2b.get(), scenes.Emitter2c.get()};
    while (scenes.World2->GetParticleCount() < particles) {
        for (TFluidEmitter* emitter : emitters) emitter->Update();
        scenes.World2->Update();
    }
    return scenes;
}

}  // namespace test_support
