// The demo's three scenes driven by a fixed script reproduce, bit for bit,
// the particles recorded when each liquid particle first gathered its own
// sums, on one thread and on several. The scenes are chaotic: a single changed rounding shows up here
// within a few dozen steps. Scene 1 brings liquid, walls, an elastic block
// and its constraints together, split between threads once the liquid is
// large enough; scene 3 its rigid bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/scenes.h"
#include "app/step_threads.h"
#include "app/world_checksum.h"
#include "sph/thread_pool.h"
#include "tests/support/scripted_input.h"

namespace {

// Under the sanitizers, which look for memory errors and races rather than
// numbers and run the step many times slower, the checkpoints stop early:
// at 300 steps under AddressSanitizer, and at 100 under ThreadSanitizer,
// whose split steps are slower still.
#if defined(__has_feature)
#define CHECKSUM_HAS_FEATURE(x) __has_feature(x)
#else
#define CHECKSUM_HAS_FEATURE(x) 0
#endif
#if defined(__SANITIZE_THREAD__) || CHECKSUM_HAS_FEATURE(thread_sanitizer)
constexpr int LAST_STEP = 100;
#elif defined(__SANITIZE_ADDRESS__) || CHECKSUM_HAS_FEATURE(address_sanitizer)
constexpr int LAST_STEP = 300;
#else
constexpr int LAST_STEP = 1000;
#endif

struct Expected {
    int Steps;
    std::int32_t Particles;
    std::uint64_t Sum;
};

// Plays `scene` with its script on `threads` threads, rigid contacts on or
// off, and compares after each checkpoint. 0: the demo's threads.
void Play(int scene, std::int32_t threads, const std::vector<Expected>& expected, bool contacts = false) {
    std::shared_ptr<TTaskRunner> pool;
    if (threads == 0)
        pool = MakeStepThreads();
    else if (threads > 1)
        pool = std::make_shared<TThreadPool>(threads);
    TDemoScenes s = BuildScenes();
    s.SetTaskRunner(pool);
    s.SetRigidContacts(contacts);
    s.CurrentScene = scene;
    test_support::TScriptedInput input;
    const int last = std::min(expected.back().Steps, LAST_STEP);
    auto next = expected.begin();
    for (int step = 1; step <= last; ++step) {
        test_support::ScriptTheChecksumScenes(scene, step, input);
        StepCurrentScene(s, input);
        if (next != expected.end() && step == next->Steps) {
            const TSPH& world = s.CurrentWorld();
            EXPECT_EQ(world.GetParticleCount(), next->Particles) << "scene " << scene << " step " << step;
            EXPECT_EQ(WorldChecksum(world), next->Sum)
                << "scene " << scene << " step " << step << ", threads " << threads;
            ++next;
        }
    }
}

}  // namespace

TEST(StepChecksum, SceneOne) {
    for (std::int32_t threads : {1, 2, 3})
        Play(1, threads,
             {{20, 2298, 0x5f1a04cf3047f7a6ull},
              {100, 2618, 0x7993a49b0978cf12ull},
              {300, 3418, 0xc8a26b2d6afe19f9ull},
              {1000, 6218, 0x79cb9fbfb7903202ull}});
}
TEST(StepChecksum, SceneTwo) {
    // 0: as many threads as cores.
    for (std::int32_t threads : {1, 2, 0})
        Play(2, threads,
             {{20, 8241, 0xe17e8eb01feb7de7ull},
              {100, 9621, 0x79fd296890cc7658ull},
              {300, 13071, 0x3d0e24ac7fec3c21ull},
              {1000, 25146, 0x667c5533b217c830ull}});
}
// With contacts on, the dropped box lands on the bar and rests there: still
// by step 300, so steps 300 and 1000 agree. Bodies are placed by their
// rotation with contacts on, so the sums part from those without contacts at
// the first step.
TEST(StepChecksum, SceneThreeWithContacts) {
    for (std::int32_t threads : {1, 2, 3})
        Play(3, threads,
             {{20, 522, 0xa8bc7d9498a49481ull},
              {100, 522, 0x825f3049042561c7ull},
              {300, 522, 0x32f42ba5b3932631ull},
              {1000, 522, 0x32f42ba5b3932631ull}},
             true);
}
TEST(StepChecksum, SceneThree) {
    for (std::int32_t threads : {1, 2})
        Play(3, threads,
             {{20, 522, 0xf2ee96f821c132bdull},
              {100, 522, 0xe9b97c98765f0f69ull},
              {300, 522, 0x0a22815cbd814e57ull},
              {1000, 522, 0x8769d84d9aa426f0ull}});
}
