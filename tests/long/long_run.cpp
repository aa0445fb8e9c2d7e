// A long run of the demo's three scenes, headless, with scripted input:
//
//   build/tests/long/long_run [steps [scenes]]    (20 000 steps of scenes 1, 2
//                                                  and 3 by default; "23":
//                                                  scenes 2 and 3)
//
// CTest runs it under the label "long" (ctest --test-dir build -L long), which
// the test command leaves out: scene 1 alone takes an hour or more.
//
// scene 1: a left or a right click at a random point every 150 steps (elastic
//          blocks and blocks of wall, some across the container's edges), the
//          emitter pouring all the time;
// scene 2: the three emitters on until the scene holds 40 000 particles, then off;
// scene 3: a rigid box at a random point of the upper two thirds every 100
//          steps.
//
// Every 1 000 steps it checks that no position or velocity is NaN or
// infinite and that every liquid and solid particle is inside the container,
// and prints the particle count, the time per step over the last 1 000
// steps (processor time, which a busy machine disturbs less, and elapsed
// time), the resident memory and how deep rigid particles lie below the
// floor. Solid particles are checked after every step: the solid's
// integration keeps each of them inside the container, even in a block
// dropped across an edge. The exit status is 1 if a check failed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "app/scenes.h"
#include "app/step_threads.h"
#include "sph/particle.h"
#include "tests/support/scripted_input.h"

namespace {

// "VmRSS" or "VmHWM" of this process in MiB.
double MemoryMiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + line.find(':') + 1) / 1024.0;
    return 0;
}

bool Finite(const TParticle* p) {
    return std::isfinite(p->PositionX) && std::isfinite(p->PositionY) && std::isfinite(p->VelocityX) &&
           std::isfinite(p->VelocityY);
}

bool Inside(const TSPH& w, const TParticle* p) {
    return p->PositionX >= 0 && p->PositionX <= w.GetContainerWidth() && p->PositionY >= 0 &&
           p->PositionY <= w.GetContainerHeight();
}

struct TCheck {
    int NonFinite = 0;
    int Outside = 0;        // liquid and solid particles beyond an edge
    int SolidOutside = 0;   // of which solid
    float FarthestOut = 0;  // screen pixels beyond an edge, liquid and solid particles
    float DeepestSink = 0;  // screen pixels below the floor, rigid particles
};

// How far a particle lies beyond the container's edges, in simulation units.
float DistanceOutside(const TSPH& w, const TParticle* p) {
    return std::max({-p->PositionX, p->PositionX - w.GetContainerWidth(), -p->PositionY,
                     p->PositionY - w.GetContainerHeight(), 0.0f});
}

TCheck Check(const TSPH& w) {
    TCheck c;
    const float toScreen = TSPH::INV_UNIT_SCALE * w.GetWorldScale();
    auto visit = [&](TSPH::ParticleView particles, bool mustBeInside) {
        for (const TParticle* p : particles) {
            if (!Finite(p)) ++c.NonFinite;
            if (mustBeInside && !Inside(w, p)) {
                ++c.Outside;
                if (p->Solid != nullptr) ++c.SolidOutside;
                c.FarthestOut = std::max(c.FarthestOut, DistanceOutside(w, p) * toScreen);
            }
        }
    };
    visit(w.GetFluidParticles(), true);
    visit(w.GetSolidParticles(), true);
    visit(w.GetRigidParticles(), false);
    for (const TParticle* p : w.GetRigidParticles()) {
        c.DeepestSink = std::max(c.DeepestSink, (p->PositionY - w.GetContainerHeight()) * toScreen);
    }
    return c;
}

struct TSceneReport {
    bool Failed = false;
    int BlocksAcross = 0;       // elastic blocks dropped across an edge
    int StepsSolidOutside = 0;  // steps after which a solid particle was outside
};

bool SolidsInside(const TSPH& w) {
    for (const TParticle* p : w.GetSolidParticles())
        if (!Inside(w, p)) return false;
    return true;
}

