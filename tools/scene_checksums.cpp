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
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "app/scenes.h"

namespace {

class TScriptedInput : public TDemoInput {
public:
    std::map<std::int32_t, std::int32_t> Keys, Buttons;
    std::int32_t X = 0, Y = 0;
    std::int32_t TakeKeyHits(std::int32_t key) override { return std::exchange(Keys[key], 0); }
    std::int32_t TakeMouseHits(std::int32_t button) override { return std::exchange(Buttons[button], 0); }
    std::int32_t MouseXPos() override { return X; }
    std::int32_t MouseYPos() override { return Y; }
};

// FNV-1a over the bit patterns of position, old position and velocity of
// every particle of the world, in order of creation.
std::uint64_t Checksum(const TSPH& world) {
    std::vector<const TParticle*> all;
    auto take = [&](const TSPH::ParticleArray& a, std::int32_t n) { all.insert(all.end(), a.begin(), a.begin() + n); };
    take(world.FluidParticles, world.FluidCount);
    take(world.SolidParticles, world.SolidCount);
    take(world.RigidParticles, world.RigidCount);
    take(world.BoundaryParticles, world.BoundaryCount);
    std::sort(all.begin(), all.end(), [](const TParticle* a, const TParticle* b) { return a->ID < b->ID; });
    std::uint64_t h = 14695981039346656037ull;
    for (const TParticle* p : all) {
        for (float v : {p->PositionX, p->PositionY, p->OldX, p->OldY, p->VelocityX, p->VelocityY}) {
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            for (int k = 0; k < 4; ++k) h = (h ^ ((bits >> (8 * k)) & 0xffu)) * 1099511628211ull;
        }
    }
    return h;
}

void Play(int scene) {
    TDemoScenes s = BuildScenes();
    s.CurrentScene = scene;
    TScriptedInput input;
    for (int step = 1; step <= 1000; ++step) {
        // Scene 1 pours from the start; a block at step 3 and a wall at step 4.
        if (scene == 1 && step == 3) input.Buttons[demo_keys::LEFT_BUTTON] = 1, input.X = 450, input.Y = 120;
        if (scene == 1 && step == 4) input.Buttons[demo_keys::RIGHT_BUTTON] = 1, input.X = 650, input.Y = 330;
        if (scene == 2 && step == 2) input.Keys[demo_keys::SPACE] = 1;  // all three emitters on
        if (scene == 3 && step == 2) input.Buttons[demo_keys::LEFT_BUTTON] = 1, input.X = 300, input.Y = 200;
        StepCurrentScene(s, input);
        if (step == 20 || step == 300 || step == 1000)
            std::printf("scene %d step %4d: %5d particles, checksum 0x%016" PRIx64 "\n", scene, step,
                        static_cast<int>(s.CurrentWorld().GetParticleCount()), Checksum(s.CurrentWorld()));
    }
}

}  // namespace

int main() {
    for (int scene = 1; scene <= 3; ++scene) Play(scene);
    return 0;
}
