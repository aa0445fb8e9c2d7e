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

TEST(Pixmap, CreateAlignsRowsOwnsZeroedMemoryAndRefusesWhatCannotBeAnImage) {
    struct Case {
        std::int32_t width, height, format, align, pitch;
    };
    for (const Case c : {Case{3, 2, 4, 4, 12}, Case{5, 3, 1, 4, 8}, Case{1, 1, 3, 4, 4}, Case{7, 2, 6, 4, 28},
                         Case{5, 1, 4, 1, 15}, Case{2, 2, 2, 8, 8}}) {
        auto p = TPixmap::Create(c.width, c.height, c.format, c.align);
        ASSERT_TRUE(p && p->width == c.width && p->height == c.height && p->format == c.format);
        EXPECT_EQ(p->pitch, c.pitch) << c.width << "x" << c.height << " format " << c.format;
        EXPECT_EQ(p->capacity, c.pitch * c.height);
        EXPECT_EQ(std::vector<std::uint8_t>(p->pixels, p->pixels + p->capacity),
                  std::vector<std::uint8_t>(static_cast<std::size_t>(p->capacity)));
    }
    struct Refused {
        std::int32_t width, height, format, align;
    };
    for (const Refused c : {Refused{0, 4, 6, 4}, Refused{4, -1, 6, 4}, Refused{4, 4, 0, 4}, Refused{4, 4, 7, 4},
                            Refused{4, 4, 6, 0}, Refused{65536, 65536, 6, 4}, Refused{1 << 14, (1 << 12) + 1, 1, 4}})
        EXPECT_EQ(TPixmap::Create(c.width, c.height, c.format, c.align), nullptr) << c.width << "x" << c.height;
    EXPECT_NE(TPixmap::Create(1 << 14, 1 << 12, 1, 4), nullptr);  // exactly the limit
}

// Each format's bytes read as ARGB, written back from ARGB, and converted to
// RGBA, alike at every pixel; a write leaves the neighbours alone.
TEST(Pixmap, ReadWriteAndConvertFollowTheFormatTable) {
    struct Case {
        std::int32_t format;
        std::vector<std::uint8_t> bytes;
        std::uint32_t argb;
        std::vector<std::uint8_t> written;  // 0x80C86432 written: a 128, r 200, g 100, b 50
    };
    const Case cases[] = {
        {1, {0x40}, 0xFF404040u, {116}},  // (200 + 100 + 50) / 3, truncated
        {2, {0x40}, 0x40FFFFFFu, {128}},
        {3, {0x11, 0x22, 0x33}, 0xFF332211u, {50, 100, 200}},
        {4, {0x11, 0x22, 0x33}, 0xFF112233u, {200, 100, 50}},
        {5, {0x11, 0x22, 0x33, 0x44}, 0x44332211u, {50, 100, 200, 128}},
        {6, {0x11, 0x22, 0x33, 0x44}, 0x44112233u, {200, 100, 50, 128}},
    };
    for (const Case& c : cases) {
        auto p = TPixmap::Create(3, 2, c.format, 4);
        const auto empty = static_cast<std::uint32_t>(p->ReadPixel(0, 1));
        EXPECT_EQ(empty, c.format == 2 ? 0x00FFFFFFu : (c.format >= 5 ? 0u : 0xFF000000u));
        for (std::int32_t y = 0; y < 2; ++y)
            for (std::int32_t x = 0; x < 3; ++x) std::memcpy(p->PixelPtr(x, y), c.bytes.data(), c.bytes.size());
        EXPECT_EQ(static_cast<std::uint32_t>(p->ReadPixel(1, 1)), c.argb) << "format " << c.format;
        auto q = p->Convert(6);
        ASSERT_TRUE(q && q->format == 6 && q->width == 3 && q->height == 2 && q->pitch == 12);
        const std::vector<std::uint8_t> rgba = {
            static_cast<std::uint8_t>(c.argb >> 16), static_cast<std::uint8_t>(c.argb >> 8),
            static_cast<std::uint8_t>(c.argb), static_cast<std::uint8_t>(c.argb >> 24)};
        for (std::int32_t y = 0; y < 2; ++y)
            for (std::int32_t x = 0; x < 3; ++x)
                EXPECT_EQ(Bytes(*q, x, y), rgba) << "format " << c.format << " at " << x << "," << y;

        auto w = TPixmap::Create(3, 1, c.format, 4);
        w->WritePixel(1, 0, static_cast<std::int32_t>(0x80C86432u));
        EXPECT_EQ(Bytes(*w, 1, 0), c.written) << "format " << c.format;
        EXPECT_EQ(static_cast<std::uint32_t>(w->ReadPixel(0, 0)), empty) << "neighbour, format " << c.format;
        // Converted there from RGBA, the same bytes.
        EXPECT_EQ(Bytes(*w->Convert(6)->Convert(c.format), 1, 0), c.written) << "format " << c.format;
    }
    EXPECT_EQ(TPixmap::Create(1, 1, 4, 4)->Convert(9), nullptr);
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
