#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/window_surface.h"

#include "tests/image/gl_fixture.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The window's place and size, its context and a legacy drawing read back
// from the X server after Flip(0), which turns the swap interval off.
TEST_F(WindowTest, ExactCentredWindowShowsFixedFunctionDrawingOnFlip) {
    XWindowAttributes attributes;
    ASSERT_NE(XGetWindowAttributes(display, xwindow, &attributes), 0);
    EXPECT_EQ(attributes.width, FRAME_WIDTH);
    EXPECT_EQ(attributes.height, FRAME_HEIGHT);
    int x = 0;
    int y = 0;
    ::Window child = 0;
    XTranslateCoordinates(display, xwindow, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    EXPECT_EQ(x, DisplayWidth(display, DefaultScreen(display)) / 2 - FRAME_WIDTH / 2);
    EXPECT_EQ(y, DisplayHeight(display, DefaultScreen(display)) / 2 - FRAME_HEIGHT / 2);
    EXPECT_EQ(SDL_GetWindowFlags(graphics->_window) & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_STREQ(SDL_GetWindowTitle(graphics->_window), DEFAULT_WINDOW_TITLE);
    int depthBits = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depthBits);
    EXPECT_GT(depthBits, 0);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, FRAME_WIDTH, FRAME_HEIGHT}));

    ASSERT_TRUE(InitExtensionLoader()) << GraphicsError();
    EXPECT_TRUE(InitExtensionLoader());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, FRAME_WIDTH, FRAME_HEIGHT, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0, 1, 0);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(100, 0);
    glVertex2f(100, 100);
    glVertex2f(0, 100);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    Flip(0);
    EXPECT_EQ(static_cast<TGLGraphics*>(graphics)->_sync, 0);
    EXPECT_NE(SDL_GL_GetSwapInterval(), 1);                               // off, or the host's own (Xvfb has none)
    EXPECT_EQ(ShownPixel(50, 50), 0x00FF00u);                             // the quad, top left
    EXPECT_EQ(ShownPixel(400, 300), 0xFF0000u);                           // cleared
    EXPECT_EQ(ShownPixel(FRAME_WIDTH - 1, FRAME_HEIGHT - 1), 0xFF0000u);  // the viewport reaches the corner
}

TEST_F(WindowTest, TheDefaultFlagsAreAdded) {
    std::int32_t w = 0, h = 0, depth = -1, hertz = 0, flags = 0;
    graphics->GetSettings(w, h, depth, hertz, flags);
    EXPECT_EQ(flags, 10);
    CloseGraphics();
    graphics = OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 0, 60, 0);
    ASSERT_NE(graphics, nullptr) << GraphicsError();
    graphics->GetSettings(w, h, depth, hertz, flags);
    EXPECT_EQ(flags, GraphicsFlag::BackBuffer);
    int doubleBuffered = 0;
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_EQ(doubleBuffered, 1);
}

TEST_F(WindowTest, CloseBoxOnlyAsks) {
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = xwindow;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, xwindow, False, NoEventMask, &event);
    XFlush(display);

    std::int32_t requests = 0;
    PumpUntil([&] { return (requests += TakeTerminateRequest()) > 0; });
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(TakeTerminateRequest(), 0);
    // The window is still there and shown.
    EXPECT_EQ(CurrentGraphics(), graphics);
    EXPECT_NE(SDL_GetWindowFlags(graphics->_window) & SDL_WINDOW_SHOWN, 0u);
    XWindowAttributes attributes;
    ASSERT_NE(XGetWindowAttributes(display, xwindow, &attributes), 0);
    EXPECT_EQ(attributes.map_state, IsViewable);
}

