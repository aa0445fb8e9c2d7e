// Drawing a world through the GL, into the current context's frame: every
// particle as an additive textured sprite, the sum sharpened over the world's
// drawing area, walls as flat squares on top. The simulation library knows
// nothing of this; only programs that draw link the render library.
#pragma once

#include <cstdint>

#include "render/sprites.h"
#include "sph/sph.h"

// Draws the world with the sprites' texture and size over their drawing
// area (the projection is the caller's). Leaves blending and texturing off
// and the colour white.
void Render(const TSPH& world, const TSprites& sprites);

// One quad of half-edge `size` around each particle, in
// the particle's colour (byte / 256) with texture coordinates from 0 to 1,
// drawn with whatever texture and blending the GL has on.
void RenderParticleRects(TSPH::ParticleView particles, float size);
