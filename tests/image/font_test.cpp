#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "platform/font_data.h"

namespace {

std::array<std::uint8_t, 16> Glyph(char c) {
    std::array<std::uint8_t, 16> rows{};
    for (std::size_t r = 0; r < 16; ++r) rows[r] = FontData[r * 96 + static_cast<std::size_t>(c) - 32];
    return rows;
}

}  // namespace

// Bit 0 is the leftmost column; every printable character has its own glyph;
// capitals and digits share one baseline and cap height, small letters their
// x-height, and descenders go below.
TEST(FontData, GlyphsAreDistinctAndShareTheirLines) {
    EXPECT_EQ(Glyph('F'), (std::array<std::uint8_t, 16>{0, 0, 0xFE, 6, 6, 6, 0x3E, 6, 6, 6, 6, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Glyph(' '), (std::array<std::uint8_t, 16>{}));
    std::set<std::array<std::uint8_t, 16>> seen;
    for (char c = 33; c < 127; ++c) {
        EXPECT_NE(Glyph(c), (std::array<std::uint8_t, 16>{})) << c;
        EXPECT_TRUE(seen.insert(Glyph(c)).second) << c << " looks like an earlier character";
    }
    for (const char c : std::string("ABCDEFHIKLMNOPRSTUVWXYZ0123456789")) {
        const auto g = Glyph(c);
        EXPECT_TRUE(g[2] != 0 && g[10] != 0) << c;
        for (int r : {0, 1, 11, 12, 13, 14, 15}) EXPECT_EQ(g[r], 0) << c << " row " << r;
    }
    for (const char c : std::string("acemnorsuvwxz")) EXPECT_TRUE(Glyph(c)[4] == 0 && Glyph(c)[5] && Glyph(c)[10]) << c;
    for (const char c : std::string("gjpqy")) EXPECT_NE(Glyph(c)[12], 0) << c;
}
