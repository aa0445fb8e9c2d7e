#include "platform/window_surface.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/events.h"

namespace {

using TWords = std::uint32_t __attribute__((vector_size(16)));

// RGBA bytes read as a little-endian word, R in the low byte, made into a
// word with red at RED and blue at BLUE (0 or 16; green stays at 8) and the
// bits outside the colours, alpha or unused, set from `rest`. For a word or
// four at once.
template <int RED, int BLUE, class T>
inline T Arrange(T p, std::uint32_t rest) {
    if constexpr (RED == 0) {
        return (p & 0xFFFFFFu) | rest;
    } else {
        return (p & 0xFF00u) | (p & 0xFFu) << 16 | (p >> 16 & 0xFFu) | rest;
    }
}

// The rows in the surface's layout, four pixels at a time.
template <int RED, int BLUE>
void PutRows(const std::uint8_t* rgba, std::int32_t pitch, std::int32_t width, std::int32_t height, std::uint32_t rest,
             std::uint8_t* pixels, std::int32_t surfacePitch) {
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* from = rgba + static_cast<std::ptrdiff_t>(y) * pitch;
        std::uint8_t* to = pixels + static_cast<std::ptrdiff_t>(y) * surfacePitch;
        std::int32_t x = 0;
        for (; x + 4 <= width; x += 4) {
            TWords p;
            std::memcpy(&p, from + x * 4, sizeof p);
            p = Arrange<RED, BLUE>(p, rest);
            std::memcpy(to + x * 4, &p, sizeof p);
        }
        for (; x < width; ++x) {
            std::uint32_t p;
            std::memcpy(&p, from + x * 4, sizeof p);
            p = Arrange<RED, BLUE>(p, rest);
            std::memcpy(to + x * 4, &p, sizeof p);
        }
    }
}

bool IsByteAt(Uint32 mask, int shift) { return mask == Uint32{0xFF} << shift; }

}  // namespace

TSurfaceGraphics::~TSurfaceGraphics() { Close(); }

TGraphicsDriver* TSurfaceGraphics::Driver() const { return &SurfaceGraphicsDriver(); }

void TSurfaceGraphics::Close() {
    // The surface belongs to the window and goes with it.
    if (_window != nullptr && PlatformStarted()) SDL_DestroyWindow(_window);
    _window = nullptr;
}

TGraphics* TSurfaceGraphicsDriver::CreateGraphics(std::int32_t width, std::int32_t height, std::int32_t depth,
                                                  std::int32_t hertz, std::int32_t flags) {
    if (!CanMakeWindow(width, height, depth)) return nullptr;
    // Without this SDL may make the surface a texture of its own GL renderer,
    // which on a software GL is the slow upload this path is there to avoid.
    // (The environment's SDL_FRAMEBUFFER_ACCELERATION still wins.) SDL reads
    // it once, at the first surface of the process.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const Uint32 hidden = (flags & GraphicsFlag::Hidden) != 0 ? SDL_WINDOW_HIDDEN : 0;
    SDL_Window* window = MakeCentredWindow(width, height, hidden);
    if (window == nullptr) return nullptr;
    if (SDL_GetWindowSurface(window) == nullptr) {
        SetGraphicsError(std::string("the window has no surface to draw into: ") + SDL_GetError());
        SDL_DestroyWindow(window);
        return nullptr;
    }
    auto* graphics = new TSurfaceGraphics();
    graphics->_window = window;
    graphics->_width = width;
    graphics->_height = height;
    graphics->_hertz = hertz;
    graphics->_flags = flags;
    return graphics;
}

void TSurfaceGraphicsDriver::Flip(std::int32_t) {
    if (_current != nullptr) SDL_UpdateWindowSurface(_current->_window);
}

TSurfaceGraphicsDriver& SurfaceGraphicsDriver() {
    static TSurfaceGraphicsDriver driver;
    return driver;
}

bool PutSurfaceImage(const std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch) {
    TGraphics* graphics = CurrentGraphics();
    if (graphics == nullptr || graphics->Driver() != &SurfaceGraphicsDriver()) return false;
    // Asked for every frame: SDL gives the one it has, or a new one if the
    // window's size changed.
    SDL_Surface* surface = SDL_GetWindowSurface(graphics->_window);
    if (surface == nullptr) return false;
    if (rgba == nullptr) return true;
    width = std::min(width, surface->w);
    height = std::min(height, surface->h);
    if (width <= 0 || height <= 0) return true;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    const SDL_PixelFormat& f = *surface->format;
    auto* pixels = static_cast<std::uint8_t*>(surface->pixels);
    // The layouts of 32 bits with a whole byte a colour, red high (as X11 and
    // GDI give at 24 bits) or low, have loops of their own; any other goes
    // through SDL's converter.
    const bool words = SDL_BYTEORDER == SDL_LIL_ENDIAN && f.BytesPerPixel == 4 && IsByteAt(f.Gmask, 8);
    const std::uint32_t rest = ~(f.Rmask | f.Gmask | f.Bmask);
    bool put = true;
    if (words && IsByteAt(f.Rmask, 16) && IsByteAt(f.Bmask, 0)) {
        PutRows<16, 0>(rgba, pitch, width, height, rest, pixels, surface->pitch);
    } else if (words && IsByteAt(f.Rmask, 0) && IsByteAt(f.Bmask, 16)) {
        PutRows<0, 16>(rgba, pitch, width, height, rest, pixels, surface->pitch);
    } else {
        put = SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGBA32, rgba, pitch, f.format, pixels, surface->pitch) ==
              0;
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    return put;
}
