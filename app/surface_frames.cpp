#include "app/surface_frames.h"

#include "app/cpu_frames.h"
#include "platform/graphics.h"
#include "platform/window_surface.h"

std::unique_ptr<TFrameDrawer> OpenSurfaceFrameDrawer(TTaskRunner* runner, std::string description, std::string& error) {
    auto renderer = MakeSpriteRenderer(error);
    if (!renderer) return nullptr;
    // Only now that the sprite is known good: a sprite that fails leaves no
    // window shown at all.
    if (OpenGraphicsWith(SurfaceGraphicsDriver(), 800, 600, 0, 60, 0) == nullptr) {
        error = GraphicsError();
        return nullptr;
    }
    return MakeCpuFrameDrawer(std::move(renderer), runner, std::move(description), PutSurfaceImage);
}
