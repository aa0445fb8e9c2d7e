// The embedded 8 × 16 bitmap font of the status text, character codes 32 to 127.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t FONT_GLYPH_WIDTH = 8;
constexpr std::size_t FONT_GLYPH_HEIGHT = 16;
constexpr std::size_t FONT_GLYPH_COUNT = 96;                                  // codes 32 to 127
constexpr std::size_t FONT_DATA_SIZE = FONT_GLYPH_COUNT * FONT_GLYPH_HEIGHT;  // 1536

// Scanline by scanline: byte r × 96 + g is row r (0 at the top) of the glyph
// of character code 32 + g, and bit k (value 2^k) of it is the pixel in
// column k, so the least significant bit is the leftmost pixel.
extern const std::array<std::uint8_t, FONT_DATA_SIZE>& FontData;
