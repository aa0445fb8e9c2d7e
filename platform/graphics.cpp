#include <GL/glew.h>

#include "platform/graphics.h"

#include "platform/events.h"
#include "platform/input.h"
#if !defined(__EMSCRIPTEN__) && !defined(_WIN32)
#include "platform/x_display.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TGraphicsDriver* gDriver = nullptr;  // the current driver, once a graphics was opened
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

std::string NoDisplay(const char* detail) {
    std::string message = "no display could be opened (is DISPLAY set?)";
    if (detail != nullptr && *detail != 0) message += std::string(": ") + detail;
    return message;
}

// True when SDL's video part runs on a driver that shows something.
bool TryStartVideo() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!IsOffscreenDriver(driver)) return true;
    SDL_SetError("only the off-screen video driver '%s' is available", driver ? driver : "?");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
}

#if defined(__EMSCRIPTEN__) || defined(_WIN32)

// In a web page the canvas is the display, and Windows always has its
// desktop: there is nothing to look for.
bool StartVideo() { return SDL_WasInit(SDL_INIT_VIDEO) != 0 || TryStartVideo() || Fail(NoDisplay(SDL_GetError())); }

#else

const char* EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != 0 ? value : nullptr;
}

// An X server that resets whenever its last client leaves (Xvfb does unless
// told -noreset) refuses connections for a moment meanwhile: a window closed
// and a new one opened at once, or a program started just as another ended,
// sees no display. So the video part is started a few times over about half a
// second before the display counts as unusable.
constexpr int kVideoAttempts = 10;
constexpr Uint32 kVideoRetryMillis = 50;

bool StartVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return true;
    const char* xDisplay = EnvironmentValue("DISPLAY");
    // With no display variable at all there is nothing to try: asking SDL would
    // only add its drivers' own complaints to the one line the user needs.
    if (xDisplay == nullptr && EnvironmentValue("WAYLAND_DISPLAY") == nullptr) return Fail(NoDisplay(nullptr));
    // With only an X display named, only X is tried (SDL_VIDEODRIVER still
    // decides if set), so that a failure is X's and not another driver's.
    const bool onlyX = xDisplay != nullptr && EnvironmentValue("WAYLAND_DISPLAY") == nullptr;
    if (onlyX) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");

    for (int attempt = 1; !TryStartVideo(); ++attempt) {
        if (attempt == kVideoAttempts) {
            const std::string problem = onlyX ? XConnectionProblem(xDisplay) : std::string();
            if (problem.empty()) return Fail(NoDisplay(SDL_GetError()));
            return Fail(std::string("the X display \"") + xDisplay + "\" could not be opened: " + problem);
        }
        SDL_Delay(kVideoRetryMillis);
    }
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) EndProgramWhenXConnectionIsLost();
    return true;
}

#endif

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

}  // namespace

void TGraphics::GetSettings(std::int32_t& width, std::int32_t& height, std::int32_t& depth, std::int32_t& hertz,
                            std::int32_t& flags) const {
    width = _width;
    height = _height;
    depth = _depth;
    hertz = _hertz;
    flags = _flags;
}

TGLGraphics::~TGLGraphics() { Close(); }

TGraphicsDriver* TGLGraphics::Driver() const { return &GLGraphicsDriver(); }

void TGLGraphics::Close() {
    if (PlatformStarted()) {  // after SDL has shut down its objects are gone already
        if (_context != nullptr) SDL_GL_DeleteContext(_context);
        if (_window != nullptr) SDL_DestroyWindow(_window);
    }
    _context = nullptr;
    _window = nullptr;
}

std::vector<TGraphicsMode> TGraphicsDriver::GraphicsModes() { return {}; }

TGraphics* TGraphicsDriver::AttachGraphics(void*, std::int32_t) { return nullptr; }

bool CanMakeWindow(std::int32_t width, std::int32_t height, std::int32_t depth) {
    if (depth != 0) return Fail("full-screen display modes are not supported (depth must be 0)");
    if (width <= 0 || height <= 0) return Fail("the window size must be positive");
    if (!PlatformStarted()) return Fail(PlatformError());
    return StartVideo();
}

