// The threads a caller lends a world: the pool runs every task once, passes
// on what a task throws, and a world whose steps are shared between threads
// ends every step with exactly the bits of one thread. No step allocates.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sph/detail/fluid_gathers.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "sph/thread_pool.h"
#include "test_worlds.h"

namespace {
std::atomic<long> allocations{0};  // counted by this test program's operator new
}  // namespace

__attribute__((noinline)) void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// Out of line, so that no caller sees malloc() and free() behind them.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Runs `tasks` tasks `rounds` times and returns how often each ran.
std::vector<int> RunCounted(TTaskRunner& runner, std::int32_t tasks, int rounds) {
    std::vector<std::atomic<int>> counts(static_cast<std::size_t>(tasks));
    auto task = [&](std::int32_t k) { counts[static_cast<std::size_t>(k)].fetch_add(1, std::memory_order_relaxed); };
    for (int r = 0; r < rounds; ++r) runner.Run(tasks, task);
    return {counts.begin(), counts.end()};
}

// Runs 12 tasks; every one the caller's thread takes throws (or else the
// first a worker takes), and the tasks on the other side wait for the first
// throw, so that they still run while it unwinds (a pool that stopped
// sharing out would hang here, and the test's time limit tells). What the
// caller catches is the number of the task that threw first, and every task
// has run once.
void ExpectThrowAfterEveryTask(TThreadPool& pool, bool callerThrows) {
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::atomic<int>> runs(12);
    std::atomic<int> threw{-1};
    auto task = [&](std::int32_t k) {
        runs[static_cast<std::size_t>(k)].fetch_add(1);
        if ((std::this_thread::get_id() == caller) == callerThrows) {
            int none = -1;
            if (threw.compare_exchange_strong(none, k) || callerThrows) throw std::runtime_error(std::to_string(k));
        } else {
            while (threw.load() < 0) std::this_thread::yield();
        }
    };
    std::string caught;
    try {
        pool.Run(12, task);
    } catch (const std::runtime_error& error) {
        caught = error.what();
    }
    EXPECT_EQ(caught, std::to_string(threw.load()));
    EXPECT_EQ(std::vector<int>(runs.begin(), runs.end()), std::vector<int>(12, 1));
}

// Hands every call on to a pool and notes the most tasks it was given at once.
class TCountingRunner : public TTaskRunner {
public:
    explicit TCountingRunner(std::int32_t threads) : Pool(threads) {}
    std::int32_t ThreadCount() const override { return Pool.ThreadCount(); }
    void Run(std::int32_t tasks, TTask task, void* context) override {
        MostTasks = std::max(MostTasks, tasks);
        Pool.Run(tasks, task, context);
    }
    using TTaskRunner::Run;

    TThreadPool Pool;
    std::int32_t MostTasks = 0;
};

// Every step shares its liquid out, down to a world of a few hundred particles.
TSplitSettings SmallWorldSplit(bool wide = true) {
    TSplitSettings split;
    split.MinParticlesPerThread = 40;
    split.WideInstructions = wide;
    return split;
}

// Scene one's liquid on its solid block (test_worlds.h) with `n` more
// liquid particles packed on a lattice into one grid cell, above the rest of
// the liquid near the middle of its columns. The crowd turns slowly about
// its middle: moving as one, its pairs would add nothing to any sum;
// turning, they nudge each other's velocities from their first move and
// push each other soon after.
std::unique_ptr<TSPH> LiquidOnSolidWithCrowd(std::int32_t n) {
    auto world = test_worlds::SceneOneWorld();
    test_worlds::AddLiquidOnSolid(*world);
    TFluid* fluid = TFluid::Create(world.get()).get();
    const auto side = static_cast<std::int32_t>(std::ceil(std::sqrt(static_cast<double>(n))));
    const float h = TSPH::SMOOTHING_LENGTH, step = 0.9f * h / static_cast<float>(side), turn = 0.001f;
    const float dt = world->GetTimestep();
    for (std::int32_t k = 0; k < n; ++k) {
        const float dx = static_cast<float>(k % side) * step - 0.45f * h;
        const float dy = static_cast<float>(k / side) * step - 0.45f * h;
        test_worlds::AddMovingFluidAt(*world, fluid, 20.5f * h + dx, 15.5f * h + dy, -turn * dy * dt, turn * dx * dt);
    }
    return world;
}

