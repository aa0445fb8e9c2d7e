#include <gtest/gtest.h>

#include <array>
#include <set>

#include "platform/font_data.h"

namespace {

std::array<std::uint8_t, 16> Glyph(char c) {
    std::array<std::uint8_t, 16> rows{};
    const std::size_t g = static_cast<std::size_t>(c) - 32;
    for (std::size_t r = 0; r < 16; ++r) rows[r] = FontData[r * 96 + g];
    return rows;
}

}  // namespace

TEST(FontData, FIsAStemWithTwoBarsToTheRight) {
    const std::array<std::uint8_t, 16> f = {0x00, 0x00, 0xFE, 0x06, 0x06, 0x06, 0x3E, 0x06,
                                            0x06, 0x06, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Glyph('F'), f);
}

TEST(FontData, EveryPrintableCharacterHasItsOwnGlyph) {
    EXPECT_EQ(FontData.size(), 1536u);
    EXPECT_EQ(Glyph(' '), (std::array<std::uint8_t, 16>{}));
    std::set<std::array<std::uint8_t, 16>> seen;
    for (char c = 33; c < 127; ++c) {
        const auto g = Glyph(c);
        EXPECT_NE(g, (std::array<std::uint8_t, 16>{})) << "blank glyph for '" << c << "'";
        EXPECT_TRUE(seen.insert(g).second) << "'" << c << "' looks like an earlier character";
    }
}

TEST(FontData, CapitalsAndDigitsShareOneBaselineAndHeight) {
    for (const char c : std::string("ABCDEFHIKLMNOPRSTUVWXYZ0123456789")) {
        const auto g = Glyph(c);
        EXPECT_NE(g[2], 0) << c << " reaches the cap height";
        EXPECT_NE(g[10], 0) << c << " stands on the baseline";
        for (int r : {0, 1, 11, 12, 13, 14, 15}) EXPECT_EQ(g[r], 0) << c << " row " << r;
    }
    for (const char c : std::string("acemnorsuvwxz")) {
        const auto g = Glyph(c);
        EXPECT_EQ(g[4], 0) << c << " stays below the x-height";
        EXPECT_NE(g[5], 0) << c;
        EXPECT_NE(g[10], 0) << c;
    }
    for (const char c : std::string("gjpqy")) EXPECT_NE(Glyph(c)[12], 0) << c << " has a descender";
}