SDL_Window* MakeCentredWindow(std::int32_t width, std::int32_t height, Uint32 sdlFlags) {
    // The client area's top-left corner goes to the middle of the desktop less
    // half the size; the frame, if any, is added outside.
    SDL_Rect desktop{0, 0, 0, 0};
    int x = SDL_WINDOWPOS_CENTERED;
    int y = SDL_WINDOWPOS_CENTERED;
    if (SDL_GetDisplayBounds(0, &desktop) == 0) {
        x = desktop.x + desktop.w / 2 - width / 2;
        y = desktop.y + desktop.h / 2 - height / 2;
    }
    if ((sdlFlags & SDL_WINDOW_HIDDEN) == 0) sdlFlags |= SDL_WINDOW_SHOWN;
    SDL_Window* window = SDL_CreateWindow(DEFAULT_WINDOW_TITLE, x, y, width, height, sdlFlags);
    if (window == nullptr) Fail(std::string("the window could not be made: ") + SDL_GetError());
    return window;
}

TGraphics* TGLGraphicsDriver::CreateGraphics(std::int32_t width, std::int32_t height, std::int32_t depth,
                                             std::int32_t hertz, std::int32_t flags) {
    if (!CanMakeWindow(width, height, depth)) return nullptr;
    RequestPixelFormat(flags);
    const Uint32 hidden = (flags & GraphicsFlag::Hidden) != 0 ? SDL_WINDOW_HIDDEN : 0;
    SDL_Window* window = MakeCentredWindow(width, height, SDL_WINDOW_OPENGL | hidden);
    if (window == nullptr) return nullptr;
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

    auto* graphics = new TGLGraphics();
    graphics->_window = window;
    graphics->_context = context;
    graphics->_width = width;
    graphics->_height = height;
    graphics->_depth = depth;
    graphics->_hertz = hertz;
    graphics->_flags = flags;
    return graphics;
}

void TGLGraphicsDriver::SetGraphics(TGraphics* graphics) {
    // This driver is only given graphics it made.
    _current = static_cast<TGLGraphics*>(graphics);
    if (_current != nullptr)
        SDL_GL_MakeCurrent(_current->_window, _current->_context);
    else if (PlatformStarted() && SDL_GL_GetCurrentContext() != nullptr)
        SDL_GL_MakeCurrent(nullptr, nullptr);
}

void TGLGraphicsDriver::Flip(std::int32_t sync) {
    if (_current == nullptr) return;
    if (sync != -1) {
        const std::int32_t wish = sync != 0 ? 1 : 0;
        if (wish != _current->_sync) {
            // A host without the swap-interval control (Xvfb) refuses: it keeps
            // its own interval, and the wish is not asked again.
            SDL_GL_SetSwapInterval(wish);
            _current->_sync = wish;
        }
    }
    SDL_GL_SwapWindow(_current->_window);
}

TGLGraphicsDriver& GLGraphicsDriver() {
    static TGLGraphicsDriver driver;
    return driver;
}

TGraphics* OpenGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                        std::int32_t flags) {
    return OpenGraphicsWith(GLGraphicsDriver(), width, height, depth, hertz, flags);
}

TGraphics* OpenGraphicsWith(TGraphicsDriver& driver, std::int32_t width, std::int32_t height, std::int32_t depth,
                            std::int32_t hertz, std::int32_t flags) {
    gDriver = &driver;
    TGraphics* graphics = driver.CreateGraphics(width, height, depth, hertz, flags | driver.DefaultFlags);
    if (graphics == nullptr) return nullptr;
    // The driver of the one open before, if another, lets go of it first (a
    // GL driver makes no context current any more).
    if (gCurrent != nullptr && gCurrent->Driver() != &driver) gCurrent->Driver()->SetGraphics(nullptr);
    driver.SetGraphics(graphics);
    delete gCurrent;  // the one open before, if any
    gCurrent = graphics;
    SetEventSource(graphics, graphics->_window);
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

void SetGraphicsError(std::string message) { gError = std::move(message); }

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

void ShowGraphics() {
    if (gCurrent != nullptr && gCurrent->_window != nullptr) SDL_ShowWindow(gCurrent->_window);
}

void Flip(std::int32_t sync) {
    if (gDriver != nullptr) gDriver->Flip(sync);
}

void CloseGraphics() {
    if (gCurrent == nullptr) return;
    gCurrent->Driver()->SetGraphics(nullptr);
    delete gCurrent;
    gCurrent = nullptr;
    SetEventSource(nullptr, nullptr);
    DisablePolledInput();
    if (PlatformStarted()) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
