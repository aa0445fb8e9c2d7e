// The threads a caller lends a world: the pool runs every task once, and a
// world whose steps are shared between threads ends every step with exactly
// the bits of one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "sph/fluid.h"
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

// Scene one's world: a floor, an elastic block, and about 300 liquid
// particles falling onto the block over some 25 grid columns.
std::unique_ptr<TSPH> LiquidOnSolid() {
    auto world = test_worlds::SceneOneWorld();
    CreateBoundaryRect(world.get(), 0, 560, 800, 40);
    TSolid::Create(world.get()).get()->CreateRect(330, 470, 110, 40, 0, 0);
    TFluid::Create(world.get()).get()->CreateRect(300, 330, 170, 110, 0, 0.4f);
    TFluid::Create(world.get()).get()->CreateRect(200, 400, 250, 30, 0.1f, 0.2f);  // a second liquid
    return world;
}

// LiquidOnSolid() with `n` more liquid particles packed on a lattice into
// one grid cell, above the rest of the liquid near the middle of its columns.
// The crowd turns slowly about its middle: moving as one, its pairs would add
// nothing to any sum; turning, they nudge each other's velocities from their
// first move and push each other soon after.
std::unique_ptr<TSPH> LiquidOnSolidWithCrowd(std::int32_t n) {
    auto world = LiquidOnSolid();
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

// Every particle's state that a step writes, bit for bit, in order of creation.
std::vector<std::uint32_t> StateBits(const TSPH& world) {
    std::vector<std::uint32_t> bits;
    auto add = [&](TSPH::ParticleView particles) {
        for (const TParticle* p : particles) {
            for (float v : {p->PositionX, p->PositionY, p->OldX, p->OldY, p->VelocityX, p->VelocityY, p->ForceX,
                            p->ForceY, p->DeltaVelocityX, p->DeltaVelocityY, p->Density, p->DeltaDensity, p->Mass,
                            p->Pressure, p->SoundSpeed}) {
                std::uint32_t b;
                std::memcpy(&b, &v, sizeof b);
                bits.push_back(b);
            }
        }
    };
    add(world.GetFluidParticles());
    add(world.GetSolidParticles());
    return bits;
}

// Each cell's chain of liquid particles, as their numbers from the first.
std::vector<std::int32_t> Chains(const TSPH& world) {
    std::vector<std::int32_t> chains;
    for (const TParticle* head : world.GetFluidGrid()) {
        for (const TParticle* p = head; p; p = p->Succ) chains.push_back(p->ID - world.GetFluidParticles()[0]->ID);
        chains.push_back(-1);
    }
    return chains;
}

// The index of the first word where two states differ, −1 if none does.
long FirstDifference(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    if (a.size() != b.size()) return static_cast<long>(std::min(a.size(), b.size()));
    const auto d = std::mismatch(a.begin(), a.end(), b.begin());
    return d.first == a.end() ? -1 : static_cast<long>(d.first - a.begin());
}

// Whether some liquid particle is within the repulsion distance of a solid one.
bool LiquidTouchesSolid(const TSPH& world) {
    const float reach = world.GetRepulsiveDistance();
    for (const TParticle* p : world.GetFluidParticles())
        for (const TParticle* q : world.GetSolidParticles()) {
            const float dx = p->PositionX - q->PositionX, dy = p->PositionY - q->PositionY;
            if (dx * dx + dy * dy < reach * reach) return true;
        }
    return false;
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

TEST(ThreadPool, RunsEveryTaskExactlyOnce) {
    for (std::int32_t threads : {1, 2, 3, 4}) {
        TThreadPool pool(threads);
        EXPECT_EQ(pool.ThreadCount(), threads);
        bool ran = false;
        auto none = [&](std::int32_t) { ran = true; };
        pool.Run(0, none);
        EXPECT_FALSE(ran);
        // One task, as many as threads, more than threads.
        for (std::int32_t tasks : {1, threads, 7, 64}) {
            const std::vector<int> counts = RunCounted(pool, tasks, 300);
            for (std::size_t k = 0; k < counts.size(); ++k)
                ASSERT_EQ(counts[k], 300) << "task " << k << " of " << tasks << " on " << threads << " threads";
        }
    }
    EXPECT_EQ(TThreadPool(0).ThreadCount(), 1);
    TThreadPool pool(2);
    auto idle = [](std::int32_t) {};
    EXPECT_THROW(pool.Run(1, nullptr, nullptr), TSPHError);
    EXPECT_THROW(pool.Run(-1, idle), TSPHError);
}

TEST(ThreadPool, TwoCallersShareOnePool) {
    TThreadPool pool(3);
    std::vector<int> fromOther;
    std::thread other([&] { fromOther = RunCounted(pool, 5, 500); });
    const std::vector<int> fromHere = RunCounted(pool, 6, 500);
    other.join();
    EXPECT_EQ(fromOther, std::vector<int>(5, 500));
    EXPECT_EQ(fromHere, std::vector<int>(6, 500));
}

// A pool ended before its workers first wait, or once they have stopped
// spinning and sleep in the kernel, wakes and joins them (a lost wake-up
// hangs here, and the test's time limit tells); a pool beside it goes on
// running every task once.
TEST(ThreadPool, DestroyedWhileIdleWakesAndJoinsItsWorkers) {
    TThreadPool other(3);
    for (const int rounds : {0, 3})
        for (const auto idle : {std::chrono::milliseconds(0), std::chrono::milliseconds(30)}) {
            auto pool = std::make_unique<TThreadPool>(4);
            EXPECT_EQ(RunCounted(*pool, 8, rounds), std::vector<int>(8, rounds));
            std::this_thread::sleep_for(idle);
            pool.reset();
            EXPECT_EQ(RunCounted(other, 7, 20), std::vector<int>(7, 20))
                << rounds << " rounds, then idle for " << idle.count() << " ms";
        }
}

// Every particle's sums have one order, fixed by the layout: 1, 2, 3 and 8
// threads, with the wider instructions where the processor has them and
// without, give the same bits as one thread, and the same grid chains.
// Besides the liquid on the solid block, a crowd of 300 in one grid cell
// has more partners a particle than a step keeps between its passes, and
// gathers them in more than one round.
TEST(SplitStep, SameBitsOnEveryThreadCountAndInstructionSet) {
    for (const auto make : {LiquidOnSolid, +[] { return LiquidOnSolidWithCrowd(300); }}) {
        auto serial = make();
        serial->SetTaskRunner(nullptr, SmallWorldSplit(false));
        struct TRun {
            std::unique_ptr<TSPH> World;
            std::shared_ptr<TCountingRunner> Runner;
        };
        std::vector<TRun> runs;
        for (const std::int32_t threads : {1, 2, 3, 8})
            for (const bool wide : {true, false}) {
                TRun run{make(), std::make_shared<TCountingRunner>(threads)};
                run.World->SetTaskRunner(run.Runner, SmallWorldSplit(wide));
                runs.push_back(std::move(run));
            }
        bool touched = false;
        for (int step = 1; step <= 60; ++step) {
            serial->Update();
            touched = touched || LiquidTouchesSolid(*serial);
            for (TRun& run : runs) {
                run.World->Update();
                ASSERT_EQ(FirstDifference(StateBits(*run.World), StateBits(*serial)), -1)
                    << "step " << step << ", threads " << run.Runner->ThreadCount();
                ASSERT_EQ(Chains(*run.World), Chains(*serial)) << "step " << step;
            }
        }
        EXPECT_TRUE(touched);
        // Split, with the solids' pushes as one more task beside the liquid's.
        EXPECT_EQ(runs.back().Runner->MostTasks, 9);
    }
}

// The public phases called one by one, on one thread or split, run the same
// pair code as the step and leave the same state.
TEST(SplitStep, PhasesOneByOneMatchTheStep) {
    for (std::int32_t threads : {1, 2}) {
        auto stepped = LiquidOnSolid();
        auto phased = LiquidOnSolid();
        const auto runner = std::make_shared<TCountingRunner>(threads);
        if (threads > 1) phased->SetTaskRunner(runner, SmallWorldSplit());
        for (int step = 1; step <= 120; ++step) {
            stepped->Update();
            StepPhaseByPhase(*phased);
            ASSERT_EQ(FirstDifference(StateBits(*phased), StateBits(*stepped)), -1)
                << "step " << step << ", threads " << threads;
        }
        EXPECT_EQ(runner->MostTasks, threads > 1 ? threads + 1 : 0);
    }
}

// A world whose liquid is too small for the thresholds steps on one thread.
TEST(SplitStep, ThresholdsKeepSmallWorldsOnOneThread) {
    auto world = LiquidOnSolid();
    const auto runner = std::make_shared<TCountingRunner>(2);
    world->SetTaskRunner(runner);  // 500 particles per thread by default
    for (int step = 0; step < 3; ++step) world->Update();
    EXPECT_LE(runner->MostTasks, 1);  // no call split the work
    EXPECT_EQ(world->GetTaskRunner(), runner);
}

// Split steps allocate nothing on any thread.
TEST(SplitStep, AllocatesNothing) {
    auto world = LiquidOnSolidWithCrowd(300);
    world->SetTaskRunner(std::make_shared<TThreadPool>(3), SmallWorldSplit());
    for (int step = 0; step < 3; ++step) world->Update();
    const long before = allocations.load();
    for (int step = 0; step < 30; ++step) world->Update();
    EXPECT_EQ(allocations.load(), before);
    TFluid::Create(world.get()).get();  // the counter does count
    EXPECT_GT(allocations.load(), before);
}
