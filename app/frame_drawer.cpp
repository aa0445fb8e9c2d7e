#include "app/frame_drawer.h"

// GLEW's header, not the system's gl.h: on Windows that one includes
// windows.h, whose DrawText macro would rename the method below.
#include <GL/glew.h>

#include "platform/bitmap_text.h"
#include "platform/graphics.h"
#include "platform/window_pixels.h"
#include "render/render.h"

namespace {

class TGLFrameDrawer : public TFrameDrawer {
public:
    TGLFrameDrawer(std::string description, std::uint32_t texture) : _description(std::move(description)) {
        _sprites.Texture = texture;
    }

    const char* PathName() const override { return "gl"; }
    std::string Description() const override { return _description; }
    void DrawWorld(TSPH& world) override {
        glClear(GL_COLOR_BUFFER_BIT);
        Render(world, _sprites);
    }
    void DrawText(const std::string& text, std::int32_t x, std::int32_t y) override { DrawBitmapText(text, x, y); }
    void Show() override { Flip(0); }
    std::unique_ptr<TPixmap> ReadPixels() override { return ReadWindowPixels(); }

private:
    std::string _description;
    TSprites _sprites = DEMO_SPRITES;
};

}  // namespace

std::unique_ptr<TFrameDrawer> MakeGLFrameDrawer(std::string description, std::uint32_t texture) {
    return std::make_unique<TGLFrameDrawer>(std::move(description), texture);
}
