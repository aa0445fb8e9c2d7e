// What a picture of a world needs besides the world: the drawing area and
// the sprites. The program that draws owns them; the simulation knows
// nothing of either.
#pragma once

#include <cstdint>

struct TSprites {
    std::int32_t Width = 0;  // the drawing area, screen pixels
    std::int32_t Height = 0;
    float Size = 0;             // half a sprite's edge, screen pixels
    std::uint32_t Texture = 0;  // the sprite texture's GL name, for drawing through the GL; 0 for none
};