// The twelve phases of a step called one by one, in their order.
void StepPhaseByPhase(TSPH& world) {
    world.RedistributeGrid();
    world.Fluid_Reset();
    world.Solid_Reset();
    world.Rigid_Reset();
    world.Fluid_UpdateDensity();
    world.Fluid_CalcForces();
    world.Solid_CalcForces();
    world.Rigid_CalcForces();
    world.Constraints_Update();
    world.Fluid_Integrate();
    world.Solid_Integrate();
    world.Rigid_Integrate();
}

}  // namespace

// 1 to 4 threads run every task once, for no task, one, as many as threads
// and more; two callers share one pool; a task that throws reaches the
// caller after every other task ran, and leaves the pool free and sharing;
// on one thread too.
TEST(ThreadPool, RunsEveryTaskOnceAndPassesOnWhatATaskThrows) {
    for (std::int32_t threads : {1, 2, 3, 4}) {
        TThreadPool pool(threads);
        EXPECT_EQ(pool.ThreadCount(), threads);
        for (std::int32_t tasks : {0, 1, threads, 7, 64})
            EXPECT_EQ(RunCounted(pool, tasks, 300), std::vector<int>(static_cast<std::size_t>(tasks), 300))
                << tasks << " tasks on " << threads << " threads";
    }
    EXPECT_EQ(TThreadPool(0).ThreadCount(), 1);

    TThreadPool pool(3);
    std::vector<int> fromOther;
    std::thread other([&] { fromOther = RunCounted(pool, 5, 500); });
    const std::vector<int> fromHere = RunCounted(pool, 6, 500);
    other.join();
    EXPECT_EQ(fromOther, std::vector<int>(5, 500));
    EXPECT_EQ(fromHere, std::vector<int>(6, 500));

    for (const bool callerThrows : {false, true, false, true}) ExpectThrowAfterEveryTask(pool, callerThrows);
    TThreadPool one(1);
    ExpectThrowAfterEveryTask(one, true);
    EXPECT_THROW(pool.Run(1, nullptr, nullptr), TSPHError);
    auto nothing = [](std::int32_t) {};
    EXPECT_THROW(pool.Run(-1, nothing), TSPHError);
}

// A pool ended at once, or after its workers have waited long enough to
// sleep in the kernel (while the caller keeps another pool busy), wakes and
// joins them: a lost wake-up hangs here, and the test's time limit tells.
TEST(ThreadPool, EndedWhileIdleWakesAndJoinsItsWorkers) {
    TThreadPool other(3);
    for (const int rounds : {0, 3})
        for (const int busyRounds : {0, 2000}) {
            auto pool = std::make_unique<TThreadPool>(4);
            EXPECT_EQ(RunCounted(*pool, 8, rounds), std::vector<int>(8, rounds));
            EXPECT_EQ(RunCounted(other, 7, busyRounds), std::vector<int>(7, busyRounds));
            pool.reset();
        }
}

// Every particle's sums have one order, fixed by the layout: 1, 2, 3 and 8
// threads, with the wider instructions and without, give the same bits as
// one thread, and the same grid chains; so do the public phases called one
// by one, on one thread and on two. A world too small for the default
// thresholds never splits. Besides the liquid on the solid block, a crowd
// of 300 in one grid cell has more partners a particle than a step keeps
// between its passes, and gathers them in more than one round.
TEST(SplitStep, SameBitsOnEveryThreadCountAndInstructionSet) {
#if defined(__x86_64__)
    // Every x86-64 build has the gathers for AVX2 and takes them where the
    // processor has AVX2, so that the runs below compare them with the plain
    // ones.
    ASSERT_EQ(&sph_detail::TGathers::Fastest() != &sph_detail::TGathers::Plain(), __builtin_cpu_supports("avx2") != 0);
#endif
    for (const std::int32_t crowd : {0, 300}) {
        auto make = [crowd] { return LiquidOnSolidWithCrowd(crowd); };
        auto serial = make();
        serial->SetTaskRunner(nullptr, SmallWorldSplit(false));
        struct TRun {
            std::unique_ptr<TSPH> World;
            std::shared_ptr<TCountingRunner> Runner;
            bool PhaseByPhase = false;
            std::int32_t MostTasks;  // of one call
        };
        std::vector<TRun> runs;
        for (const std::int32_t threads : {1, 2, 3, 8})
            for (const bool wide : {true, false}) {
                TRun run{make(), std::make_shared<TCountingRunner>(threads), false, threads > 1 ? threads + 1 : 0};
                run.World->SetTaskRunner(run.Runner, SmallWorldSplit(wide));
                runs.push_back(std::move(run));
            }
        runs.push_back({make(), std::make_shared<TCountingRunner>(2), false, 0});
        runs.back().World->SetTaskRunner(runs.back().Runner);  // 500 particles a thread at least
        runs.push_back({make(), nullptr, true, 0});
        runs.push_back({make(), std::make_shared<TCountingRunner>(2), true, 3});
        runs.back().World->SetTaskRunner(runs.back().Runner, SmallWorldSplit());
        for (int step = 1; step <= 60; ++step) {
            serial->Update();
            const std::uint64_t expected = test_worlds::StateHash(*serial);
            for (std::size_t r = 0; r < runs.size(); ++r) {
                TRun& run = runs[r];
                if (run.PhaseByPhase)
                    StepPhaseByPhase(*run.World);
                else
                    run.World->Update();
                ASSERT_EQ(test_worlds::StateHash(*run.World), expected) << "step " << step << ", run " << r;
            }
        }
        // Split, with the solids' pushes as one more task beside the liquid's.
        for (const TRun& run : runs) EXPECT_EQ(run.Runner ? run.Runner->MostTasks : 0, run.MostTasks);
    }
}

