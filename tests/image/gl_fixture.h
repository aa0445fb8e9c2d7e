// Test helper: the demo's window and GL state, and reading the frame back.
#pragma once

#include <gtest/gtest.h>

#include "platform/graphics.h"

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/png.h"
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

    bool SavePng(const std::string& path) const {
        auto view = TPixmap::Wrap(const_cast<std::uint8_t*>(rgb.data()), FRAME_WIDTH, FRAME_HEIGHT, FRAME_WIDTH * 3,
                                  PIXEL_FORMAT_RGB8);
        return view && SavePngPixmap(*view, path);
    }
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
