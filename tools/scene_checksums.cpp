// Plays the demo's three scenes with the fixed script of the step checksum
// test (tests/app/checksum_test.cpp) and prints, at the same checkpoints, the
// particle count and the same checksum of every particle's state. Built
// natively and for the web, so that the two builds' outputs can be compared
// line for line: a different rounding anywhere in the step (another
// instruction set, vector code lowered differently) shows up within a few
// dozen steps. With a number of threads, the worlds step on a thread pool of
// that many (where the build has threads): the same lines again.
//
//   scene_checksums [threads]                        (native)
//   node build-web/demo/tools/scene_checksums.js     (web)
//   node build-web/demo-threads/tools/scene_checksums.js 3   (web, on 3 threads)
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/scenes.h"
#include "app/world_checksum.h"
#include "tests/support/scripted_input.h"
#if !defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__)
#include "sph/thread_pool.h"
#endif

namespace {

void Play(int scene, const std::shared_ptr<TTaskRunner>& runner) {
    TDemoScenes s = BuildScenes();
    s.SetTaskRunner(runner);
    s.CurrentScene = scene;
    test_support::TScriptedInput input;
    for (int step = 1; step <= 1000; ++step) {
        test_support::ScriptTheChecksumScenes(scene, step, input);
        StepCurrentScene(s, input);
        if (step == 20 || step == 300 || step == 1000)
            std::printf("scene %d step %4d: %5d particles, checksum 0x%016" PRIx64 "\n", scene, step,
                        static_cast<int>(s.CurrentWorld().GetParticleCount()), WorldChecksum(s.CurrentWorld()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int threads = argc > 1 ? std::atoi(argv[1]) : 1;
    std::shared_ptr<TTaskRunner> pool;
#if !defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__)
    if (threads > 1) pool = std::make_shared<TThreadPool>(threads);
#else
    if (threads > 1) {
        std::fputs("scene_checksums: this build has no threads\n", stderr);
        return 2;
    }
#endif
    for (int scene = 1; scene <= 3; ++scene) Play(scene, pool);
    return 0;
}