// Steps allocate nothing once the first has set up the world's working
// arrays: an empty world's, and those of one with every kind, on one thread
// with rigid contacts off and split between three with them on.
TEST(Step, AllocatesNothing) {
    auto empty = test_worlds::SceneOneWorld();
    auto world = LiquidOnSolidWithCrowd(300);
    for (const float x : {600.0f, 652.0f})  // on the floor, side by side: contacts with both
        TRigid::CreateRigidRect(x, 505, 50, 50, world.get()).get();
    long before = 0;
    for (const bool split : {false, true}) {
        if (split) world->SetTaskRunner(std::make_shared<TThreadPool>(3), SmallWorldSplit());
        world->SetRigidContacts(split);
        for (int step = 0; step < 3; ++step) world->Update();
        empty->Update();
        before = allocations.load();
        for (int step = 0; step < 20; ++step) {
            world->Update();
            empty->Update();
        }
        EXPECT_EQ(allocations.load(), before) << split;
    }
    TFluid::Create(world.get()).get();  // the counter does count
    EXPECT_GT(allocations.load(), before);
}

// Worlds share nothing: two built at once on two threads (under
// ThreadSanitizer in the test command) number their own particles and keep
// their own bodies.
TEST(WorldsApart, TwoWorldsBuiltOnTwoThreadsNumberAndBuildTheirOwn) {
    auto build = [](std::vector<TRigid*>& bodies) {
        auto world = TSPH::Create({.ContainerWidth = 2400, .ContainerHeight = 1800, .Scale = 0.33333334f});
        TFluid::Create(world.get()).get()->CreateRect(100, 300, 300, 100, 0, 0);
        for (int k = 0; k < 20; ++k) {
            TRigid* body = TRigid::BeginBody(world.get()).get();
            for (int v = 0; v < 30; ++v) world->AddRigidParticle(body->AddVertex(10.0f + k, 10.0f + v * 0.5f, 1));
            bodies.push_back(body->EndBody());
            bodies.push_back(TRigid::CreateRigidRect(50.0f * k, 50, 40, 100, world.get()).get());
        }
        for (int i = 0; i < 5; ++i) world->Update();
        return world;
    };
    std::vector<TRigid*> bodies[2];
    std::unique_ptr<TSPH> worlds[2];
    std::thread other([&] { worlds[1] = build(bodies[1]); });
    worlds[0] = build(bodies[0]);
    other.join();
    for (int w = 0; w < 2; ++w) {
        const TSPH& world = *worlds[w];
        std::vector<std::int32_t> ids;
        for (const TSPH::ParticleView view : {world.GetFluidParticles(), world.GetRigidParticles()})
            for (const TParticle* p : view) ids.push_back(p->ID);
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "world " << w << " repeats a number";
        EXPECT_EQ(ids.front(), 0);
        for (const TRigid* body : bodies[w])
            for (const TParticle* p : body->GetVertices()) {
                ASSERT_TRUE(p->Rigid == body && world.Owns(p)) << "world " << w;
            }
    }
}
