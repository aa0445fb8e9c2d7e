// A window for the tests that need one, and helpers to drive it from the X
// server's side.
#pragma once

#include "platform/graphics.h"
#include "platform/input.h"

#include <gtest/gtest.h>

#include <SDL_syswm.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace platform_test {

inline constexpr std::int32_t kWidth = 800;
inline constexpr std::int32_t kHeight = 600;

// Pumps (through a query) until `done` holds. The test's timeout bounds it.
inline void PumpUntil(const std::function<bool()>& done) {
    for (PollSystem(); !done(); PollSystem()) SDL_Delay(1);
}

// Runs xdotool (installed with the build's dependencies); true if it succeeded.
inline bool Xdotool(const std::string& args) { return std::system(("xdotool " + args).c_str()) == 0; }

// Sets an environment variable for the scope of one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : _name(name) {
        if (const char* old = std::getenv(name)) _old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (_old)
            setenv(_name.c_str(), _old->c_str(), 1);
        else
            unsetenv(_name.c_str());
    }

private:
    std::string _name;
    std::optional<std::string> _old;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        graphics = OpenGraphics(kWidth, kHeight, 0, 60, 10);
        ASSERT_NE(graphics, nullptr) << GraphicsError();
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        ASSERT_TRUE(SDL_GetWindowWMInfo(graphics->_window, &info)) << SDL_GetError();
        ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
        display = info.info.x11.display;
        xwindow = info.info.x11.window;
    }
    void TearDown() override { CloseGraphics(); }

    // The colour the X server shows at a client pixel.
    std::uint32_t ShownPixel(int x, int y) {
        XSync(display, False);
        XImage* image = XGetImage(display, xwindow, x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return 0xDEADBEEF;
        const auto pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        return pixel;
    }

    // Gives the window the keyboard and waits until the host agrees.
    void Focus() {
        SDL_SetWindowInputFocus(graphics->_window);
        PumpUntil([&] { return SDL_GetKeyboardFocus() == graphics->_window; });
    }

    TGraphics* graphics = nullptr;
    Display* display = nullptr;
    ::Window xwindow = 0;
};

}  // namespace platform_test
