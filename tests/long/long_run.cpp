// A long run of the demo's three scenes, headless, with scripted input:
//
//   build/tests/long/long_run [steps [scenes]]    (20 000 steps of scenes 1, 2
//                                                  and 3 by default; "23":
//                                                  scenes 2 and 3)
//
// under the label "long" (ctest --test-dir build -L long), which the test
// command leaves out: scene 1 alone takes an hour or more. Scene 1 pours and
// gets a left or a right click at a random point every 150 steps (some blocks
// across the container's edges); scene 2's three emitters pour up to 40 000
// particles; scene 3 gets a box in its upper two thirds every 100 steps.
// After every step no solid particle may be outside the container or have a
// number that is not finite (their integration keeps each inside); every
// 1 000 steps the same holds for liquid particles, no rigid particle's number
// may be NaN or infinite, and a line shows the particle count, the time per
// step, the resident memory and how deep rigid particles lie below the floor.
// The exit status is 1 if a check failed.
#include <algorithm>
#include <chrono>
#include <cmath>
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

// Particles of `particles` that fail a check: a position or velocity not
// finite, or (when they must be inside) a position outside the container.
int Failing(const TSPH& w, TSPH::ParticleView particles, bool mustBeInside) {
    return static_cast<int>(std::count_if(particles.begin(), particles.end(), [&](const TParticle* p) {
        const bool inside = p->PositionX >= 0 && p->PositionX <= w.GetContainerWidth() && p->PositionY >= 0 &&
                            p->PositionY <= w.GetContainerHeight();
        return !(std::isfinite(p->PositionX) && std::isfinite(p->PositionY) && std::isfinite(p->VelocityX) &&
                 std::isfinite(p->VelocityY)) ||
               (mustBeInside && !inside);
    }));
}

bool RunScene(TDemoScenes& scenes, int scene, int steps, std::mt19937& random) {
    scenes.CurrentScene = scene;
    TSPH& world = scenes.CurrentWorld();
    test_support::TScriptedInput input;
    std::uniform_int_distribution<int> pickX(0, 799), pickY(0, 599), pickBoxY(0, 400);
    bool emittersOn = false, failed = false;
    int blocksAcross = 0, stepsSolidFailing = 0;
    float deepestSink = 0;
    const float toScreen = TSPH::INV_UNIT_SCALE * world.GetWorldScale();

    std::printf("scene %d: %d particles at start\n", scene, world.GetParticleCount());
    std::printf("  %6s %9s %8s %8s %8s %13s\n", "step", "particles", "ms", "RSS MiB", "failing", "rigid sink px");
    auto started = std::chrono::steady_clock::now();
    for (int step = 1; step <= steps; ++step) {
        if (scene == 1 && step % 150 == 0) {
            const bool left = (step / 150) % 2 == 1;
            input.Buttons[left ? demo_keys::LEFT_BUTTON : demo_keys::RIGHT_BUTTON] = 1;
            input.X = pickX(random);
            input.Y = pickY(random);
            if (left && (input.X + 50 > 800 || input.Y + 150 > 600)) ++blocksAcross;
        }
        if (scene == 2 && (step == 1 || (emittersOn && world.GetParticleCount() >= 40000))) {
            input.Keys[demo_keys::SPACE] = 1;
            emittersOn = !emittersOn;
            if (!emittersOn)
                std::printf("  emitters off at step %d with %d particles\n", step, world.GetParticleCount());
        }
        if (scene == 3 && step % 100 == 0) {
            input.Buttons[demo_keys::LEFT_BUTTON] = 1;
            input.X = pickX(random);
            input.Y = pickBoxY(random);
        }
        StepCurrentScene(scenes, input);
        const int solidsFailing = Failing(world, world.GetSolidParticles(), true);
        if (solidsFailing > 0 && stepsSolidFailing++ == 0) std::printf("  a solid particle failed at step %d\n", step);
        failed = failed || solidsFailing > 0;

        if (step % 1000 == 0) {
            const auto now = std::chrono::steady_clock::now();
            const double ms = std::chrono::duration<double, std::milli>(now - started).count() / 1000.0;
            started = now;
            const int failing = solidsFailing + Failing(world, world.GetFluidParticles(), true) +
                                Failing(world, world.GetRigidParticles(), false);
            float sink = 0;
            for (const TParticle* p : world.GetRigidParticles())
                sink = std::max(sink, (p->PositionY - world.GetContainerHeight()) * toScreen);
            deepestSink = std::max(deepestSink, sink);
            failed = failed || failing > 0;
            std::printf("  %6d %9d %8.2f %8.1f %8d %13.1f%s\n", step, world.GetParticleCount(), ms, MemoryMiB("VmRSS"),
                        failing, sink, failing > 0 ? "  FAILED" : "");
            std::fflush(stdout);
        }
    }
    if (scene == 1) std::printf("  %d elastic blocks dropped across an edge\n", blocksAcross);
    if (stepsSolidFailing > 0) std::printf("  a solid particle failed after %d step(s)\n", stepsSolidFailing);
    if (scene == 3) std::printf("  deepest rigid particle below the floor: %.1f screen pixels\n", deepestSink);
    return failed;
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
    TDemoScenes scenes = BuildScenes();
    scenes.SetTaskRunner(MakeStepThreads());  // the demo's: SPH_THREADS, else the cores
    bool failed = false;
    for (int scene = 1; scene <= 3; ++scene)
        if (which.find(static_cast<char>('0' + scene)) != std::string::npos)
            failed = RunScene(scenes, scene, steps, random) || failed;
    std::printf("peak resident memory: %.1f MiB\n%s\n", MemoryMiB("VmHWM"), failed ? "FAILED" : "all checks held");
    return failed ? 1 : 0;
}
