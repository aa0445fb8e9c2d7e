// Time per step of worlds like the demo's, as liquid pours in.
//
//   build/bench/step_bench [--benchmark_filter=Liquid]
//
// "per_particle_step" is the time of one step divided by the particles in it.
// The three workloads of the speed target (bench/compare.sh runs them):
// BM_SceneTwoAtRest, BM_SceneOnePoured and BM_SceneOneLiquid/20000.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

#include "app/scenes.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "tests/support/scripted_input.h"

// bench/compare.sh builds these sources against older commits too, whose
// library made its own threads from SPH_THREADS; here the benchmark lends
// its worlds the demo's threads, which SPH_THREADS sets the same way.
#if __has_include("app/step_threads.h")
#include "app/step_threads.h"
#define STEP_BENCH_LENDS_THREADS 1
#endif

namespace {

#ifdef STEP_BENCH_LENDS_THREADS
void LendThreads(TSPH& world) {
    static const auto threads = MakeStepThreads();
    world.SetTaskRunner(threads);
}
#else
void LendThreads(TSPH&) {}
#endif

constexpr int SETTLE_STEPS = 300;

// The demo's first world as the program builds it: walls, red block, no liquid yet.
std::unique_ptr<TSPH> SceneOneWorld() {
    auto world = std::move(BuildScenes().World1);
    LendThreads(*world);
    return world;
}

// Lays about `count` particles of the world's first liquid as blocks of up to 80 × 60, each new block
// shifted a little from the last, as a long-running emitter piles them up.
void LayLiquid(TSPH& world, int count) {
    TFluid* fluid = world.GetFluids()[0];  // the demo's blue liquid
    const int target = world.GetFluidCount() + count;
    for (int block = 0; world.GetFluidCount() < target; ++block) {
        const int remaining = target - world.GetFluidCount();
        const int columns = remaining >= 80 * 60 ? 80 : (remaining + 59) / 60;
        const int rows = remaining >= 60 ? 60 : remaining;
        const float spacing = TFluid::LATTICE_SPACING * world.GetWorldScale();
        const float shift = 2.1f * static_cast<float>(block % 4);
        fluid->CreateRect(20 + shift, 40 + shift, spacing * static_cast<float>(columns - 1) + 0.5f,
                          spacing * static_cast<float>(rows - 1) + 0.5f, 0, 0);
    }
}

void Settle(TSPH& world) {
    for (int i = 0; i < SETTLE_STEPS; ++i) world.Update();
}

void RunSteps(benchmark::State& state, TSPH& world) {
    for (auto _ : state) world.Update();
    const double particles = world.GetParticleCount();
    state.counters["particles"] = particles;
    state.counters["per_particle_step"] = benchmark::Counter(particles * static_cast<double>(state.iterations()),
                                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SceneOneLiquid(benchmark::State& state) {
    auto world = SceneOneWorld();
    LayLiquid(*world, static_cast<int>(state.range(0)));
    Settle(*world);
    RunSteps(state, *world);
    state.counters["fluid"] = world->GetFluidCount();
}
BENCHMARK(BM_SceneOneLiquid)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(30000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond);

// The red elastic block under a pile of liquid: solid phases and constraints.
void BM_SceneOneSolidUnderLiquid(benchmark::State& state) {
    auto world = SceneOneWorld();
    TSolid* solid = world->GetSolids()[0];
    for (int i = 0; i < 4; ++i) solid->CreateRect(100 + 110 * static_cast<float>(i), 300, 50, 150, 0, 0);
    LayLiquid(*world, static_cast<int>(state.range(0)));
    Settle(*world);
    RunSteps(state, *world);
    state.counters["solid"] = world->GetSolidCount();
    state.counters["constraints"] = world->GetConstraintCount();
}
BENCHMARK(BM_SceneOneSolidUnderLiquid)->Arg(5000)->Unit(benchmark::kMillisecond);

// The third scene's bar and rows of dropped boxes: rigid phases only. The
// second argument turns contacts on: the boxes then land on the bar and on
// one another instead of passing through.
void BM_SceneThreeRigidBoxes(benchmark::State& state) {
    auto world = std::move(BuildScenes().World3);
    LendThreads(*world);
    world->SetRigidContacts(state.range(1) != 0);
    for (int i = 0; i < state.range(0); ++i)
        TRigid::CreateRigidRect(20 + 38 * static_cast<float>(i % 20), 150 + 160 * static_cast<float>(i / 20), 40, 150,
                                world.get());
    Settle(*world);
    RunSteps(state, *world);
    state.counters["bodies"] = static_cast<double>(world->GetRigids().size()) / 2;
}
BENCHMARK(BM_SceneThreeRigidBoxes)
    ->Args({20, 0})
    ->Args({40, 0})
    ->Args({20, 1})
    ->Args({40, 1})
    ->Unit(benchmark::kMillisecond);

// Scene 2 as the demo shows it, emitters off, its three liquids settling:
// the steps of frames 301 to 600, one per iteration.
void BM_SceneTwoAtRest(benchmark::State& state) {
    TDemoScenes scenes = BuildScenes();
    for (TSPH* world : {scenes.World1.get(), scenes.World2.get(), scenes.World3.get()}) LendThreads(*world);
    scenes.CurrentScene = 2;
    test_support::TScriptedInput input;  // no keys, no clicks
    for (int frame = 0; frame < 300; ++frame) StepCurrentScene(scenes, input);
    RunSteps(state, *scenes.World2);
    state.counters["fluid"] = scenes.World2->GetFluidCount();
}
BENCHMARK(BM_SceneTwoAtRest)->Iterations(300)->Unit(benchmark::kMillisecond);

// The process's resident memory in bytes, where Linux tells it (0 elsewhere).
double ResidentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * 4096;
}

// Scene 1 as the demo pours it for `frames` frames, with threads lent as
// the demo lends them, and the memory its pour took per liquid particle
// (the growth of the process's resident memory, steps included). Each pour
// is played once per process.
struct TPoured {
    TDemoScenes Scenes;
    double BytesPerParticle = 0;
};

TPoured& PouredSceneOne(int frames) {
    static std::map<int, TPoured> poured;
    auto found = poured.find(frames);
    if (found != poured.end()) return found->second;
    const double before = ResidentBytes();
    TPoured& p = poured.emplace(frames, TPoured{BuildScenes()}).first->second;
    TDemoScenes& scenes = p.Scenes;
    for (TSPH* world : {scenes.World1.get(), scenes.World2.get(), scenes.World3.get()}) LendThreads(*world);
    test_support::TScriptedInput input;  // no keys, no clicks
    for (int frame = 0; frame < frames; ++frame) StepCurrentScene(scenes, input);
    p.BytesPerParticle = (ResidentBytes() - before) / scenes.World1->GetFluidCount();
    return p;
}

// Scene 1 after 3000 frames of the demo pouring (about 12 000 liquid
// particles on the red block among the walls), then stepped without the
// emitter.
void BM_SceneOnePoured(benchmark::State& state) {
    TPoured& poured = PouredSceneOne(3000);
    RunSteps(state, *poured.Scenes.World1);
    state.counters["fluid"] = poured.Scenes.World1->GetFluidCount();
    state.counters["bytes_per_particle"] = poured.BytesPerParticle;
}
BENCHMARK(BM_SceneOnePoured)->Iterations(100)->Unit(benchmark::kMillisecond);

// Scene 1 after 7300 frames (about 29 000 particles, the container four
// fifths full). Poured liquid lies closer than the blocks of
// BM_SceneOneLiquid settle (about 71 neighbours a particle within h, against
// 52), so a step costs about 1.4 times as much at the same count: this is
// the step the demo's frame rate waits on.
void BM_SceneOneNearlyFull(benchmark::State& state) {
    TPoured& poured = PouredSceneOne(7300);
    RunSteps(state, *poured.Scenes.World1);
    state.counters["fluid"] = poured.Scenes.World1->GetFluidCount();
    state.counters["bytes_per_particle"] = poured.BytesPerParticle;
}
BENCHMARK(BM_SceneOneNearlyFull)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
