// Drawing a world without a GPU: the picture the GL draws (additive sprites,
// the sum sharpened to its fourth power, opaque wall squares on top), made on
// the CPU into an RGBA image. A software GL fills every blended, filtered
// sprite pixel one fragment at a time; adding precomputed sprite rows into
// byte planes with saturating vector adds is ten or more times faster.
//
// The image is 8-bit RGBA, one pixel every 4 bytes in the order R, G, B, A,
// rows top to bottom, Pitch() = Width() × 4 bytes from one row to the next,
// alpha always 255. It is the sprites' drawing area, Width × Height. Callers
// may draw into it (text) between Draw and showing it; the next Draw
// overwrites every pixel.
//
//   TCpuRenderer renderer(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
//   renderer.Draw(world, sprites, &pool);   // or Draw(world, sprites) on the calling thread alone
//   show(renderer.Pixels(), renderer.Width(), renderer.Height());
//
// Needs no GL (the sprites' texture is not used) and allocates nothing once
// it has seen the drawing area, sprite size and colours. Not thread-safe: one Draw at a time.
//
// Any world is drawn without a write outside the image: sprites wholly off it
// are skipped, sprites partly on it are clipped, and a particle whose
// position is NaN or infinite is not drawn. An area with no pixels (Width or
// Height 0 or less) gives an empty image, and a sprite size that is not
// positive (NaN included) draws neither sprites nor walls. Larger areas and
// sprites than the limits below are refused (see Draw).
#pragma once

#include <cstdint>
#include <memory>

#include "render/sprites.h"

class TSPH;
class TTaskRunner;

class TCpuRenderer {
public:
    // The sprite image: width × height RGBA pixels, rows top to bottom,
    // `pitch` bytes apart. It is copied; a GL would stretch it to powers of
    // two and sample its mipmap levels, and so does the renderer. Throws
    // std::length_error, with a message naming both sizes, for an image that
    // stretched has more than MAX_SPRITE_PIXELS.
    TCpuRenderer(const std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch);
    ~TCpuRenderer();
    TCpuRenderer(const TCpuRenderer&) = delete;
    TCpuRenderer& operator=(const TCpuRenderer&) = delete;

    // The largest image: MAX_SIDE pixels a side and MAX_PIXELS in all (4096 ×
    // 4096, or 65536 × 256; a 4K screen has half as many), about 7 bytes a
    // pixel with the planes the sum is made in.
    static constexpr std::int32_t MAX_SIDE = 65536;
    static constexpr std::int64_t MAX_PIXELS = std::int64_t{1} << 24;
    // The largest sprite size, half a sprite's edge in pixels (the demo's is
    // 9.5): the tables of sprite rows grow with it, and their masks with its
    // square.
    static constexpr float MAX_PARTICLE_SIZE = 256;
    // The largest sprite image once stretched to powers of two (the demo's is
    // 64 × 64), as large as the largest frame: with its smaller levels about
    // 5.3 bytes a pixel.
    static constexpr std::int64_t MAX_SPRITE_PIXELS = MAX_PIXELS;

    // Draws every particle of the world into the image. With a runner of two
    // or more threads, bands of rows are drawn at once; nullptr draws on the
    // calling thread alone. Throws std::length_error, leaving the image as
    // it was, for an area larger than MAX_SIDE or MAX_PIXELS or a sprite
    // size above MAX_PARTICLE_SIZE.
    void Draw(const TSPH& world, const TSprites& sprites, TTaskRunner* runner = nullptr);

    std::int32_t Width() const;
    std::int32_t Height() const;
    std::int32_t Pitch() const { return Width() * 4; }
    // The first byte of the top row; null before the first Draw.
    std::uint8_t* Pixels();
    const std::uint8_t* Pixels() const;

    // The sharpening as the GL does it in 8 bits: two passes of c × c / 255,
    // rounded. Exposed for tests and presenters that draw over the image.
    static std::uint8_t Sharpen(std::uint8_t c);

private:
    struct TState;
    std::unique_ptr<TState> State;
};
