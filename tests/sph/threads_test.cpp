// The threads a caller lends a world: the pool runs every task once, and a
// world whose steps are split between threads ends every step with exactly
// the bits of the serial step, seams, fluid–solid pushes and all.
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

#include "sph/detail/fluid_pack.h"
#include "sph/detail/fluid_phases.h"
#include "sph/detail/fluid_walks.h"
#include "sph/detail/solver.h"
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

// Every step that can be split is, down to a world of a few hundred particles.
TSplitSettings SmallWorldSplit() {
    TSplitSettings split;
    split.MinParticlesPerThread = 40;
    split.MinColumnsPerThread = 3;
    split.MinIntegratedPerThread = 40;
    split.MinCountedPerThread = 40;
    split.Adaptive = false;
    return split;
}

// Scene one's world: a floor, an elastic block, and about 300 liquid
// particles falling onto the block over some 25 grid columns.
std::unique_ptr<TSPH> LiquidOnSolid() {
    auto world = test_worlds::SceneOneWorld();
    CreateBoundaryRect(world.get(), 0, 560, 800, 40);
    TSolid::Create(world.get())->CreateRect(330, 470, 110, 40, 0, 0);
    TFluid::Create(world.get())->CreateRect(300, 330, 170, 110, 0, 0.4f);
    TFluid::Create(world.get())->CreateRect(200, 400, 250, 30, 0.1f, 0.2f);  // a second liquid
    return world;
}

// LiquidOnSolid() with `n` more liquid particles packed on a lattice into
// one grid cell, above the rest of the liquid near the middle of its columns.
// The crowd turns slowly about its middle: moving as one, its pairs would add
// nothing to any sum; turning, they nudge each other's velocities from the
// first step and push each other soon after.
std::unique_ptr<TSPH> LiquidOnSolidWithCrowd(std::int32_t n) {
    auto world = LiquidOnSolid();
    TFluid* fluid = TFluid::Create(world.get());
    const auto side = static_cast<std::int32_t>(std::ceil(std::sqrt(static_cast<double>(n))));
    const float h = TSPH::SMOOTHING_LENGTH, step = 0.9f * h / static_cast<float>(side), turn = 0.001f;
    for (std::int32_t k = 0; k < n; ++k) {
        const float dx = static_cast<float>(k % side) * step - 0.45f * h;
        const float dy = static_cast<float>(k / side) * step - 0.45f * h;
        TParticle* p = TParticle::CreateFluidParticle(20.5f * h + dx, 15.5f * h + dy, fluid);
        p->VelocityX = -turn * dy;
        p->VelocityY = turn * dx;
        p->OldX = p->PositionX - p->VelocityX * world->Timestep;
        p->OldY = p->PositionY - p->VelocityY * world->Timestep;
        world->AddFluidParticle(p);
    }
    return world;
}

// A column of liquid some eight grid columns wide: on eight threads nearly
// every particle lies on a seam and keeps its count and its partners above
// it, far more than the seam lists' first room of two words a particle.
std::unique_ptr<TSPH> NarrowColumn() {
    auto world = test_worlds::SceneOneWorld();
    CreateBoundaryRect(world.get(), 0, 560, 800, 40);
    TFluid::Create(world.get())->CreateRect(340, 200, 120, 300, 0, 0.3f);
    return world;
}

// Every particle's state that a step writes, bit for bit, in order of creation.
std::vector<std::uint32_t> StateBits(const TSPH& world) {
    std::vector<std::uint32_t> bits;
    auto add = [&](const TSPH::ParticleArray& particles, std::int32_t count) {
        for (std::int32_t i = 0; i < count; ++i) {
            const TParticle* p = particles[static_cast<std::size_t>(i)];
            for (float v : {p->PositionX, p->PositionY, p->OldX, p->OldY, p->VelocityX, p->VelocityY, p->ForceX,
                            p->ForceY, p->DeltaVelocityX, p->DeltaVelocityY, p->Density, p->DeltaDensity, p->Mass,
                            p->Pressure, p->SoundSpeed}) {
                std::uint32_t b;
                std::memcpy(&b, &v, sizeof b);
                bits.push_back(b);
            }
        }
    };
    add(world.FluidParticles, world.FluidCount);
    add(world.SolidParticles, world.SolidCount);
    return bits;
}

