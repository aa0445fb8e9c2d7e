// Showing an RGBA image made on the CPU in the GL window: one upload into a
// texture and one quad over the drawing area.
#pragma once

#include <cstdint>

class TImagePresenter {
public:
    TImagePresenter() = default;
    ~TImagePresenter();
    TImagePresenter(const TImagePresenter&) = delete;
    TImagePresenter& operator=(const TImagePresenter&) = delete;

    // Draws the image (RGBA bytes, rows top to bottom, width × 4 bytes apart)
    // pixel for pixel at the top left of the frame, opaque. Expects the
    // demo's projection (screen pixels, y downwards) and a current GL
    // context; leaves texturing and blending off, the colour white and the
    // previous texture bound.
    void Present(const std::uint8_t* rgba, std::int32_t width, std::int32_t height);

private:
    std::uint32_t Texture = 0;
    std::int32_t TextureWidth = 0;  // powers of two: a GL 1.1 takes no other size
    std::int32_t TextureHeight = 0;
};
