#include "platform/web/canvas.h"

#include <emscripten.h>

#include <string>

#include "platform/events.h"

namespace {

// The canvas's 2D context, fetched once. The image is a view of the module's
// memory, made afresh for every frame: memory growth replaces the buffer.
// putImageData copies it, so nothing is kept across frames. An ImageData may
// not view shared memory (the build with threads): there the image is first
// copied into an array of the page's own, kept from frame to frame.
// clang-format off
EM_JS(int, put_canvas_image, (const unsigned char* rgba, int width, int height), {
    const canvas = Module['canvas'];
    if (!Module['canvas2d']) Module['canvas2d'] = canvas.getContext('2d', {alpha : false});
    const context = Module['canvas2d'];
    if (!context) return 0;
    let pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    if (!(HEAPU8.buffer instanceof ArrayBuffer)) {
        if (!Module['canvasCopy'] || Module['canvasCopy'].length != pixels.length)
            Module['canvasCopy'] = new Uint8ClampedArray(pixels.length);
        Module['canvasCopy'].set(pixels);
        pixels = Module['canvasCopy'];
    }
    context.putImageData(new ImageData(pixels, width, height), 0, 0);
    return 1;
});
// clang-format on

}  // namespace

TCanvasGraphics::~TCanvasGraphics() { Close(); }

TGraphicsDriver* TCanvasGraphics::Driver() const { return &CanvasGraphicsDriver(); }

void TCanvasGraphics::Close() {
    if (_window != nullptr && PlatformStarted()) SDL_DestroyWindow(_window);
    _window = nullptr;
}

TGraphics* TCanvasGraphicsDriver::CreateGraphics(std::int32_t width, std::int32_t height, std::int32_t depth,
                                                 std::int32_t hertz, std::int32_t flags) {
    if (depth != 0 || width <= 0 || height <= 0) {
        SetGraphicsError("a canvas window needs a positive size and depth 0");
        return nullptr;
    }
    if (!PlatformStarted()) {
        SetGraphicsError(PlatformError());
        return nullptr;
    }
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SetGraphicsError(std::string("the canvas could not be opened: ") + SDL_GetError());
        return nullptr;
    }
    // No SDL_WINDOW_OPENGL: SDL then sizes the canvas and listens to it, and
    // asks the browser for no WebGL context.
    SDL_Window* window =
        SDL_CreateWindow(DEFAULT_WINDOW_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, 0);
    if (window == nullptr) {
        SetGraphicsError(std::string("the canvas could not be opened: ") + SDL_GetError());
        return nullptr;
    }
    auto* graphics = new TCanvasGraphics();
    graphics->_window = window;
    graphics->_width = width;
    graphics->_height = height;
    graphics->_hertz = hertz;
    graphics->_flags = flags;
    return graphics;
}

TCanvasGraphicsDriver& CanvasGraphicsDriver() {
    static TCanvasGraphicsDriver driver;
    return driver;
}

bool PutCanvasImage(const std::uint8_t* rgba, std::int32_t width, std::int32_t height) {
    return put_canvas_image(rgba, width, height) != 0;
}
