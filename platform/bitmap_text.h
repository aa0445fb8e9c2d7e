// Text in the embedded 8 × 16 bitmap font, drawn straight into the frame.
#pragma once

#include <cstdint>
#include <string_view>

// Draws text with the top-left corner of its first 8 × 16 character cell at
// screen pixel (x, y), y downwards, one cell per byte; bytes outside 32 to 127
// leave an empty cell. Sets neither colour nor blending: glyph pixels come out
// in the current colour, the rest of each cell in black with alpha 0. Leaves
// the GL state as it found it except the current texture coordinate. Builds
// the font texture on the first call; needs a current GL context.
void DrawBitmapText(std::string_view text, std::int32_t x, std::int32_t y);

// Bracket drawing in window pixels, origin at the top left, without face
// culling, alpha test or depth test. The pair saves and restores the enables,
// the texture binding, the matrix mode and both matrices. Not nestable.
void BeginPixelOverlay();
void EndPixelOverlay();

// The font texture's GL name, 0 before the first DrawBitmapText.
std::int32_t BitmapFontTexture();

// The same text drawn into an RGBA image in memory (rows top to bottom,
// `pitch` bytes apart), for a frame made without GL: every cell comes out as
// DrawBitmapText leaves it in the frame, glyph pixels in `ink` and the rest
// of the cell black, all opaque. Cells, or parts of them, outside the image
// are cut off.
struct TTextInk {
    std::uint8_t r = 255, g = 255, b = 255;
};
void DrawBitmapTextImage(std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch,
                         std::string_view text, std::int32_t x, std::int32_t y, TTextInk ink = {});
