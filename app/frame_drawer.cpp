#include "app/frame_drawer.h"

// GLEW's header, not the system's gl.h: on Windows that one includes
// windows.h, whose DrawText macro would rename the method below.
#include <GL/glew.h>

#include "app/world_drawer.h"
#include "platform/bitmap_text.h"
#include "platform/graphics.h"
#include "platform/window_pixels.h"

namespace {

class TWindowFrameDrawer : public TFrameDrawer {
public:
    explicit TWindowFrameDrawer(std::unique_ptr<TWorldDrawer> world) : _world(std::move(world)) {}

    const char* PathName() const override { return _world->OnCpu() ? "cpu" : "gl"; }
    std::string Description() const override { return _world->Description(); }
    void DrawWorld(TSPH& world) override {
        glClear(GL_COLOR_BUFFER_BIT);
        _world->Draw(world);
    }
    void DrawText(const std::string& text, std::int32_t x, std::int32_t y) override { DrawBitmapText(text, x, y); }
    void Show() override { Flip(0); }
    std::unique_ptr<TPixmap> ReadPixels() override { return ReadWindowPixels(); }

private:
    std::unique_ptr<TWorldDrawer> _world;
};

}  // namespace

std::unique_ptr<TFrameDrawer> MakeWindowFrameDrawer(std::unique_ptr<TWorldDrawer> world) {
    return std::make_unique<TWindowFrameDrawer>(std::move(world));
}
