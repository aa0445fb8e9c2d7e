#include "app/controls.h"

#include <utility>

void StepFrame(TDemoScenes& scenes, TDemoInput& input, TRunControls& controls) {
    using namespace demo_keys;
    if (input.TakeKeyHits(RESTART) != 0) RestartCurrentScene(scenes);
    if (input.TakeKeyHits(PAUSE) != 0) controls.Paused = !controls.Paused;
    // Taken whether paused or not, so that a press made while the scene runs
    // does not step it later, when it is paused.
    const bool once = input.TakeKeyHits(STEP) != 0 && controls.Paused;
    StepCurrentScene(scenes, input, !controls.Paused || once);
}

void RestartCurrentScene(TDemoScenes& s) {
    // All three scenes are built again, in the start-up order that numbers
    // their particles, and only the one on show is kept: a scene's worlds
    // and materials cannot be built apart from the others without changing
    // that order.
    TDemoScenes fresh = BuildScenes(s.Numbering);
    fresh.CurrentScene = s.CurrentScene;
    TSPH& old = s.CurrentWorld();
    TSPH& built = fresh.CurrentWorld();
    built.SetTaskRunner(old.GetTaskRunner());
    built.SetRigidContacts(s.RigidContactsAtStart);
    // Swapped rather than moved, so that `fresh` takes the old scene away
    // with the worlds its emitters pour into.
    switch (s.CurrentScene) {
        case 1:
            std::swap(s.World1, fresh.World1);
            std::swap(s.Fluid1, fresh.Fluid1);
            std::swap(s.Solid1, fresh.Solid1);
            std::swap(s.Emitter1, fresh.Emitter1);
            break;
        case 2:
            std::swap(s.World2, fresh.World2);
            std::swap(s.Fluid2a, fresh.Fluid2a);
            std::swap(s.Fluid2b, fresh.Fluid2b);
            std::swap(s.Fluid2c, fresh.Fluid2c);
            std::swap(s.Emitter2a, fresh.Emitter2a);
            std::swap(s.Emitter2b, fresh.Emitter2b);
            std::swap(s.Emitter2c, fresh.Emitter2c);
            break;
        case 3:
            std::swap(s.World3, fresh.World3);
            std::swap(s.Rigid3, fresh.Rigid3);
            break;
        default:
            break;
    }
}

const std::vector<std::string>& HelpLines() {
    static const std::vector<std::string> lines = {
        "Keys",
        "  1 2 3   show scene 1, 2 or 3",
        "  Space   scene 1: its emitter on or off; scene 2: its three",
        "  P       pause or resume the scene on show",
        "  N       one step, while paused",
        "  R       restart the scene on show",
        "  C       contacts of rigid bodies on or off",
        "  H       hide this help",
        "  Esc     quit",
        "Mouse",
        "  Left    scene 1: a red elastic block; scene 3: a rigid box",
        "  Right   scene 1: a block of wall",
    };
    return lines;
}

std::string RunStatusText(const TRunControls& controls, bool replaying) {
    // A replay takes no keys: its pauses are the recording's, without the hint.
    if (replaying) return controls.Paused ? "Replay  Paused" : "Replay";
    return controls.Paused ? "Paused (N: one step, P: resume)" : "";
}