TSceneReport RunScene(TDemoScenes& scenes, int scene, int steps, std::mt19937& random) {
    scenes.CurrentScene = scene;
    TSPH& world = scenes.CurrentWorld();
    test_support::TScriptedInput input;
    TSceneReport report;
    std::uniform_int_distribution<int> pickX(0, 799), pickY(0, 599), pickBoxY(0, 400);
    bool emittersOn = false;
    float deepestSink = 0;

    std::printf("scene %d: %d particles at start\n", scene, world.GetParticleCount());
    std::printf("  %6s %9s %8s %8s %8s %10s %14s %11s %13s\n", "step", "particles", "cpu ms", "wall ms", "RSS MiB",
                "non-finite", "outside(solid)", "farthest px", "rigid sink px");
    auto started = std::chrono::steady_clock::now();
    std::clock_t startedCpu = std::clock();
    for (int step = 1; step <= steps; ++step) {
        if (scene == 1 && step % 150 == 0) {
            input.Buttons[(step / 150) % 2 == 1 ? demo_keys::LEFT_BUTTON : demo_keys::RIGHT_BUTTON] = 1;
            input.X = pickX(random);
            input.Y = pickY(random);
        }
        if (scene == 2 && step == 1) {
            input.Keys[demo_keys::SPACE] = 1;
            emittersOn = true;
        }
        if (scene == 2 && emittersOn && world.GetParticleCount() >= 40000) {
            input.Keys[demo_keys::SPACE] = 1;
            emittersOn = false;
            std::printf("  emitters off at step %d with %d particles\n", step, world.GetParticleCount());
        }
        if (scene == 3 && step % 100 == 0) {
            input.Buttons[demo_keys::LEFT_BUTTON] = 1;
            input.X = pickX(random);
            input.Y = pickBoxY(random);
        }

        const bool leftClick = input.Buttons[demo_keys::LEFT_BUTTON] != 0;
        if (scene == 1 && leftClick && (input.X + 50 > 800 || input.Y + 150 > 600)) ++report.BlocksAcross;
        StepCurrentScene(scenes, input);
        if (!SolidsInside(world)) {
            if (report.StepsSolidOutside == 0) std::printf("  a solid particle outside after step %d\n", step);
            ++report.StepsSolidOutside;
            report.Failed = true;
        }

        if (step % 1000 == 0) {
            const auto now = std::chrono::steady_clock::now();
            const double ms = std::chrono::duration<double, std::milli>(now - started).count() / 1000.0;
            const std::clock_t nowCpu = std::clock();
            const double cpuMs = static_cast<double>(nowCpu - startedCpu) * 1000.0 / CLOCKS_PER_SEC / 1000.0;
            started = now;
            startedCpu = nowCpu;
            const TCheck c = Check(world);
            deepestSink = std::max(deepestSink, c.DeepestSink);
            const bool failed = c.NonFinite > 0 || c.Outside > 0;
            report.Failed = report.Failed || failed;
            const std::string outside = std::to_string(c.Outside) + "(" + std::to_string(c.SolidOutside) + ")";
            std::printf("  %6d %9d %8.2f %8.2f %8.1f %10d %14s %11.2g %13.1f%s\n", step, world.GetParticleCount(),
                        cpuMs, ms, MemoryMiB("VmRSS"), c.NonFinite, outside.c_str(), c.FarthestOut, c.DeepestSink,
                        failed ? "  FAILED" : "");
            std::fflush(stdout);
        }
    }
    if (scene == 1) std::printf("  %d elastic blocks dropped across an edge\n", report.BlocksAcross);
    if (report.StepsSolidOutside > 0)
        std::printf("  a solid particle was outside after %d step(s)\n", report.StepsSolidOutside);
    if (scene == 3) std::printf("  deepest rigid particle below the floor: %.1f screen pixels\n", deepestSink);
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::atoi(argv[1]) : 20000;
    const std::string which = argc > 2 ? argv[2] : "123";
    if (steps < 1000 || which.find_first_not_of("123") != std::string::npos) {
        std::fprintf(stderr, "usage: long_run [steps, at least 1000 [scenes, such as 123 or 2]]\n");
        return 2;
    }
    std::mt19937 random(20261208);
    const auto stepThreads = MakeStepThreads();  // the demo's: SPH_THREADS, else the cores
    TDemoScenes scenes = BuildScenes();
    scenes.SetTaskRunner(stepThreads);
    bool failed = false;
    for (int scene = 1; scene <= 3; ++scene)
        if (which.find(static_cast<char>('0' + scene)) != std::string::npos)
            failed = RunScene(scenes, scene, steps, random).Failed || failed;
    std::printf("peak resident memory: %.1f MiB\n%s\n", MemoryMiB("VmHWM"), failed ? "FAILED" : "all checks held");
    return failed ? 1 : 0;
}
