// An image in memory: rows of pixels in one of six byte layouts, the
// conversions between them, and a bilinear rescaler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Pixel format codes.
//   1  intensity I          (I, I, I, 255) as RGBA
//   2  alpha A              (255, 255, 255, A)
//   3  B, G, R              (R, G, B, 255)
//   4  R, G, B              (R, G, B, 255)
//   5  B, G, R, A           (R, G, B, A)
//   6  R, G, B, A           the texture format
enum : std::int32_t {
    PIXEL_FORMAT_I8 = 1,
    PIXEL_FORMAT_A8 = 2,
    PIXEL_FORMAT_BGR8 = 3,
    PIXEL_FORMAT_RGB8 = 4,
    PIXEL_FORMAT_BGRA8 = 5,
    PIXEL_FORMAT_RGBA8 = 6,
};

// Bytes per pixel of a format code, 0 for an unknown code.
std::int32_t BytesPerPixel(std::int32_t format);

// Largest image a pixmap may hold, in pixels (64 Mi). Anything bigger is
// refused rather than allocated.
constexpr std::int64_t MAX_PIXMAP_PIXELS = std::int64_t{1} << 26;

struct TPixmap {
    std::uint8_t* pixels = nullptr;  // first byte of the top row
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t pitch = 0;  // bytes from one row to the next
    std::int32_t format = 0;
    std::int32_t capacity = 0;  // bytes owned; -1 when the memory is someone else's
    const void* _source = nullptr;

    // A pixmap of pitch × height bytes, pitch being width × bytes per pixel
    // rounded up to a multiple of align, all bytes 0. None for a size below 1,
    // an unknown format, an align below 1 or more than MAX_PIXMAP_PIXELS pixels.
    static std::unique_ptr<TPixmap> Create(std::int32_t width, std::int32_t height, std::int32_t format,
                                           std::int32_t align);
    // A view of memory the caller keeps alive; the pixmap never frees it.
    static std::unique_ptr<TPixmap> Wrap(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                                         std::int32_t pitch, std::int32_t format);

    TPixmap() = default;
    ~TPixmap();
    TPixmap(const TPixmap&) = delete;
    TPixmap& operator=(const TPixmap&) = delete;

    std::uint8_t* PixelPtr(std::int32_t x, std::int32_t y) const;
    // A new pixmap of the same size in another format (rows aligned to 4).
    std::unique_ptr<TPixmap> Convert(std::int32_t newFormat) const;
    // 0xAARRGGBB; alpha is 255 for formats without alpha, colour white for format 2.
    std::int32_t ReadPixel(std::int32_t x, std::int32_t y) const;
    // Format 1 keeps (R + G + B) / 3, format 2 the alpha byte.
    void WritePixel(std::int32_t x, std::int32_t y, std::int32_t argb);
};

// Why TPixmap::Create refuses these arguments, in one line naming the size;
// empty when it accepts them.
std::string PixmapRefusal(std::int32_t width, std::int32_t height, std::int32_t format, std::int32_t align);

// Bilinear resampling with pixel centres aligned; the result keeps the
// source's format. None for a missing source or a size below 1.
std::unique_ptr<TPixmap> ScalePixmap(const TPixmap* pixmap, std::int32_t width, std::int32_t height);
