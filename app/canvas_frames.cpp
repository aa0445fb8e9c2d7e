#include "app/canvas_frames.h"

#include "app/graphics_setup.h"
#include "platform/bitmap_text.h"
#include "platform/graphics.h"
#include "platform/png.h"
#include "platform/web/canvas.h"
#include "render/cpu_renderer.h"

namespace {

class TCanvasFrameDrawer : public TFrameDrawer {
public:
    TCanvasFrameDrawer(const TPixmap& sprite, TTaskRunner* runner)
        : _renderer(sprite.pixels, sprite.width, sprite.height, sprite.pitch), _runner(runner) {}

    const char* PathName() const override { return "cpu"; }
    std::string Description() const override { return "on the CPU onto a 2D canvas (chosen by the page)"; }
    // On the step's threads in the build with threads (a frame steps, then draws).
    void DrawWorld(TSPH& world) override { _renderer.Draw(world, _runner); }
    void DrawText(const std::string& text, std::int32_t x, std::int32_t y) override {
        DrawBitmapTextImage(_renderer.Pixels(), _renderer.Width(), _renderer.Height(), _renderer.Pitch(), text, x, y);
    }
    void Show() override {
        PutCanvasImage(_renderer.Pixels(), _renderer.Width(), _renderer.Height());
        Flip(0);
    }
    std::unique_ptr<TPixmap> ReadPixels() override {
        if (_renderer.Pixels() == nullptr) return nullptr;
        const auto image = TPixmap::Wrap(_renderer.Pixels(), _renderer.Width(), _renderer.Height(), _renderer.Pitch(),
                                         PIXEL_FORMAT_RGBA8);
        return image ? image->Convert(PIXEL_FORMAT_RGB8) : nullptr;
    }

private:
    TCpuRenderer _renderer;
    TTaskRunner* _runner;
};

}  // namespace

std::unique_ptr<TFrameDrawer> OpenCanvasFrameDrawer(TTaskRunner* runner, std::string& error) {
    if (OpenGraphicsWith(CanvasGraphicsDriver(), 800, 600, 0, 60, 0) == nullptr) {
        error = GraphicsError();
        return nullptr;
    }
    const auto sprite = LoadSpritePixmap(error);
    if (!sprite) return nullptr;
    return std::make_unique<TCanvasFrameDrawer>(*sprite, runner);
}