// No display, or an offscreen driver, is reported in one line; once a display
// is there again, it opens.
TEST(OpenGraphicsFailure, NoDisplayIsReportedInOneLine) {
    CloseGraphics();
    const std::string display = std::getenv("DISPLAY");
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const std::string savedDriver = driver != nullptr ? driver : "";
    unsetenv("WAYLAND_DISPLAY");  // the tests run on X alone
    for (const auto& [name, value] :
         {std::pair{"DISPLAY", "none"}, {"SDL_VIDEODRIVER", "offscreen"}, {"SDL_VIDEODRIVER", "dummy"}}) {
        if (std::strcmp(value, "none") == 0)
            unsetenv(name);
        else
            setenv(name, value, 1);
        EXPECT_EQ(OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 0, 60, 10), nullptr) << value;
        const std::string error = GraphicsError();
        EXPECT_NE(error.find("no display could be opened"), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
        setenv("DISPLAY", display.c_str(), 1);
        if (savedDriver.empty())
            unsetenv("SDL_VIDEODRIVER");
        else
            setenv("SDL_VIDEODRIVER", savedDriver.c_str(), 1);
    }
    EXPECT_NE(OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 0, 60, 10), nullptr) << GraphicsError();
    CloseGraphics();
}

TEST(OpenGraphicsFailure, AFailedOpenChangesNothing) {
    TGraphics* graphics = OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 0, 60, 10);
    ASSERT_NE(graphics, nullptr) << GraphicsError();
    EXPECT_EQ(OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 32, 60, 10), nullptr);  // full screen is not offered
    EXPECT_NE(std::string(GraphicsError()), "");
    EXPECT_EQ(CurrentGraphics(), graphics);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), static_cast<TGLGraphics*>(graphics)->_context);
    CloseGraphics();
    EXPECT_EQ(CurrentGraphics(), nullptr);
    Flip(0);  // harmless with nothing open
}

// An image put into a window without GL comes back from the X server pixel
// for pixel, frame after frame. The window takes the place of a hidden GL
// window, which goes with its context.
TEST(SurfaceWindow, ShowsThePutImageExactlyInPlaceOfAHiddenGLWindow) {
    ASSERT_NE(OpenGraphics(FRAME_WIDTH, FRAME_HEIGHT, 0, 60, GraphicsFlag::Hidden), nullptr) << GraphicsError();
    EXPECT_EQ(SDL_GetWindowFlags(CurrentGraphics()->_window) & SDL_WINDOW_SHOWN, 0u);
    TGraphics* graphics = OpenGraphicsWith(SurfaceGraphicsDriver(), FRAME_WIDTH, FRAME_HEIGHT, 0, 60, 0);
    ASSERT_NE(graphics, nullptr) << GraphicsError();
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    EXPECT_EQ(SDL_GetWindowFlags(graphics->_window) & SDL_WINDOW_OPENGL, 0u);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(graphics->_window, &info)) << SDL_GetError();

    const int pitch = FRAME_WIDTH * 4 + 12;  // rows apart by more than their pixels
    std::vector<std::uint8_t> image(static_cast<std::size_t>(pitch) * FRAME_HEIGHT);
    std::uint32_t seed = 7;
    for (auto& byte : image) byte = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    for (int frame = 0; frame < 2; ++frame) {
        image[static_cast<std::size_t>(frame) * 4] ^= 0xFF;
        ASSERT_TRUE(PutSurfaceImage(image.data(), FRAME_WIDTH, FRAME_HEIGHT, pitch));
        Flip(0);
        XImage* shown =
            XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, FRAME_WIDTH, FRAME_HEIGHT, AllPlanes, ZPixmap);
        ASSERT_NE(shown, nullptr);
        auto channel = [](unsigned long pixel, unsigned long mask) {
            for (; mask != 0 && (mask & 1) == 0; mask >>= 1) pixel >>= 1;
            return static_cast<int>(pixel & mask);
        };
        int wrong = 0;
        for (int y = 0; y < FRAME_HEIGHT; ++y)
            for (int x = 0; x < FRAME_WIDTH; ++x) {
                const unsigned long pixel = XGetPixel(shown, x, y);
                const std::uint8_t* rgba = &image[static_cast<std::size_t>(y) * pitch + x * 4];
                wrong += channel(pixel, shown->red_mask) != rgba[0] || channel(pixel, shown->green_mask) != rgba[1] ||
                         channel(pixel, shown->blue_mask) != rgba[2];
            }
        XDestroyImage(shown);
        EXPECT_EQ(wrong, 0) << "frame " << frame;
    }
    CloseGraphics();
    EXPECT_FALSE(PutSurfaceImage(image.data(), FRAME_WIDTH, FRAME_HEIGHT, pitch));
}

}  // namespace
