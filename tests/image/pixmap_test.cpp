#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/pixmap.h"

namespace {

std::vector<std::uint8_t> Bytes(const TPixmap& p, std::int32_t x, std::int32_t y) {
    const std::uint8_t* s = p.PixelPtr(x, y);
    return {s, s + BytesPerPixel(p.format)};
}

}  // namespace

TEST(Pixmap, CreateAlignsRowsAndOwnsZeroedMemory) {
    struct Case {
        std::int32_t width, height, format, align, pitch;
    };
    for (const Case c : {Case{3, 2, 4, 4, 12}, Case{5, 3, 1, 4, 8}, Case{1, 1, 3, 4, 4}, Case{7, 2, 6, 4, 28},
                         Case{5, 1, 4, 1, 15}, Case{2, 2, 2, 8, 8}}) {
        auto p = TPixmap::Create(c.width, c.height, c.format, c.align);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->width, c.width);
        EXPECT_EQ(p->height, c.height);
        EXPECT_EQ(p->format, c.format);
        EXPECT_EQ(p->pitch, c.pitch) << c.width << "x" << c.height << " format " << c.format;
        EXPECT_EQ(p->capacity, c.pitch * c.height);
        for (std::int32_t i = 0; i < p->capacity; ++i) EXPECT_EQ(p->pixels[i], 0);
    }
}

TEST(Pixmap, CreateRefusesWhatCannotBeAnImage) {
    EXPECT_EQ(TPixmap::Create(0, 4, 6, 4), nullptr);
    EXPECT_EQ(TPixmap::Create(4, -1, 6, 4), nullptr);
    EXPECT_EQ(TPixmap::Create(4, 4, 0, 4), nullptr);
    EXPECT_EQ(TPixmap::Create(4, 4, 7, 4), nullptr);
    EXPECT_EQ(TPixmap::Create(4, 4, 6, 0), nullptr);
    EXPECT_EQ(TPixmap::Create(65536, 65536, 6, 4), nullptr);  // 4 Gi pixels
    EXPECT_EQ(TPixmap::Create(1 << 14, (1 << 12) + 1, 1, 4), nullptr);
    EXPECT_NE(TPixmap::Create(1 << 14, 1 << 12, 1, 4), nullptr);  // exactly the limit
}

TEST(Pixmap, PixelPtrSkipsRowPadding) {
    auto p = TPixmap::Create(3, 2, 4, 4);  // 9 bytes of pixels, pitch 12
    EXPECT_EQ(p->PixelPtr(0, 0), p->pixels);
    EXPECT_EQ(p->PixelPtr(2, 0), p->pixels + 6);
    EXPECT_EQ(p->PixelPtr(0, 1), p->pixels + 12);
    EXPECT_EQ(p->PixelPtr(1, 1), p->pixels + 15);
}

// Each format's bytes read as ARGB, and converted to RGBA, alike at every pixel.
TEST(Pixmap, ReadPixelAndConvertToRgbaFollowTheFormatTable) {
    struct Case {
        std::int32_t format;
        std::vector<std::uint8_t> bytes;
        std::uint32_t argb;
    };
    const Case cases[] = {
        {1, {0x40}, 0xFF404040u},
        {2, {0x40}, 0x40FFFFFFu},
        {3, {0x11, 0x22, 0x33}, 0xFF332211u},
        {4, {0x11, 0x22, 0x33}, 0xFF112233u},
        {5, {0x11, 0x22, 0x33, 0x44}, 0x44332211u},
        {6, {0x11, 0x22, 0x33, 0x44}, 0x44112233u},
    };
    for (const Case& c : cases) {
        auto p = TPixmap::Create(3, 2, c.format, 4);
        EXPECT_EQ(static_cast<std::uint32_t>(p->ReadPixel(0, 1)),
                  c.format == 2 ? 0x00FFFFFFu : (c.format == 5 || c.format == 6 ? 0u : 0xFF000000u));
        for (std::int32_t y = 0; y < 2; ++y)
            for (std::int32_t x = 0; x < 3; ++x) std::memcpy(p->PixelPtr(x, y), c.bytes.data(), c.bytes.size());
        EXPECT_EQ(static_cast<std::uint32_t>(p->ReadPixel(1, 1)), c.argb) << "format " << c.format;
        auto q = p->Convert(6);
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(q->format, 6);
        EXPECT_EQ(q->width, 3);
        EXPECT_EQ(q->height, 2);
        EXPECT_EQ(q->pitch, 12);
        const std::vector<std::uint8_t> rgba = {
            static_cast<std::uint8_t>(c.argb >> 16), static_cast<std::uint8_t>(c.argb >> 8),
            static_cast<std::uint8_t>(c.argb), static_cast<std::uint8_t>(c.argb >> 24)};
        for (std::int32_t y = 0; y < 2; ++y)
            for (std::int32_t x = 0; x < 3; ++x)
                EXPECT_EQ(Bytes(*q, x, y), rgba) << "format " << c.format << " at " << x << "," << y;
    }
}

