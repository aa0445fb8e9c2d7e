// The window with its OpenGL context, and showing the finished frame.
//
// One graphics is open at a time; the program opens one and keeps it until it
// exits, when it is closed by an at-exit handler.
#pragma once

#include <SDL.h>

#include <cstdint>

// Graphics flags: each asks for the named buffer.
namespace GraphicsFlag {
inline constexpr std::int32_t BackBuffer = 2;  // double buffering
inline constexpr std::int32_t Alpha = 4;       // alpha channel in the colour buffer
inline constexpr std::int32_t Depth = 8;
inline constexpr std::int32_t Stencil = 16;
inline constexpr std::int32_t Accum = 32;
// Always added to the flags a caller gives.
inline constexpr std::int32_t Default = BackBuffer;
}  // namespace GraphicsFlag

// The title of the window.
inline constexpr const char* DEFAULT_WINDOW_TITLE = "Particle Demo";

// The open window and its GL context. Owned by this layer: OpenGraphics gives
// out a pointer that stays valid until CloseGraphics (or exit).
struct TGraphics {
    SDL_Window* _window = nullptr;
    SDL_GLContext _context = nullptr;
    std::int32_t _width = 0;
    std::int32_t _height = 0;
    std::int32_t _depth = 0;
    std::int32_t _hertz = 0;
    std::int32_t _flags = 0;
    std::int32_t _sync = -1;  // the swap-interval wish last applied; -1 none yet

    void GetSettings(std::int32_t& width, std::int32_t& height, std::int32_t& depth, std::int32_t& hertz,
                     std::int32_t& flags) const;
};

// Opens a window whose client area is exactly width x height pixels, centred
// on the desktop, not resizable, with a legacy (compatibility) GL context made
// current on the calling thread and the viewport set to the whole client
// area. `depth` must be 0 (a window; full-screen modes are not supported),
// `hertz` is a rate hint, `flags` ask for buffers (GraphicsFlag; the default
// flags are always added). Switches polled input on with all key and mouse
// state cleared. A graphics already open is closed once the new one exists.
//
// Returns null, leaving everything as it was, when there is no display to
// open (an off-screen or dummy video driver does not count as one), or the
// window or the context cannot be made. GraphicsError() then says why.
TGraphics* OpenGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                        std::int32_t flags);

// One line saying why the last OpenGraphics or InitExtensionLoader failed.
const char* GraphicsError();

// Initialises the GL extension loader, once, after a context exists. A loader
// that finds no GLX display (an EGL context) is reported on stderr as a
// warning and counts as success. Returns false, with GraphicsError() set, on
// any other failure.
bool InitExtensionLoader();

// The open graphics, or null.
TGraphics* CurrentGraphics();

// Shows the finished frame. sync 0 swaps at once, without waiting for the
// display; any other value but -1 waits for the vertical blank. The swap
// interval is changed only when the wish differs from the one last applied,
// and a host without the swap-interval control keeps its own. sync -1 swaps
// without touching the interval. Nothing happens with no graphics open.
void Flip(std::int32_t sync);

// Releases the context and destroys the window; switches polled input off.
// Also runs at exit.
void CloseGraphics();
