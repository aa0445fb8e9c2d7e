// The demo program: opens the window, builds the three scenes and runs the
// frame loop until Escape or the window's close box.
#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/frame_rate.h"
#include "app/graphics_setup.h"
#include "app/scenes.h"
#include "app/workers_runner.h"
#include "app/world_drawer.h"
#include "platform/bitmap_text.h"
#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/timer.h"

namespace {

// A start-up failure: one line on standard error, then a non-zero exit.
[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "particle-demo: %s\n", what.c_str());
    std::exit(EXIT_FAILURE);
}

// Every world loads its own copy of the sprite when it is made.
std::int32_t LoadSpriteOrFail() {
    std::string error;
    const std::int32_t texture = LoadSpriteTexture(error);
    if (texture == 0) Fail(error);
    return texture;
}

class TPolledInput : public TDemoInput {
public:
    std::int32_t TakeKeyHits(std::int32_t key) override { return ::TakeKeyHits(key); }
    std::int32_t TakeMouseHits(std::int32_t button) override { return ::TakeMouseHits(button); }
    std::int32_t MouseXPos() override { return ::MouseXPos(); }
    std::int32_t MouseYPos() override { return ::MouseYPos(); }
};

int Run() {
    std::string error;
    if (!InitGraphics(error)) Fail(error);
    SetParticleTextureLoader(LoadSpriteOrFail);
    TDemoScenes scenes = BuildScenes();
    // Drawing: through the GL, or on the CPU where the GL is a software rasterizer.
    TStepWorkersRunner drawRunner;
    auto drawer = TWorldDrawer::Create(TDrawChoice::Auto, &drawRunner, error);
    if (!drawer) Fail(error);
    std::fprintf(stderr, "particle-demo: drawing %s\n", drawer->Description().c_str());
    auto frameTimer = TTimer::Create(60.0f, nullptr);
    if (!frameTimer) Fail("cannot start the 60 Hz frame timer");
    TFrameRateCounter frameRate(SystemMillis());
    TPolledInput input;

    for (;;) {
        if (::TakeKeyHits(demo_keys::ESCAPE) != 0 || TakeTerminateRequest() != 0) break;
        glClear(GL_COLOR_BUFFER_BIT);

        StepCurrentScene(scenes, input);
        drawer->Draw(scenes.CurrentWorld());
        DrawBitmapText(ParticleCountText(scenes), 100, 0);

        SelectScene(scenes, input);
        DrawBitmapText("FPS: " + std::to_string(frameRate.GetFrameRate(SystemMillis)), 0, 0);
        Flip(0);
        frameTimer->Wait();
    }
    return EXIT_SUCCESS;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& error) {
        // The one runtime error the program raises: no texture size fits.
        std::fprintf(stderr, "%s\n", error.what());
        return -1;
    }
}