// Each cell's chain of liquid particles, as their numbers from the first.
std::vector<std::int32_t> Chains(const TSPH& world) {
    std::vector<std::int32_t> chains;
    for (const TParticle* head : world.FluidGrid) {
        for (const TParticle* p = head; p; p = p->Succ) chains.push_back(p->ID - world.FluidParticles[0]->ID);
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
    for (std::int32_t i = 0; i < world.FluidCount; ++i)
        for (std::int32_t k = 0; k < world.SolidCount; ++k) {
            const TParticle* p = world.FluidParticles[static_cast<std::size_t>(i)];
            const TParticle* q = world.SolidParticles[static_cast<std::size_t>(k)];
            const float dx = p->PositionX - q->PositionX, dy = p->PositionY - q->PositionY;
            if (dx * dx + dy * dy < world.RepulsiveDistSq) return true;
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

// The seams between the threads' bands and the solid particles' half of the
// fluid–solid push, gathered after the threads finish, give the serial bits;
// the grid's chains, counted in runs on the threads and joined, the serial
// chains.
TEST(SplitStep, GivesTheSerialBitsOnTwoAndThreeThreads) {
    for (std::int32_t threads : {2, 3}) {
        auto serial = LiquidOnSolid();
        auto split = LiquidOnSolid();
        TCountingRunner runner(threads);
        split->SetTaskRunner(&runner, SmallWorldSplit());
        bool touched = false;
        for (int step = 1; step <= 150; ++step) {
            serial->Update();
            split->Update();
            touched = touched || LiquidTouchesSolid(*serial);
            ASSERT_EQ(FirstDifference(StateBits(*split), StateBits(*serial)), -1)
                << "step " << step << ", threads " << threads;
            ASSERT_EQ(Chains(*split), Chains(*serial)) << "step " << step << ", threads " << threads;
        }
        EXPECT_EQ(runner.MostTasks, threads + 1);  // the solids' pushes beside the liquid's finish
        EXPECT_TRUE(touched);
        EXPECT_GT(serial->FluidCount, 300);
    }
}

// The rarer paths of a split step give the serial bits too. Each world
// takes its path from the first step: the crowds until they burst, a few
// steps, the narrow column at every step.
TEST(SplitStep, RarePathsGiveTheSerialBits) {
    const struct {
        const char* Path;
        std::unique_ptr<TSPH> (*Make)();
        std::vector<std::int32_t> Threads;
        int Steps;
    } cases[] = {
        // A cell of 300 is more than a byte can number
        // (TPartnerRecord::MAX_CELL): the density sweep records no partners
        // and the force sweep searches again.
        {"partner record skipped", [] { return LiquidOnSolidWithCrowd(300); }, {2, 8}, 16},
        // Most of the liquid in one cell: the threads' shares split in or
        // beside its column, and each seam particle around it meets a cell of
        // more candidates than its gather has room for (1024), so merges the
        // cells' whole runs. Its steps cost as much as dozens of the others',
        // so it takes only those before the crowd bursts.
        {"seam gather merges whole runs", [] { return LiquidOnSolidWithCrowd(1040); }, {3}, 4},
        // A narrow column on eight threads: the seam lists run out of room
        // in the first step, and the later seam particles search again.
        {"seam lists out of room", NarrowColumn, {8}, 24},
    };
    for (const auto& c : cases)
        for (std::int32_t threads : c.Threads) {
            auto serial = c.Make();
            auto split = c.Make();
            TCountingRunner runner(threads);
            split->SetTaskRunner(&runner, SmallWorldSplit());
            for (int step = 1; step <= c.Steps; ++step) {
                serial->Update();
                split->Update();
                ASSERT_EQ(FirstDifference(StateBits(*split), StateBits(*serial)), -1)
                    << c.Path << ": step " << step << ", threads " << threads;
                ASSERT_EQ(Chains(*split), Chains(*serial)) << c.Path << ": step " << step << ", threads " << threads;
            }
            EXPECT_GE(runner.MostTasks, threads) << c.Path;  // the steps were split
        }
}

// The narrow column's seam lists run out of room as it lands, on four
// threads and on eight; the room then grows to what the step wanted, and
// only the odd step after runs out again as the pile goes on compressing.
TEST(SplitStep, SeamRoomGrowsToWhatTheLastStepWanted) {
    for (std::int32_t threads : {4, 8}) {
        auto serial = NarrowColumn();
        auto split = NarrowColumn();
        TThreadPool pool(threads);
        split->SetTaskRunner(&pool, SmallWorldSplit());
        const std::vector<sph_detail::TSeamList>& lists = sph_detail::SolverOf(*split).FluidPack.SeamLists;
        int stops = 0;
        for (int step = 1; step <= 120; ++step) {
            split->Update();
            serial->Update();
            stops += std::any_of(lists.begin(), lists.end(), [](const auto& list) { return list.Stopped; });
        }
        EXPECT_GE(stops, 1) << threads << " threads";
        EXPECT_LE(stops, 4) << threads << " threads";
        EXPECT_EQ(FirstDifference(StateBits(*split), StateBits(*serial)), -1) << threads << " threads";
    }
}

// The walks compiled for wider instructions, taken where the processor has
// them, and the plain walks give the same bits, on one thread and split.
TEST(SplitStep, WideAndPlainInstructionsGiveTheSameBits) {
    if (&sph_detail::TWalks::Fastest() == &sph_detail::TWalks::Plain())
        GTEST_SKIP() << "no wider walks in this build or on this processor: both worlds would take the plain ones";
    TSplitSettings plain = SmallWorldSplit();
    plain.WideInstructions = false;
    for (std::int32_t threads : {1, 2}) {
        auto wide = LiquidOnSolid();
        auto narrow = LiquidOnSolid();
        TCountingRunner wideRunner(threads), narrowRunner(threads);
        wide->SetTaskRunner(&wideRunner, SmallWorldSplit());
        narrow->SetTaskRunner(&narrowRunner, plain);
        for (int step = 1; step <= 100; ++step) {
            wide->Update();
            narrow->Update();
            ASSERT_EQ(FirstDifference(StateBits(*narrow), StateBits(*wide)), -1)
                << "step " << step << ", threads " << threads;
        }
    }
}

// The public phases called one by one, on one thread or split, run the same
// pair code as the step and leave the same state.
TEST(SplitStep, PhasesOneByOneMatchTheStep) {
    for (std::int32_t threads : {1, 2}) {
        auto stepped = LiquidOnSolid();
        auto phased = LiquidOnSolid();
        TCountingRunner runner(threads);
        if (threads > 1) phased->SetTaskRunner(&runner, SmallWorldSplit());
        for (int step = 1; step <= 120; ++step) {
            stepped->Update();
            StepPhaseByPhase(*phased);
            ASSERT_EQ(FirstDifference(StateBits(*phased), StateBits(*stepped)), -1)
                << "step " << step << ", threads " << threads;
        }
        EXPECT_EQ(runner.MostTasks, threads > 1 ? threads + 1 : 0);
    }
}

// A world whose liquid is too small for the thresholds steps on one thread.
TEST(SplitStep, ThresholdsKeepSmallWorldsOnOneThread) {
    auto world = LiquidOnSolid();
    TCountingRunner runner(2);
    world->SetTaskRunner(&runner);  // 500 particles per thread by default
    for (int step = 0; step < 3; ++step) world->Update();
    EXPECT_LE(runner.MostTasks, 1);  // no call split the work
    EXPECT_EQ(world->GetTaskRunner(), &runner);
}

// Split steps, timed to choose their split, allocate nothing on any thread.
TEST(SplitStep, AllocatesNothing) {
    auto world = LiquidOnSolid();
    TThreadPool pool(3);
    TSplitSettings split = SmallWorldSplit();
    split.Adaptive = true;
    world->SetTaskRunner(&pool, split);
    for (int step = 0; step < 3; ++step) world->Update();
    const long before = allocations.load();
    for (int step = 0; step < 30; ++step) world->Update();
    EXPECT_EQ(allocations.load(), before);
    TFluid::Create(world.get());  // the counter does count
    EXPECT_GT(allocations.load(), before);
}

// Each thread's share of the liquid moves halfway towards its measured speed.
TEST(SplitStep, RetuneFollowsTheMeasuredSpeeds) {
    sph_detail::TFluidPack P;
    P.Threads = 2;
    P.OrderStart = {0, 600, 1000};
    P.Share = {0.5, 0.5};
    P.Seconds = {1.0, 0.2};  // 600 and 2000 particles a second
    sph_detail::Retune(P, P);
    EXPECT_NEAR(P.Share[0], 0.25 + 0.5 * 600 / 2600, 1e-12);
    EXPECT_NEAR(P.Share[1], 0.25 + 0.5 * 2000 / 2600, 1e-12);
    EXPECT_EQ(P.Seconds, std::vector<double>(2, 0.0));
    // Until every thread has been timed again, the shares stay.
    const std::vector<double> tuned = P.Share;
    P.Seconds = {0.0, 0.5};
    sph_detail::Retune(P, P);
    EXPECT_EQ(P.Share, tuned);
    // A thread that has lost its core keeps about 2 %; the shares add up to one.
    P.Threads = 3;
    P.OrderStart = {0, 10, 500, 1000};
    P.Share = {0.02, 0.49, 0.49};
    P.Seconds = {100.0, 0.1, 0.1};
    sph_detail::Retune(P, P);
    EXPECT_NEAR(P.Share[0], 0.0198, 0.0002);
    EXPECT_NEAR(P.Share[0] + P.Share[1] + P.Share[2], 1.0, 1e-12);
}
