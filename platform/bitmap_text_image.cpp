// Bitmap text drawn by the CPU into an image: no GL, so any host can use it.
#include <algorithm>
#include <cstddef>

#include "platform/bitmap_text.h"
#include "platform/font_data.h"

void DrawBitmapTextImage(std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch,
                         std::string_view text, std::int32_t x, std::int32_t y, TTextInk ink) {
    constexpr auto CELL_WIDTH = static_cast<std::int32_t>(FONT_GLYPH_WIDTH);
    constexpr auto CELL_HEIGHT = static_cast<std::int32_t>(FONT_GLYPH_HEIGHT);
    const std::int32_t row0 = std::max(y, 0);
    const std::int32_t row1 = std::min(y + CELL_HEIGHT, height);
    std::int32_t pen = x;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const std::int32_t column0 = std::max(pen, 0);
        const std::int32_t column1 = std::min(pen + CELL_WIDTH, width);
        if (c >= 32 && c <= 127) {
            for (std::int32_t row = row0; row < row1; ++row) {
                const std::uint8_t bits = FontData[static_cast<std::size_t>(row - y) * FONT_GLYPH_COUNT + (c - 32u)];
                std::uint8_t* p = rgba + static_cast<std::ptrdiff_t>(row) * pitch + column0 * 4;
                for (std::int32_t column = column0; column < column1; ++column, p += 4) {
                    const bool lit = (bits >> (column - pen) & 1u) != 0;
                    p[0] = lit ? ink.r : 0;
                    p[1] = lit ? ink.g : 0;
                    p[2] = lit ? ink.b : 0;
                    p[3] = 255;
                }
            }
        }
        pen += CELL_WIDTH;
        if (pen >= width) break;
    }
}
