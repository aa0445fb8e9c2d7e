#include "platform/png.h"

#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Limits that keep a small hostile file from costing much: no chunk may ask
// for more than this much memory (a sprite's chunks are a few KiB; the image
// data streams through zlib and is not held whole), and at most this many
// ancillary chunks are kept.
constexpr png_alloc_size_t MAX_CHUNK_BYTES = png_alloc_size_t{4} << 20;
constexpr png_uint_32 MAX_CACHED_CHUNKS = 64;
// No side longer than this (no texture is), which also bounds libpng's row
// buffers: a 16-bit row of 2^26 pixels would need a GiB of them.
constexpr png_uint_32 MAX_SIDE = png_uint_32{1} << 16;
// Deflate turns at most 1032 bytes into one compressed byte, so a file
// smaller than the image data over 1032 cannot hold the image it declares.
constexpr std::uint64_t MAX_DEFLATE_RATIO = 1032;

// libpng reports errors by calling this, which must not return: the message
// is kept for the caller and we jump back to the setjmp of the stage that is
// running.
[[noreturn]] void PngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error != nullptr) *error = message;
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

// The decoding stages that may end in a longjmp hold no C++ objects, so
// nothing is skipped when libpng jumps back; the buffers live in the caller.

bool ReadHeader(png_structp png, png_infop info, std::FILE* file) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, 8);
    // Errors libpng would otherwise let pass (a chunk larger than the limit
    // among them) end the decoding.
    png_set_benign_errors(png, 0);
    png_set_user_limits(png, MAX_SIDE, MAX_SIDE);
    png_set_chunk_malloc_max(png, MAX_CHUNK_BYTES);
    png_set_chunk_cache_max(png, MAX_CACHED_CHUNKS);
    // Every chunk but IHDR, PLTE, tRNS, IDAT and IEND (text, ICC profiles,
    // unknown chunks...) is skipped unread: a sprite needs none of them.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
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
    std::string libpngError;
    ~TReader() {
        if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        if (file != nullptr) std::fclose(file);
    }
};

std::string Size(std::uint64_t width, std::uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

std::unique_ptr<TPixmap> Decode(TReader& r, std::uint64_t fileBytes, std::string& why) {
    if (!ReadHeader(r.png, r.info, r.file)) {
        why = "damaged PNG: " + r.libpngError;
        return nullptr;
    }
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    if (width == 0 || height == 0 || std::uint64_t{width} * height > static_cast<std::uint64_t>(MAX_PIXMAP_PIXELS)) {
        why = "the image of " + Size(width, height) + " pixels is larger than the limit of " +
              std::to_string(MAX_PIXMAP_PIXELS) + " pixels";
        return nullptr;
    }
    // Rows as stored, each with its filter byte, before any transform.
    const std::uint64_t storedRowBytes = png_get_rowbytes(r.png, r.info);
    const std::uint64_t storedBytes = (storedRowBytes + 1) * height;
    if (storedBytes > fileBytes * MAX_DEFLATE_RATIO) {
        why = "a file of " + std::to_string(fileBytes) + " bytes cannot hold the " + std::to_string(storedBytes) +
              " bytes of image data that its " + Size(width, height) + " header declares";
        return nullptr;
    }
    if (!SetTransforms(r.png, r.info)) {
        why = "unsupported PNG: " + r.libpngError;
        return nullptr;
    }

    const int bitDepth = png_get_bit_depth(r.png, r.info);
    const int colorType = png_get_color_type(r.png, r.info);
    const png_size_t rowBytes = png_get_rowbytes(r.png, r.info);
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
            break;
    }
    if (bitDepth != 8 || channels == 0 || rowBytes != static_cast<png_size_t>(width) * channels) {
        why = "unsupported PNG: colour type " + std::to_string(colorType) + " at " + std::to_string(bitDepth) +
              " bits after expansion";
        return nullptr;
    }

    auto pixmap = TPixmap::Create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), format, 4);
    if (!pixmap) {
        why = PixmapRefusal(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), format, 4);
        return nullptr;
    }

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
    if (!ReadImage(r.png, r.info, rows.data())) {
        why = "damaged PNG image data: " + r.libpngError;
        return nullptr;
    }

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

std::unique_ptr<TPixmap> LoadPngPixmap(const std::string& path, std::string* error) {
    std::string ignored;
    std::string& why = error != nullptr ? *error : ignored;
    why.clear();

    TReader r;
    r.file = std::fopen(path.c_str(), "rb");
    if (r.file == nullptr) {
        why = std::string("cannot open the file: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (fstat(fileno(r.file), &status) != 0 || !S_ISREG(status.st_mode)) {
        why = "not a regular file";
        return nullptr;
    }

    static constexpr unsigned char SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    unsigned char head[8];
    if (std::fread(head, 1, 8, r.file) != 8 || std::memcmp(head, SIGNATURE, 8) != 0) {
        why = "not a PNG file (it does not start with the PNG signature)";
        return nullptr;
    }

    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.libpngError, PngError, PngWarning);
    if (r.png != nullptr) r.info = png_create_info_struct(r.png);
    if (r.png == nullptr || r.info == nullptr) {
        why = "cannot start the PNG decoder";
        return nullptr;
    }
    return Decode(r, static_cast<std::uint64_t>(status.st_size), why);
}
