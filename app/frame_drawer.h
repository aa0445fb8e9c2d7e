// The ways a frame is drawn, world and status text: through the GL into its
// window, or on the CPU into an image shown without the GL (on the desktop
// through the window's surface, surface_frames.h; in a browser on a 2D
// canvas, canvas_frames.h). The frame loop draws every frame through one of
// them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/pixmap.h"
#include "render/sprites.h"

class TSPH;

// The demo's drawing area and sprite size, the same in every scene.
inline constexpr TSprites DEMO_SPRITES{800, 600, 9.5f, 0};

class TFrameDrawer {
public:
    virtual ~TFrameDrawer() = default;
    // "gl" or "cpu": the path that draws the world, for the frame-rate log.
    virtual const char* PathName() const = 0;
    // Which path draws and why, for the start-up note.
    virtual std::string Description() const = 0;
    // Starts the frame with the world drawn over the whole drawing area.
    virtual void DrawWorld(TSPH& world) = 0;
    // Status text in the bitmap font over what is drawn so far.
    virtual void DrawText(const std::string& text, std::int32_t x, std::int32_t y) = 0;
    // Shows the finished frame.
    virtual void Show() = 0;
    // The frame drawn so far, before Show, as RGB pixels (format 4), for a
    // screenshot; none if unreadable.
    virtual std::unique_ptr<TPixmap> ReadPixels() = 0;
};

// Frames of the open GL window: the world drawn by the GL (render/render.h)
// with the sprite texture `texture`, the text with the GL's bitmap text,
// shown by Flip. `description` says why this path draws, for the start-up
// note.
std::unique_ptr<TFrameDrawer> MakeGLFrameDrawer(std::string description, std::uint32_t texture);
