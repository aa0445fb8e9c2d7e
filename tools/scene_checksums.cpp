// Plays the demo's three scenes with the fixed script of the step checksum
// test (tests/app/checksum_test.cpp) and prints, at the same checkpoints, the
// particle count and the same checksum of every particle's state. Built
// natively and for the web, so that the two builds' outputs can be compared
// line for line: a different rounding anywhere in the step (another
// instruction set, vector code lowered differently) shows up within a few
// dozen steps.
//
//   scene_checksums                          (native)
//   node build-web/demo/tools/scene_checksums.js  (web)
#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "app/scenes.h"
#include "tests/support/checksum.h"
#include "tests/support/scripted_input.h"

namespace {

void Play(int scene) {
    TDemoScenes s = BuildScenes();
    s.CurrentScene = scene;
    test_support::TScriptedInput input;
    for (int step = 1; step <= 1000; ++step) {
        test_support::ScriptTheChecksumScenes(scene, step, input);
        StepCurrentScene(s, input);
        if (step == 20 || step == 300 || step == 1000)
            std::printf("scene %d step %4d: %5d particles, checksum 0x%016" PRIx64 "\n", scene, step,
                        static_cast<int>(s.CurrentWorld().GetParticleCount()),
                        test_support::Checksum(s.CurrentWorld()));
    }
}

}  // namespace

int main() {
    for (int scene = 1; scene <= 3; ++scene) Play(scene);
    return 0;
}