TEST(Pixmap, WritePixelStoresEachFormatsBytes) {
    const std::uint32_t argb = 0x80C86432u;  // a 128, r 200, g 100, b 50
    struct Case {
        std::int32_t format;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {1, {116}},  // (200 + 100 + 50) / 3, truncated
        {2, {128}}, {3, {50, 100, 200}}, {4, {200, 100, 50}}, {5, {50, 100, 200, 128}}, {6, {200, 100, 50, 128}},
    };
    for (const Case& c : cases) {
        auto p = TPixmap::Create(3, 1, c.format, 4);
        p->WritePixel(1, 0, static_cast<std::int32_t>(argb));
        EXPECT_EQ(Bytes(*p, 1, 0), c.bytes) << "format " << c.format;
        EXPECT_EQ(p->ReadPixel(0, 0), TPixmap::Create(1, 1, c.format, 4)->ReadPixel(0, 0))
            << "neighbour untouched, format " << c.format;
    }
}

TEST(Pixmap, ConvertBetweenColourFormatsKeepsEveryPixel) {
    auto rgba = TPixmap::Create(5, 3, 6, 4);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            rgba->WritePixel(x, y, static_cast<std::int32_t>(0x10000000u * (x + 1) + 0x010203u * (y * 5 + x)));
    auto bgra = rgba->Convert(5);
    auto back = bgra->Convert(6);
    auto bgr = rgba->Convert(3);
    auto rgb = bgr->Convert(4);
    for (std::int32_t y = 0; y < 3; ++y) {
        for (std::int32_t x = 0; x < 5; ++x) {
            const auto v = static_cast<std::uint32_t>(rgba->ReadPixel(x, y));
            EXPECT_EQ(static_cast<std::uint32_t>(back->ReadPixel(x, y)), v);
            EXPECT_EQ(static_cast<std::uint32_t>(rgb->ReadPixel(x, y)), v | 0xFF000000u);
        }
    }
    // Grey keeps the integer mean of the three channels.
    auto one = TPixmap::Create(1, 1, 4, 4);
    one->WritePixel(0, 0, 0x000A0B0D);
    EXPECT_EQ(one->Convert(1)->pixels[0], (10 + 11 + 13) / 3);
    EXPECT_EQ(one->Convert(9), nullptr);
}

TEST(Pixmap, WrappedMemoryIsNeverFreed) {
    std::vector<std::uint8_t> memory(2 * 16, 7);
    {
        auto p = TPixmap::Wrap(memory.data(), 2, 2, 16, 6);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->capacity, -1);
        EXPECT_EQ(p->PixelPtr(1, 1), memory.data() + 20);
    }
    EXPECT_EQ(TPixmap::Wrap(memory.data(), 5, 1, 16, 6), nullptr);  // rows overlap
    EXPECT_EQ(memory[0], 7);
}
