// Test helper: the demo's window, its GL state and reading the frame back;
// and a window of its own for a test that drives it from the X server's side.
#pragma once

#include <gtest/gtest.h>

#include "platform/graphics.h"
#include "platform/input.h"

#include <GL/gl.h>
#include <SDL_syswm.h>
#include <X11/Xutil.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/window_pixels.h"

constexpr int FRAME_WIDTH = 800;
constexpr int FRAME_HEIGHT = 600;

// The back buffer as 8-bit RGB, top row first (GL reads it bottom row first).
struct TFrame {
    std::vector<std::uint8_t> rgb;

    std::array<int, 3> At(int x, int y) const {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * FRAME_WIDTH + x) * 3];
        return {p[0], p[1], p[2]};
    }
    bool IsBlack(int x, int y) const { return At(x, y) == std::array<int, 3>{0, 0, 0}; }
};

// Opens the 800 × 600 window once per test program and gives every test the
// state the demo sets up at start, with a cleared frame.
class GlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (CurrentGraphics() == nullptr) {
            if (OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 0, 60, 10) == nullptr || !InitExtensionLoader())
                FAIL() << "no GL window: " << GraphicsError();
        }
    }

    void SetUp() override {
        ASSERT_NE(CurrentGraphics(), nullptr) << GraphicsError();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, FRAME_WIDTH, FRAME_HEIGHT, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
        glColor3f(1, 1, 1);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    void TearDown() override {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        Flip(0);
    }

    // Read before Flip: afterwards the back buffer is undefined. Read the
    // way the demo reads its screenshots.
    static TFrame ReadFrame() {
        TFrame f;
        const auto pixels = ReadWindowPixels();
        EXPECT_TRUE(pixels && pixels->pitch == FRAME_WIDTH * 3);
        if (pixels) f.rgb.assign(pixels->pixels, pixels->pixels + std::size_t{FRAME_WIDTH} * FRAME_HEIGHT * 3);
        return f;
    }
};

// Pumps (through a query) until `done` holds. The test's timeout bounds it.
inline void PumpUntil(const std::function<bool()>& done) {
    for (PollSystem(); !done(); PollSystem()) SDL_Delay(1);
}

// Runs xdotool (installed with the build's dependencies); true if it succeeded.
inline bool Xdotool(const std::string& args) { return std::system(("xdotool " + args).c_str()) == 0; }

// A window opened for each test, with its X display and id.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        graphics = OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 0, 60, 10);
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
