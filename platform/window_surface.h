// A window without an OpenGL context, whose frames are whole images written
// into the window's surface: memory SDL keeps for the window and copies to
// the screen without any GL (on X11 with a shared-memory XShmPutImage, on
// Windows with a GDI blit of a DIB section). This is how the desktop's CPU
// drawing path shows its frames: where the GL is a software rasterizer, a
// texture upload and one textured quad cost several milliseconds more than
// this one copy.
#pragma once

#include <cstdint>

#include "platform/graphics.h"

// A window shown through its surface.
class TSurfaceGraphics : public TGraphics {
public:
    ~TSurfaceGraphics() override;
    TGraphicsDriver* Driver() const override;
    void Close() override;
};

// Makes surface windows. Flags ask for no buffers here (there is no GL);
// GraphicsFlag::Hidden still makes the window hidden.
class TSurfaceGraphicsDriver : public TGraphicsDriver {
public:
    TSurfaceGraphicsDriver() { DefaultFlags = 0; }
    // Fails, with GraphicsError() set, also when the host gives the window
    // no surface.
    TGraphics* CreateGraphics(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t hertz,
                              std::int32_t flags) override;
    void SetGraphics(TGraphics* graphics) override { _current = graphics; }
    // Copies the surface to the screen. `sync` is not heeded: the host offers
    // no wait for the vertical blank on this path.
    void Flip(std::int32_t sync) override;

private:
    TGraphics* _current = nullptr;
};

// The one surface driver of the process.
TSurfaceGraphicsDriver& SurfaceGraphicsDriver();

// Writes width x height RGBA pixels (rows top to bottom, `pitch` bytes apart;
// alpha is not used) into the surface of the open surface graphics, at its
// top left and cut to its size, in the surface's own pixel layout. The next
// Flip shows them. False when no surface graphics is open or the host has no
// surface to give.
bool PutSurfaceImage(const std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch);
