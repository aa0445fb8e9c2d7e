#include "app/canvas_frames.h"

#include "app/cpu_frames.h"
#include "platform/graphics.h"
#include "platform/web/canvas.h"

std::unique_ptr<TFrameDrawer> OpenCanvasFrameDrawer(TTaskRunner* runner, std::string& error) {
    auto renderer = MakeSpriteRenderer(error);
    if (!renderer) return nullptr;
    if (OpenGraphicsWith(CanvasGraphicsDriver(), 800, 600, 0, 60, 0) == nullptr) {
        error = GraphicsError();
        return nullptr;
    }
    // The canvas takes tightly packed rows, which is what the renderer makes.
    const TShowImage show = [](const std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t) {
        return PutCanvasImage(rgba, width, height);
    };
    return MakeCpuFrameDrawer(std::move(renderer), runner, "on the CPU onto a 2D canvas (chosen by the page)", show);
}
