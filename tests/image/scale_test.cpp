#include <gtest/gtest.h>

#include <vector>

#include "platform/pixmap.h"

namespace {

std::unique_ptr<TPixmap> Row(std::int32_t format, const std::vector<std::uint32_t>& argb) {
    auto p = TPixmap::Create(static_cast<std::int32_t>(argb.size()), 1, format, 4);
    for (std::size_t i = 0; i < argb.size(); ++i)
        p->WritePixel(static_cast<std::int32_t>(i), 0, static_cast<std::int32_t>(argb[i]));
    return p;
}

std::uint32_t At(const TPixmap& p, std::int32_t x, std::int32_t y) {
    return static_cast<std::uint32_t>(p.ReadPixel(x, y));
}

}  // namespace

TEST(ScalePixmap, HalvingAveragesPairsAndTruncates) {
    auto src = Row(6, {0x00000000u, 0xFFFFFFFFu, 0x10203040u, 0x30405060u, 0x01020304u, 0x02030405u});
    auto half = ScalePixmap(src.get(), 3, 1);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(At(*half, 0, 0), 0x7F7F7F7Fu);  // 127.5 truncated
    EXPECT_EQ(At(*half, 1, 0), 0x20304050u);
    EXPECT_EQ(At(*half, 2, 0), 0x01020304u);  // x.5 truncated down

    // Vertically too: a 1 × 4 column halves to the means of rows 0, 1 and 2, 3.
    auto col = TPixmap::Create(1, 4, 1, 4);
    const std::uint8_t grey[] = {10, 30, 200, 101};
    for (int y = 0; y < 4; ++y) col->PixelPtr(0, y)[0] = grey[y];
    auto colHalf = ScalePixmap(col.get(), 1, 2);
    EXPECT_EQ(colHalf->format, 1);
    EXPECT_EQ(colHalf->PixelPtr(0, 0)[0], 20);
    EXPECT_EQ(colHalf->PixelPtr(0, 1)[0], 150);
}

TEST(ScalePixmap, StretchingAlignsPixelCentresAndClampsAtTheEdges) {
    // 2 → 4: the outer result pixels lie beyond the outer source centres and
    // take the edge colour; the inner ones interpolate at 1/4 and 3/4.
    auto src = Row(6, {0xFF000000u, 0xFF640000u});
    auto wide = ScalePixmap(src.get(), 4, 1);
    EXPECT_EQ(At(*wide, 0, 0), 0xFF000000u);
    EXPECT_EQ(At(*wide, 1, 0), 0xFF190000u);  // 25
    EXPECT_EQ(At(*wide, 2, 0), 0xFF4B0000u);  // 75
    EXPECT_EQ(At(*wide, 3, 0), 0xFF640000u);

    auto one = Row(6, {0x80402010u});
    auto block = ScalePixmap(one.get(), 3, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(At(*block, x, y), 0x80402010u);
}

TEST(ScalePixmap, HundredByFiftyStretchesToPowersOfTwo) {
    auto src = TPixmap::Create(100, 50, 4, 4);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            src->WritePixel(x, y, static_cast<std::int32_t>(0xFF000000u | (x * 2) << 16 | (y * 5) << 8 | 77));
    auto big = ScalePixmap(src.get(), 128, 64);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->width, 128);
    EXPECT_EQ(big->height, 64);
    EXPECT_EQ(big->format, 4);  // the source's format is kept
    EXPECT_EQ(big->pitch, 384);
    // Corners are the source corners; the constant blue channel survives.
    EXPECT_EQ(At(*big, 0, 0), At(*src, 0, 0));
    EXPECT_EQ(At(*big, 127, 63), At(*src, 99, 49));
    std::uint32_t previous = 0;
    for (int x = 0; x < 128; ++x) {
        const std::uint32_t v = At(*big, x, 30);
        EXPECT_EQ(v & 0xFF, 77u);
        EXPECT_GE(v & 0xFF0000, previous) << "red must not fall along a rising ramp, x " << x;
        previous = v & 0xFF0000;
    }
}

TEST(ScalePixmap, HalvingDownToOnePixelMakesFourLevelsFromEightByOne) {
    auto level = Row(
        6, {0xFF000000u, 0xFF080000u, 0xFF100000u, 0xFF180000u, 0xFF200000u, 0xFF280000u, 0xFF300000u, 0xFF380000u});
    std::vector<std::int32_t> widths{level->width};
    while (level->width > 1 || level->height > 1) {
        level = ScalePixmap(level.get(), level->width > 1 ? level->width / 2 : 1,
                            level->height > 1 ? level->height / 2 : 1);
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->height, 1);
        widths.push_back(level->width);
    }
    EXPECT_EQ(widths, (std::vector<std::int32_t>{8, 4, 2, 1}));
    EXPECT_EQ(At(*level, 0, 0), 0xFF1C0000u);  // mean of 0..0x38 is 0x1C
}

TEST(ScalePixmap, WorksInRgbaForOtherFormatsAndRefusesNoSize) {
    // BGRA in, BGRA out: channels are interpolated as R, G, B, A.
    auto src = Row(5, {0x00000000u, 0xC8640A02u});
    auto out = ScalePixmap(src.get(), 1, 1);
    EXPECT_EQ(out->format, 5);
    EXPECT_EQ(At(*out, 0, 0), 0x64320501u);
    const std::uint8_t bgra[] = {0x01, 0x05, 0x32, 0x64};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out->PixelPtr(0, 0)[i], bgra[i]);
    // No source or no size, no result.
    EXPECT_EQ(ScalePixmap(nullptr, 4, 4), nullptr);
    EXPECT_EQ(ScalePixmap(src.get(), 0, 4), nullptr);
    EXPECT_EQ(ScalePixmap(src.get(), 4, -2), nullptr);
}
