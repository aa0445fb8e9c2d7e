#include "platform/pixmap.h"

#include <cmath>
#include <cstring>
#include <vector>

std::int32_t BytesPerPixel(std::int32_t format) {
    switch (format) {
        case PIXEL_FORMAT_I8:
        case PIXEL_FORMAT_A8:
            return 1;
        case PIXEL_FORMAT_BGR8:
        case PIXEL_FORMAT_RGB8:
            return 3;
        case PIXEL_FORMAT_BGRA8:
        case PIXEL_FORMAT_RGBA8:
            return 4;
        default:
            return 0;
    }
}

namespace {

// One pixel of any format to R, G, B, A.
void PixelToRGBA(const std::uint8_t* s, std::int32_t format, std::uint8_t* d) {
    switch (format) {
        case PIXEL_FORMAT_I8:
            d[0] = d[1] = d[2] = s[0];
            d[3] = 255;
            break;
        case PIXEL_FORMAT_A8:
            d[0] = d[1] = d[2] = 255;
            d[3] = s[0];
            break;
        case PIXEL_FORMAT_BGR8:
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = 255;
            break;
        case PIXEL_FORMAT_RGB8:
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
            break;
        case PIXEL_FORMAT_BGRA8:
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
            break;
        case PIXEL_FORMAT_RGBA8:
            std::memcpy(d, s, 4);
            break;
        default:
            break;
    }
}

// R, G, B, A to one pixel of any format.
void PixelFromRGBA(const std::uint8_t* s, std::int32_t format, std::uint8_t* d) {
    switch (format) {
        case PIXEL_FORMAT_I8:
            d[0] = static_cast<std::uint8_t>((s[0] + s[1] + s[2]) / 3);
            break;
        case PIXEL_FORMAT_A8:
            d[0] = s[3];
            break;
        case PIXEL_FORMAT_BGR8:
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            break;
        case PIXEL_FORMAT_RGB8:
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            break;
        case PIXEL_FORMAT_BGRA8:
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
            break;
        case PIXEL_FORMAT_RGBA8:
            std::memcpy(d, s, 4);
            break;
        default:
            break;
    }
}

void RowToRGBA(const std::uint8_t* src, std::int32_t format, std::int32_t count, std::uint8_t* rgba) {
    const std::int32_t bpp = BytesPerPixel(format);
    for (std::int32_t x = 0; x < count; ++x) PixelToRGBA(src + x * bpp, format, rgba + x * 4);
}

void RowFromRGBA(const std::uint8_t* rgba, std::int32_t format, std::int32_t count, std::uint8_t* dst) {
    const std::int32_t bpp = BytesPerPixel(format);
    for (std::int32_t x = 0; x < count; ++x) PixelFromRGBA(rgba + x * 4, format, dst + x * bpp);
}

// Why Create refuses its arguments; none when it accepts them.
const char* CreateRefusal(std::int32_t width, std::int32_t height, std::int32_t format, std::int32_t align) {
    const std::int32_t bpp = BytesPerPixel(format);
    if (width < 1 || height < 1) return "a side below 1 pixel";
    if (bpp == 0) return "an unknown pixel format";
    if (align < 1) return "a row alignment below 1";
    static_assert(MAX_PIXMAP_PIXELS == 67108864);
    if (std::int64_t{width} * height > MAX_PIXMAP_PIXELS) return "more than the limit of 67108864 pixels";
    const std::int64_t pitch = (std::int64_t{width} * bpp + align - 1) / align * align;
    if (pitch > INT32_MAX || pitch * height > INT32_MAX) return "more bytes than a pixmap can address";
    return nullptr;
}

}  // namespace

std::string PixmapRefusal(std::int32_t width, std::int32_t height, std::int32_t format, std::int32_t align) {
    const char* refusal = CreateRefusal(width, height, format, align);
    if (refusal == nullptr) return {};
    return "cannot make a pixmap of " + std::to_string(width) + " x " + std::to_string(height) + " pixels (" +
           std::to_string(std::int64_t{width} * height) + ") in format " + std::to_string(format) + ": " + refusal;
}

std::unique_ptr<TPixmap> TPixmap::Create(std::int32_t width, std::int32_t height, std::int32_t format,
                                         std::int32_t align) {
    if (CreateRefusal(width, height, format, align) != nullptr) return nullptr;
    const std::int64_t pitch = (std::int64_t{width} * BytesPerPixel(format) + align - 1) / align * align;
    const std::int64_t size = pitch * height;

    auto pixmap = std::make_unique<TPixmap>();
    pixmap->pixels = new std::uint8_t[static_cast<std::size_t>(size)]();
    pixmap->width = width;
    pixmap->height = height;
    pixmap->pitch = static_cast<std::int32_t>(pitch);
    pixmap->format = format;
    pixmap->capacity = static_cast<std::int32_t>(size);
    return pixmap;
}

