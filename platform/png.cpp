#include "platform/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// libpng reports errors by calling this, which must not return; we jump back
// to the setjmp of the stage that is running, silently.
[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// The decoding stages that may end in a longjmp hold no C++ objects, so
// nothing is skipped when libpng jumps back; the buffers live in the caller.

bool ReadHeader(png_structp png, png_infop info, std::FILE* file) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    return true;
}

// The same transforms as PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_16.
bool SetTransforms(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadImage(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

struct TReader {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~TReader() {
        if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        if (file != nullptr) std::fclose(file);
    }
};

std::unique_ptr<TPixmap> Decode(TReader& r) {
    if (!ReadHeader(r.png, r.info, r.file)) return nullptr;
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    if (width == 0 || height == 0 || std::uint64_t{width} * height > static_cast<std::uint64_t>(MAX_PIXMAP_PIXELS))
        return nullptr;
    if (!SetTransforms(r.png, r.info)) return nullptr;

    const int bitDepth = png_get_bit_depth(r.png, r.info);
    const int colorType = png_get_color_type(r.png, r.info);
    const png_size_t rowBytes = png_get_rowbytes(r.png, r.info);
    if (bitDepth != 8) return nullptr;
    int channels = 0;
    std::int32_t format = 0;
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
            channels = 1;
            format = PIXEL_FORMAT_I8;
            break;
        case PNG_COLOR_TYPE_RGB:
            channels = 3;
            format = PIXEL_FORMAT_RGB8;
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            channels = 4;
            format = PIXEL_FORMAT_RGBA8;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            channels = 2;
            format = PIXEL_FORMAT_RGBA8;
            break;
        default:
            return nullptr;
    }
    if (rowBytes != static_cast<png_size_t>(width) * channels) return nullptr;

    auto pixmap = TPixmap::Create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), format, 4);
    if (!pixmap) return nullptr;

    // Grey with alpha is decoded into a scratch buffer and spread afterwards;
    // every other type goes straight into the pixmap's rows.
    std::vector<png_byte> scratch;
    std::vector<png_bytep> rows(height);
    if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        scratch.resize(rowBytes * height);
        for (png_uint_32 y = 0; y < height; ++y) rows[y] = scratch.data() + rowBytes * y;
    } else {
        for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixmap->PixelPtr(0, static_cast<std::int32_t>(y));
    }
    if (!ReadImage(r.png, r.info, rows.data())) return nullptr;

    if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        for (png_uint_32 y = 0; y < height; ++y) {
            const png_byte* s = rows[y];
            std::uint8_t* d = pixmap->PixelPtr(0, static_cast<std::int32_t>(y));
            for (png_uint_32 x = 0; x < width; ++x, s += 2, d += 4) {
                d[0] = d[1] = d[2] = s[0];
                d[3] = s[1];
            }
        }
    }
    return pixmap;
}

}  // namespace

std::unique_ptr<TPixmap> LoadPngPixmap(const std::string& path) {
    TReader r;
    r.file = std::fopen(path.c_str(), "rb");
    if (r.file == nullptr) return nullptr;

    static constexpr unsigned char SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    unsigned char head[8];
    if (std::fread(head, 1, 8, r.file) != 8 || std::memcmp(head, SIGNATURE, 8) != 0) return nullptr;

    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (r.png == nullptr) return nullptr;
    r.info = png_create_info_struct(r.png);
    if (r.info == nullptr) return nullptr;
    return Decode(r);
}
