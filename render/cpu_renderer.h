// Drawing a world without a GPU: the picture the GL draws (additive sprites,
// the sum sharpened to its fourth power, opaque wall squares on top), made on
// the CPU into an RGBA image. A software GL fills every blended, filtered
// sprite pixel one fragment at a time; adding precomputed sprite rows into
// byte planes with saturating vector adds is ten or more times faster.
//
// The image is 8-bit RGBA, one pixel every 4 bytes in the order R, G, B, A,
// rows top to bottom, Pitch() = Width() × 4 bytes from one row to the next,
// alpha always 255. It is the world's drawing area, GWidth × GHeight. Callers
// may draw into it (text) between Draw and showing it; the next Draw
// overwrites every pixel.
//
//   TCpuRenderer renderer(sprite->pixels, sprite->width, sprite->height, sprite->pitch);
//   renderer.Draw(world, &pool);   // or Draw(world) on the calling thread alone
//   show(renderer.Pixels(), renderer.Width(), renderer.Height());
//
// Needs no GL and allocates nothing once it has seen the world's size, sprite
// size and colours. Not thread-safe: one Draw at a time.
#pragma once

#include <cstdint>
#include <memory>

class TSPH;
class TTaskRunner;

class TCpuRenderer {
public:
    // The sprite image: width × height RGBA pixels, rows top to bottom,
    // `pitch` bytes apart. It is copied; a GL would stretch it to powers of
    // two and sample its mipmap levels, and so does the renderer.
    TCpuRenderer(const std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch);
    ~TCpuRenderer();
    TCpuRenderer(const TCpuRenderer&) = delete;
    TCpuRenderer& operator=(const TCpuRenderer&) = delete;

    // Draws every particle of the world into the image. With a runner of two
    // or more threads, bands of rows are drawn at once; nullptr draws on the
    // calling thread alone.
    void Draw(const TSPH& world, TTaskRunner* runner = nullptr);

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