std::unique_ptr<TPixmap> TPixmap::Wrap(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                                       std::int32_t pitch, std::int32_t format) {
    const std::int32_t bpp = BytesPerPixel(format);
    if (pixels == nullptr || width < 1 || height < 1 || bpp == 0) return nullptr;
    if (std::int64_t{pitch} < std::int64_t{width} * bpp) return nullptr;
    auto pixmap = std::make_unique<TPixmap>();
    pixmap->pixels = pixels;
    pixmap->width = width;
    pixmap->height = height;
    pixmap->pitch = pitch;
    pixmap->format = format;
    pixmap->capacity = -1;
    return pixmap;
}

TPixmap::~TPixmap() {
    if (capacity >= 0) delete[] pixels;
}

std::uint8_t* TPixmap::PixelPtr(std::int32_t x, std::int32_t y) const {
    return pixels + std::ptrdiff_t{y} * pitch + std::ptrdiff_t{x} * BytesPerPixel(format);
}

std::unique_ptr<TPixmap> TPixmap::Convert(std::int32_t newFormat) const {
    auto result = Create(width, height, newFormat, 4);
    if (!result || BytesPerPixel(format) == 0) return nullptr;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * 4);
    for (std::int32_t y = 0; y < height; ++y) {
        RowToRGBA(PixelPtr(0, y), format, width, rgba.data());
        RowFromRGBA(rgba.data(), newFormat, width, result->PixelPtr(0, y));
    }
    return result;
}

std::int32_t TPixmap::ReadPixel(std::int32_t x, std::int32_t y) const {
    std::uint8_t c[4] = {0, 0, 0, 0};
    PixelToRGBA(PixelPtr(x, y), format, c);
    const std::uint32_t argb = std::uint32_t{c[3]} << 24 | std::uint32_t{c[0]} << 16 | std::uint32_t{c[1]} << 8 | c[2];
    return static_cast<std::int32_t>(argb);
}

void TPixmap::WritePixel(std::int32_t x, std::int32_t y, std::int32_t argb) {
    const auto v = static_cast<std::uint32_t>(argb);
    const std::uint8_t c[4] = {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 24)};
    PixelFromRGBA(c, format, PixelPtr(x, y));
}

namespace {

// Where one result row or column samples the source: the first source index,
// the second one (equal to the first at the edges) and the weight of the second.
struct TSample {
    std::int32_t i0;
    std::int32_t i1;
    float f;
};

TSample SampleAt(std::int32_t i, float ratio, std::int32_t sourceSize) {
    const float s = (static_cast<float>(i) + 0.5f) * ratio - 0.5f;
    const auto i0 = static_cast<std::int32_t>(std::floor(s));
    if (i0 < 0) return {0, 0, 0.0f};
    if (i0 >= sourceSize - 1) return {sourceSize - 1, sourceSize - 1, 0.0f};
    return {i0, i0 + 1, s - static_cast<float>(i0)};
}

}  // namespace

std::unique_ptr<TPixmap> ScalePixmap(const TPixmap* pixmap, std::int32_t width, std::int32_t height) {
    if (pixmap == nullptr || BytesPerPixel(pixmap->format) == 0) return nullptr;
    auto result = TPixmap::Create(width, height, pixmap->format, 4);
    if (!result) return nullptr;

    std::unique_ptr<TPixmap> converted;
    const TPixmap* src = pixmap;
    if (pixmap->format != PIXEL_FORMAT_RGBA8) {
        converted = pixmap->Convert(PIXEL_FORMAT_RGBA8);
        if (!converted) return nullptr;
        src = converted.get();
    }

    const float ratioY = static_cast<float>(src->height) / static_cast<float>(height);
    const float ratioX = static_cast<float>(src->width) / static_cast<float>(width);
    std::vector<TSample> columns(static_cast<std::size_t>(width));
    for (std::int32_t j = 0; j < width; ++j) columns[j] = SampleAt(j, ratioX, src->width);

    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
    for (std::int32_t i = 0; i < height; ++i) {
        const TSample sy = SampleAt(i, ratioY, src->height);
        const std::uint8_t* top = src->PixelPtr(0, sy.i0);
        const std::uint8_t* bottom = src->PixelPtr(0, sy.i1);
        for (std::int32_t j = 0; j < width; ++j) {
            const TSample& sx = columns[j];
            for (std::int32_t c = 0; c < 4; ++c) {
                const float tl = top[sx.i0 * 4 + c];
                const float tr = top[sx.i1 * 4 + c];
                const float bl = bottom[sx.i0 * 4 + c];
                const float br = bottom[sx.i1 * 4 + c];
                const float a = tl + (tr - tl) * sx.f;
                const float b = bl + (br - bl) * sx.f;
                row[j * 4 + c] = static_cast<std::uint8_t>(a + (b - a) * sy.f);
            }
        }
        RowFromRGBA(row.data(), result->format, width, result->PixelPtr(0, i));
    }
    return result;
}
