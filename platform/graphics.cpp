#include <GL/glew.h>

#include "platform/graphics.h"

#include "platform/events.h"
#include "platform/input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TGraphics* gCurrent = nullptr;
std::string gError;
bool gCloseAtExit = false;
bool gLoaderReady = false;

bool Fail(std::string message) {
    gError = std::move(message);
    return false;
}

// SDL drivers that draw into memory and show nothing.
bool IsOffscreenDriver(const char* name) {
    return name == nullptr || std::strcmp(name, "offscreen") == 0 || std::strncmp(name, "dummy", 5) == 0;
}

bool HaveDisplayVariable() {
#ifdef __EMSCRIPTEN__
    return true;  // in a web page the canvas is the display
#else
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display != nullptr && *display != 0) || (wayland != nullptr && *wayland != 0);
#endif
}

std::string NoDisplay(const char* detail) {
    std::string message = "no display could be opened (is DISPLAY set?)";
    if (detail != nullptr && *detail != 0) message += std::string(": ") + detail;
    return message;
}

bool StartVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return true;
    // With no display variable at all there is nothing to try: asking SDL would
    // only add its drivers' own complaints to the one line the user needs.
    if (!HaveDisplayVariable()) return Fail(NoDisplay(nullptr));
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return Fail(NoDisplay(SDL_GetError()));
    const char* driver = SDL_GetCurrentVideoDriver();
    if (IsOffscreenDriver(driver)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return Fail(NoDisplay(
            (std::string("only the off-screen video driver '") + (driver ? driver : "?") + "' is available").c_str()));
    }
    return true;
}

void RequestPixelFormat(std::int32_t flags) {
    SDL_GL_ResetAttributes();
    // A legacy context: drawing uses the fixed-function pipeline.
#ifndef __EMSCRIPTEN__  // (in a browser: WebGL, with the fixed functions emulated)
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
#endif
    // RGBA with no particular depth: the closest the host has (normally the
    // desktop's depth). A requested buffer asks for at least one bit.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, (flags & GraphicsFlag::Alpha) != 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & GraphicsFlag::BackBuffer) != 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, (flags & GraphicsFlag::Depth) != 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, (flags & GraphicsFlag::Stencil) != 0 ? 1 : 0);
    const int accum = (flags & GraphicsFlag::Accum) != 0 ? 1 : 0;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum != 0 && (flags & GraphicsFlag::Alpha) != 0 ? 1 : 0);
}

void Destroy(TGraphics* graphics) {
    if (PlatformStarted()) {  // after SDL has shut down its objects are gone already
        if (graphics->_context != nullptr) SDL_GL_DeleteContext(graphics->_context);
        if (graphics->_window != nullptr) SDL_DestroyWindow(graphics->_window);
    }
    delete graphics;
}

}  // namespace

void TGraphics::GetSettings(std::int32_t& width, std::int32_t& height, std::int32_t& depth, std::int32_t& hertz,
                            std::int32_t& flags) const {
    width = _width;
    height = _height;
    depth = _depth;
    hertz = _hertz;
    flags = _flags;
}

TGraphics* OpenGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                        std::int32_t flags) {
    flags |= GraphicsFlag::Default;
    if (depth != 0) {
        Fail("full-screen display modes are not supported (depth must be 0)");
        return nullptr;
    }
    if (width <= 0 || height <= 0) {
        Fail("the window size must be positive");
        return nullptr;
    }
    if (!StartPlatform()) {
        Fail(PlatformError());
        return nullptr;
    }
    if (!StartVideo()) return nullptr;

    // The client area's top-left corner goes to the middle of the desktop less
    // half the size; the frame, if any, is added outside.
    SDL_Rect desktop{0, 0, 0, 0};
    int x = SDL_WINDOWPOS_CENTERED;
    int y = SDL_WINDOWPOS_CENTERED;
    if (SDL_GetDisplayBounds(0, &desktop) == 0) {
        x = desktop.x + desktop.w / 2 - width / 2;
        y = desktop.y + desktop.h / 2 - height / 2;
    }

    RequestPixelFormat(flags);
    SDL_Window* window =
        SDL_CreateWindow(DEFAULT_WINDOW_TITLE, x, y, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        Fail(std::string("the window could not be made: ") + SDL_GetError());
        return nullptr;
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        Fail(std::string("no OpenGL context could be made for the window: ") + SDL_GetError());
        SDL_DestroyWindow(window);
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(window, context) != 0) {
        Fail(std::string("the OpenGL context could not be made current: ") + SDL_GetError());
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        return nullptr;
    }
    glViewport(0, 0, width, height);

    auto* graphics = new TGraphics();
    graphics->_window = window;
    graphics->_context = context;
    graphics->_width = width;
    graphics->_height = height;
    graphics->_depth = depth;
    graphics->_hertz = hertz;
    graphics->_flags = flags;

    if (gCurrent != nullptr) Destroy(gCurrent);
    gCurrent = graphics;
    SetEventSource(graphics, window);
    EnablePolledInput(nullptr);
    if (!gCloseAtExit) {
        // Registered after the platform's own handler, so it runs before SDL
        // shuts down.
        std::atexit(CloseGraphics);
        gCloseAtExit = true;
    }
    return graphics;
}

const char* GraphicsError() { return gError.c_str(); }

bool InitExtensionLoader() {
    if (gLoaderReady) return true;
    if (gCurrent == nullptr || SDL_GL_GetCurrentContext() == nullptr)
        return Fail("the extension loader needs an OpenGL context (open the graphics first)");
    const GLenum result = glewInit();
#ifndef __EMSCRIPTEN__  // (the browser's loader has no GLX part)
    if (result == GLEW_ERROR_NO_GLX_DISPLAY) {
        // An EGL context: the loader's GLX part has nothing to load, GL itself works.
        std::fprintf(stderr, "warning: the extension loader found no GLX display; carrying on without it\n");
    } else
#endif
    if (result != GLEW_OK) {
        return Fail(std::string("the extension loader could not be initialised: ") +
                    reinterpret_cast<const char*>(glewGetErrorString(result)));
    }
    gLoaderReady = true;
    return true;
}

TGraphics* CurrentGraphics() { return gCurrent; }

void Flip(std::int32_t sync) {
    if (gCurrent == nullptr) return;
    if (sync != -1) {
        const std::int32_t wish = sync != 0 ? 1 : 0;
        if (wish != gCurrent->_sync) {
            // A host without the swap-interval control (Xvfb) refuses: it keeps
            // its own interval, and the wish is not asked again.
            SDL_GL_SetSwapInterval(wish);
            gCurrent->_sync = wish;
        }
    }
    SDL_GL_SwapWindow(gCurrent->_window);
}

void CloseGraphics() {
    if (gCurrent == nullptr) return;
    Destroy(gCurrent);
    gCurrent = nullptr;
    SetEventSource(nullptr, nullptr);
    DisablePolledInput();
    if (PlatformStarted()) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
