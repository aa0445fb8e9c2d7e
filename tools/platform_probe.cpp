// Manual test of the platform layer: opens the window, runs a 60 Hz frame
// loop like the demo's (Flip(0), then wait for the timer), and prints the
// tick rate once a second and every key press and mouse click it sees.
//
//   platform_probe [seconds]
//
// Ends on Escape, on the window's close box, or after `seconds` (if given).
// Prints a summary line with the measured tick rate at the end.
#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/timer.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;

    if (OpenGraphics(800, 600, 0, 60, 10) == nullptr) {
        std::fprintf(stderr, "platform_probe: %s\n", GraphicsError());
        return 1;
    }
    if (!InitExtensionLoader()) {
        std::fprintf(stderr, "platform_probe: %s\n", GraphicsError());
        return 1;
    }
    std::printf("window open: %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));

    auto timer = TTimer::Create(60.0f, nullptr);
    if (!timer) {
        std::fprintf(stderr, "platform_probe: no timer could be made\n");
        return 1;
    }

    const std::int32_t start = SystemMillis();
    std::int32_t reportStart = start;
    std::int32_t reportTicks = 0;
    std::int32_t frames = 0;
    std::int32_t lastX = MouseXPos();
    std::int32_t lastY = MouseYPos();
    const char* reason = "time up";

    for (;;) {
        if (TakeKeyHits(27) != 0) {
            std::printf("key 27 hits 1\n");
            reason = "Escape";
            break;
        }
        if (TakeTerminateRequest() != 0) {
            std::printf("close request\n");
            reason = "close request";
            break;
        }
        for (std::int32_t key = 1; key < 256; ++key) {
            if (const std::int32_t hits = TakeKeyHits(key); hits != 0) std::printf("key %d hits %d\n", key, hits);
        }
        const std::int32_t x = MouseXPos();
        const std::int32_t y = MouseYPos();
        if (x != lastX || y != lastY) {
            std::printf("mouse at %d %d\n", x, y);
            lastX = x;
            lastY = y;
        }
        for (std::int32_t button = 1; button <= 3; ++button) {
            if (const std::int32_t hits = TakeMouseHits(button); hits != 0)
                std::printf("button %d hits %d at %d %d\n", button, hits, x, y);
        }

        // Something to look at: the background pulses with the frame count.
        const float shade = static_cast<float>(frames % 64) / 128.0f;
        glClearColor(shade, shade, 0.25f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        Flip(0);
        ++frames;
        timer->Wait();

        const std::int32_t now = SystemMillis();
        if (now - reportStart >= 1000) {
            const std::int32_t ticks = timer->Ticks() - reportTicks;
            std::printf("ticks %d in %d ms\n", ticks, now - reportStart);
            reportStart = now;
            reportTicks = timer->Ticks();
        }
        if (seconds > 0 && now - start >= seconds * 1000) break;
    }

    const std::int32_t elapsed = SystemMillis() - start;
    std::printf("end (%s): %d ticks, %d frames in %d ms = %.2f ticks/s, %.2f frames/s\n", reason, timer->Ticks(),
                frames, elapsed, timer->Ticks() * 1000.0 / elapsed, frames * 1000.0 / elapsed);
    return 0;
}
