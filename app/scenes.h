// The demo's three scenes: how they are built and what a frame does to the
// scene on show. No graphics here, so tests and benchmarks build exactly the
// demo's worlds without a window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sph/emitter.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"

// Key codes and mouse buttons the scenes read.
namespace demo_keys {
inline constexpr std::int32_t ESCAPE = 27;
inline constexpr std::int32_t SPACE = 32;
inline constexpr std::int32_t DIGIT_1 = 49;
inline constexpr std::int32_t DIGIT_2 = 50;
inline constexpr std::int32_t DIGIT_3 = 51;
inline constexpr std::int32_t KEY_C = 67;  // letters arrive as capitals
inline constexpr std::int32_t LEFT_BUTTON = 1;
inline constexpr std::int32_t RIGHT_BUTTON = 2;
}  // namespace demo_keys

// What a frame may ask of the user's input. The program answers from the
// polled input state; tests answer from a script.
class TDemoInput {
public:
    virtual ~TDemoInput() = default;
    virtual std::int32_t TakeKeyHits(std::int32_t key) = 0;
    virtual std::int32_t TakeMouseHits(std::int32_t button) = 0;
    virtual std::int32_t MouseXPos() = 0;
    virtual std::int32_t MouseYPos() = 0;
};

struct TDemoScenes {
    std::unique_ptr<TSPH> World1, World2, World3;
    std::shared_ptr<TFluid> Fluid1;
    std::shared_ptr<TSolid> Solid1;
    std::unique_ptr<TFluidEmitter> Emitter1;
    std::shared_ptr<TFluid> Fluid2a, Fluid2b, Fluid2c;
    std::unique_ptr<TFluidEmitter> Emitter2a, Emitter2b, Emitter2c;
    std::shared_ptr<TRigid> Rigid3;
    std::int32_t CurrentScene = 1;
    std::shared_ptr<TParticleNumbering> Numbering;  // the three worlds'

    TSPH& CurrentWorld() const;
    // Lends the three worlds the caller's threads (see TSPH::SetTaskRunner).
    void SetTaskRunner(const std::shared_ptr<TTaskRunner>& runner, const TSplitSettings& settings = TSplitSettings());
    // Contacts of rigid bodies (TSPH::SetRigidContacts) in all three worlds,
    // as the program starts; a restarted scene starts so again.
    void SetRigidContacts(bool on);
    bool RigidContactsAtStart = false;
};

// Creates the three worlds and everything in them, in the one order that
// gives every particle its number: from 0, or from where `numbering` stands
// (the same numbers shifted, so the same order). The worlds have no texture
// (ParticleTex 0): a program that draws them through GL gives each its own.
TDemoScenes BuildScenes(std::shared_ptr<TParticleNumbering> numbering = nullptr);

// The current scene's part of a frame: the key C (contacts between rigid
// bodies and everything else, on or off in this scene's world), the mouse
// and space-bar actions, its emitters, and one step of its world. Drawing
// follows in the program. Without `advance` only the actions are taken:
// the emitters do not pour and the world does not step (a paused frame).
void StepCurrentScene(TDemoScenes& scenes, TDemoInput& input, bool advance = true);

// Reads the keys 1, 2 and 3; the highest hit wins, from the next frame on.
void SelectScene(TDemoScenes& scenes, TDemoInput& input);

// "Particles: " and the count of the current scene, then ", contacts on"
// where its rigid bodies meet other things.
std::string ParticleCountText(const TDemoScenes& scenes);
