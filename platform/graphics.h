// The window with its OpenGL context, and showing the finished frame.
//
// One graphics is open at a time; the program opens one and keeps it until it
// exits, when it is closed by an at-exit handler.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

// Graphics flags: each asks for the named buffer.
namespace GraphicsFlag {
inline constexpr std::int32_t BackBuffer = 2;  // double buffering
inline constexpr std::int32_t Alpha = 4;       // alpha channel in the colour buffer
inline constexpr std::int32_t Depth = 8;
inline constexpr std::int32_t Stencil = 16;
inline constexpr std::int32_t Accum = 32;
// Not a buffer: the window is made hidden, and ShowGraphics shows it. A
// program that may yet replace the window (after asking its GL something)
// then never shows one it throws away.
inline constexpr std::int32_t Hidden = 64;
// Always added to the flags a caller gives.
inline constexpr std::int32_t Default = BackBuffer;
}  // namespace GraphicsFlag

// The title of the window.
inline constexpr const char* DEFAULT_WINDOW_TITLE = "Particle Demo";

// A display mode: the size of the screen, its colour depth in bits and its
// refresh rate.
struct TGraphicsMode {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 0;
    std::int32_t hertz = 0;
};

class TGraphicsDriver;

// An open window that can be drawn into, made by a graphics driver.
class TGraphics {
public:
    virtual ~TGraphics() = default;
    TGraphics(const TGraphics&) = delete;
    TGraphics& operator=(const TGraphics&) = delete;

    // The driver that made it.
    virtual TGraphicsDriver* Driver() const = 0;
    void GetSettings(std::int32_t& width, std::int32_t& height, std::int32_t& depth, std::int32_t& hertz,
                     std::int32_t& flags) const;
    // Releases what the host made for it (the window, its context). The
    // object itself stays until it is deleted. Closing twice does nothing.
    virtual void Close() = 0;

    SDL_Window* _window = nullptr;
    std::int32_t _width = 0;
    std::int32_t _height = 0;
    std::int32_t _depth = 0;
    std::int32_t _hertz = 0;
    std::int32_t _flags = 0;

protected:
    TGraphics() = default;
};

// A window with an OpenGL context of its own.
class TGLGraphics : public TGraphics {
public:
    ~TGLGraphics() override;
    TGraphicsDriver* Driver() const override;
    void Close() override;

    SDL_GLContext _context = nullptr;
    std::int32_t _sync = -1;  // the swap-interval wish last applied; -1 none yet
};

// Makes graphics on the host and shows their frames.
class TGraphicsDriver {
public:
    virtual ~TGraphicsDriver() = default;

    // The host's full-screen display modes. Full-screen graphics are not
    // offered, so the list is always empty.
    virtual std::vector<TGraphicsMode> GraphicsModes();
    // Would make graphics in a window that someone else made. Not offered:
    // always null.
    virtual TGraphics* AttachGraphics(void* window, std::int32_t flags);
    // A new window of width x height client pixels (depth 0; any other depth
    // would ask for a full-screen mode, which is not offered) with the buffers
    // of `flags`, or null with GraphicsError() set. The caller owns it.
    virtual TGraphics* CreateGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                                      std::int32_t flags) = 0;
    // Makes `graphics` the one drawn into (its context current on the calling
    // thread); null makes none current.
    virtual void SetGraphics(TGraphics* graphics) = 0;
    // Shows the finished frame of the current graphics (see ::Flip).
    virtual void Flip(std::int32_t sync) = 0;

    // Added to the flags of every CreateGraphics by OpenGraphics.
    std::int32_t DefaultFlags = 0;
};

// The OpenGL driver: windows with a legacy (compatibility) context, drawn
// with the fixed-function pipeline.
class TGLGraphicsDriver : public TGraphicsDriver {
public:
    TGLGraphicsDriver() { DefaultFlags = GraphicsFlag::Default; }
    TGraphics* CreateGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                              std::int32_t flags) override;
    void SetGraphics(TGraphics* graphics) override;
    void Flip(std::int32_t sync) override;

private:
    TGLGraphics* _current = nullptr;
};

// The one OpenGL driver of the process.
TGLGraphicsDriver& GLGraphicsDriver();

// Opens a window through the OpenGL driver, which becomes the current
// driver: its client area is exactly width x height pixels, centred on the
// desktop, not resizable, with a legacy (compatibility) GL context made
// current on the calling thread and the viewport set to the whole client
// area. `depth` must be 0 (a window; full-screen modes are not supported),
// `hertz` is a rate hint, `flags` ask for buffers (GraphicsFlag; the default
// flags are always added). Switches polled input on with all key and mouse
// state cleared, and has the graphics closed at exit. A graphics already open
// is closed once the new one exists. (Flip(-1) would pace frames in software
// at `hertz`; the program never asks for it, and it is not offered.)
//
// Returns null, leaving everything as it was, when there is no display to
// open (an off-screen or dummy video driver does not count as one), or the
// window or the context cannot be made. GraphicsError() then says why.
TGraphics* OpenGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                        std::int32_t flags);
// The same through another driver, which becomes the current driver (a web
// page's 2D canvas, which has no GL context: InitExtensionLoader then fails).
TGraphics* OpenGraphicsWith(TGraphicsDriver& driver, std::int32_t width, std::int32_t height, std::int32_t depth,
                            std::int32_t hertz, std::int32_t flags);

// One line saying why the last OpenGraphics or InitExtensionLoader failed.
const char* GraphicsError();
// For drivers: what GraphicsError() says next.
void SetGraphicsError(std::string message);
// For drivers of desktop windows: the checks of OpenGraphics's arguments and
// the start of SDL's video part on a display that shows something; false,
// with GraphicsError() set, when either fails.
bool CanMakeWindow(std::int32_t width, std::int32_t height, std::int32_t depth);
// For drivers, after CanMakeWindow: a window of width x height client pixels
// centred on the desktop, titled DEFAULT_WINDOW_TITLE, not resizable, made
// with the SDL window flags `sdlFlags` (shown unless SDL_WINDOW_HIDDEN is
// among them); null, with GraphicsError() set, when SDL cannot make it.
SDL_Window* MakeCentredWindow(std::int32_t width, std::int32_t height, Uint32 sdlFlags);

// Initialises the GL extension loader, once, after a context exists. A loader
// that finds no GLX display (an EGL context) is reported on stderr as a
// warning and counts as success. Returns false, with GraphicsError() set, on
// any other failure.
bool InitExtensionLoader();

// The open graphics, or null.
TGraphics* CurrentGraphics();

// Shows the window of the open graphics if it was made hidden; nothing with
// no graphics open.
void ShowGraphics();

// Shows the finished frame, through the current driver. sync 0 swaps at once, without waiting for the
// display; any other value but -1 waits for the vertical blank. The swap
// interval is changed only when the wish differs from the one last applied,
// and a host without the swap-interval control keeps its own. sync -1 swaps
// without touching the interval. Nothing happens with no graphics open.
void Flip(std::int32_t sync);

// Releases the context and destroys the window; switches polled input off.
// Also runs at exit.
void CloseGraphics();
