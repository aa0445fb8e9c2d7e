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

std::vector<std::uint32_t> Pixels(const TPixmap& p) {
    std::vector<std::uint32_t> out;
    for (std::int32_t y = 0; y < p.height; ++y)
        for (std::int32_t x = 0; x < p.width; ++x) out.push_back(static_cast<std::uint32_t>(p.ReadPixel(x, y)));
    return out;
}

}  // namespace

// Halving averages pairs and truncates; stretching aligns pixel centres,
// interpolating at 1/4 and 3/4 inside and clamping to the edge colour beyond
// the outer centres. The format is kept; others than RGBA are interpolated as
// R, G, B, A.
TEST(ScalePixmap, HalvesAveragingAndStretchesAligningPixelCentres) {
    auto src = Row(6, {0x00000000u, 0xFFFFFFFFu, 0x10203040u, 0x30405060u, 0x01020304u, 0x02030405u});
    EXPECT_EQ(Pixels(*ScalePixmap(src.get(), 3, 1)),
              (std::vector<std::uint32_t>{0x7F7F7F7Fu, 0x20304050u, 0x01020304u}));

    auto col = TPixmap::Create(1, 4, 1, 4);
    const std::uint8_t grey[] = {10, 30, 200, 101};
    for (int y = 0; y < 4; ++y) col->PixelPtr(0, y)[0] = grey[y];
    auto colHalf = ScalePixmap(col.get(), 1, 2);
    ASSERT_EQ(colHalf->format, 1);
    EXPECT_EQ(colHalf->PixelPtr(0, 0)[0], 20);
    EXPECT_EQ(colHalf->PixelPtr(0, 1)[0], 150);

    auto two = Row(4, {0xFF000000u, 0xFF640000u});
    auto wide = ScalePixmap(two.get(), 4, 1);
    ASSERT_TRUE(wide->format == 4 && wide->pitch == 12);
    EXPECT_EQ(Pixels(*wide), (std::vector<std::uint32_t>{0xFF000000u, 0xFF190000u, 0xFF4B0000u, 0xFF640000u}));
    auto one = Row(6, {0x80402010u});
    EXPECT_EQ(Pixels(*ScalePixmap(one.get(), 3, 5)), std::vector<std::uint32_t>(15, 0x80402010u));

    auto bgra = Row(5, {0x00000000u, 0xC8640A02u});
    auto out = ScalePixmap(bgra.get(), 1, 1);
    EXPECT_EQ(out->format, 5);
    EXPECT_EQ(std::vector<std::uint8_t>(out->pixels, out->pixels + 4), (std::vector<std::uint8_t>{1, 5, 0x32, 0x64}));
    // No source or no size, no result.
    EXPECT_EQ(ScalePixmap(nullptr, 4, 4), nullptr);
    EXPECT_EQ(ScalePixmap(src.get(), 0, 4), nullptr);
    EXPECT_EQ(ScalePixmap(src.get(), 4, -2), nullptr);
}
